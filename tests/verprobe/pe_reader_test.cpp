// The PE version-resource reader on files built by the test: 32- and 64-bit,
// without resources, truncated at every length and with damaged bytes.
#include <gtest/gtest.h>

#include <random>

#include "tests/common/pe_writer.h"
#include "verprobe/pe_reader.h"
#include "verprobe/version_info.h"

using namespace halcyon::verprobe;
using halcyon::test::BuildPe;
using halcyon::test::BuildVersionResource;
using halcyon::test::PeLayout;
using halcyon::test::PeVersion;

namespace {

std::optional<VersionInfo> Parse(const std::vector<uint8_t> &bytes)
{
    MemorySource src(bytes.data(), bytes.size());
    std::optional<VersionInfo> info;
    if (auto data = FindVersionResource(src))
        info.emplace(std::move(*data));
    if (info && !info->valid())
        info.reset();
    return info;
}

PeVersion Sample()
{
    PeVersion v;
    v.major = 10, v.minor = 2, v.build = 300, v.revision = 65535;
    v.strings = {{"CompanyName", "Norv"}, {"LegalCopyright", "\xC2\xA9 2026 Norv \xF0\x9F\x98\x80"}};
    return v;
}

} // namespace

TEST(PeReader, ReadsVersionAndStringsOf32And64BitFiles)
{
    for (bool is64 : {false, true}) {
        auto info = Parse(BuildPe(PeLayout{is64, BuildVersionResource(Sample())}));
        ASSERT_TRUE(info) << is64;
        auto v = info->FixedFileVersion();
        ASSERT_TRUE(v);
        EXPECT_EQ(v->major, 10);
        EXPECT_EQ(v->minor, 2);
        EXPECT_EQ(v->build, 300);
        EXPECT_EQ(v->revision, 65535);
        auto t = info->QueryBytes("\\VarFileInfo\\Translation");
        ASSERT_TRUE(t);
        EXPECT_EQ(*t, (std::vector<uint8_t>{0x09, 0x04, 0xB0, 0x04}));
        // Table names compare without regard to case ("040904B0" written).
        EXPECT_EQ(info->QueryText("\\StringFileInfo\\040904b0\\LegalCopyright"),
                  "\xC2\xA9 2026 Norv \xF0\x9F\x98\x80");
        EXPECT_FALSE(info->QueryText("\\StringFileInfo\\040904b0\\ProductName"));
    }
}

TEST(PeReader, FilesWithoutResourcesOrNotPeHaveNone)
{
    EXPECT_FALSE(Parse(BuildPe(PeLayout{false, {}})));
    EXPECT_FALSE(Parse({}));
    std::vector<uint8_t> text = {'1', '.', '2', '\n'};
    EXPECT_FALSE(Parse(text));
    std::vector<uint8_t> mzOnly(64, 0);
    mzOnly[0] = 'M', mzOnly[1] = 'Z';
    EXPECT_FALSE(Parse(mzOnly));
}

TEST(PeReader, EveryTruncationIsHandled)
{
    auto whole = BuildPe(PeLayout{true, BuildVersionResource(Sample())});
    for (size_t n = 0; n < whole.size(); ++n) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        auto info = Parse(cut);
        if (info) { // the data may be whole before the section's padding ends
            auto v = info->FixedFileVersion();
            ASSERT_TRUE(v) << n;
            EXPECT_EQ(v->major, 10) << n;
        }
    }
}

TEST(PeReader, DamagedBytesNeverReadOutside)
{
    // Run under the address sanitizer in CI: any read outside the buffer fails.
    auto whole = BuildPe(PeLayout{false, BuildVersionResource(Sample())});
    std::mt19937 rng(20261208);
    for (int round = 0; round < 3000; ++round) {
        auto bytes = whole;
        int flips = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < flips; ++i) {
            // Mostly headers and the resource tree, where offsets live.
            size_t at = rng() % 4 ? 0x200 + rng() % 0x80 : rng() % bytes.size();
            if (rng() % 2)
                at = rng() % 0x180;
            bytes[at % bytes.size()] = static_cast<uint8_t>(rng());
        }
        if (auto info = Parse(bytes)) {
            info->FixedFileVersion();
            info->QueryText("\\StringFileInfo\\040904b0\\LegalCopyright");
            info->QueryBytes("\\VarFileInfo\\Translation");
        }
    }
}

TEST(PeReader, ResourceTreeThatPointsAtItselfEnds)
{
    auto bytes = BuildPe(PeLayout{false, BuildVersionResource(Sample())});
    // The name level's entry points back at the root directory.
    bytes[0x200 + 0x18 + 20] = 0x00;
    bytes[0x200 + 0x18 + 23] = 0x80;
    EXPECT_FALSE(Parse(bytes));
}

TEST(VersionInfoBlocks, BadLengthsAndDeepNestingAreCut)
{
    auto res = BuildVersionResource(Sample());
    // A root that claims more bytes than there are: nothing.
    auto longer = res;
    longer[0] = 0xFF, longer[1] = 0xFF;
    EXPECT_FALSE(VersionInfo(longer).valid());

    // 20 nested blocks, each claiming all bytes after it: parsing stops at
    // the depth limit.
    std::vector<uint8_t> nested;
    const int depth = 20;
    for (int i = 0; i < depth; ++i) {
        size_t len = static_cast<size_t>(depth - i) * 12;
        nested.insert(nested.end(), {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8), 0, 0, 1, 0,
                                     'A', 0, 0, 0, 0, 0});
    }
    VersionInfo deep(nested);
    EXPECT_TRUE(deep.valid());
    EXPECT_TRUE(deep.QueryText("\\A\\A\\A"));
    std::string tooDeep;
    for (int i = 0; i < 15; ++i)
        tooDeep += "\\A";
    EXPECT_FALSE(deep.QueryText(tooDeep));
    EXPECT_FALSE(deep.FixedFileVersion());
}

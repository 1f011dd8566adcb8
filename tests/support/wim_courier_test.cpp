// The foundation-image courier against WIMs made by the tests.
#include <gtest/gtest.h>

#include <wimlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "halcyon/HalcyonDLL.h"
#include "support/courier/courier_faults.h"
#include "support/courier/foundation_parts.h"
#include "support/courier/wim_interface.h"
#include "support/wim/wim_builder.h"
#include "support/wim/wim_tchar.h"
#include "tests/common/found_parts.h"
#include "tests/common/heard_messages.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;
namespace courier = halcyon::support::courier;
namespace wim = halcyon::support::wim;

namespace {

using Heard = test::HeardMessages;

void Listen(uint32_t message, int64_t param, void *opaque)
{
    static_cast<Heard *>(opaque)->Hear(message, param);
}

class WimCourierTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir / "out");
        courierApi.InitInterface();
        courierApi.SetCallBack(&Listen, &heard);
    }
    static std::string Noise(const std::string &name)
    {
        std::string noise(40000, '\0');
        uint32_t x = 2463534242u + static_cast<uint32_t>(name.size());
        for (char &c : noise) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            c = static_cast<char>(x);
        }
        return noise;
    }
    wim::WimImageSpec Image(const std::string &name, const std::string &description)
    {
        const std::string folder = dir / ("content/" + name);
        test::WriteFile(folder + "/" + name + ".txt", "image " + name + "\n");
        test::WriteFile(folder + "/Windows/notes.bin", Noise(name));
        wim::WimImageSpec spec;
        spec.sourceFolder = folder;
        spec.name = name;
        spec.description = description;
        return spec;
    }
    // A WIM of two images, the foundation image second.
    std::string TwoImageWim()
    {
        const std::string path = dir / "install.wim";
        std::string error;
        EXPECT_EQ(wim::CreateWim(path, {Image("base", "BASE PLUS IMAGE"), Image("found", "FOUNDATION IMAGE 1")},
                                 wim::WimCompression::Xpress, &error),
                  0)
            << error;
        return path;
    }
    bool LeftoverPartial() const { return fs::exists(target + ".partial"); }

    test::TempDir dir{"courier"};
    std::string target = dir / "out/Norv.wim";
    Heard heard;
    courier::CWimInterface courierApi;
};

TEST_F(WimCourierTest, ExportsTheDescribedImageWithRisingProgress)
{
    const std::string source = TwoImageWim();
    const int32_t index = courierApi.GetImageIndex(source, "foundation image 1");
    ASSERT_EQ(index, 2);
    EXPECT_TRUE(courierApi.ExportFI(source, target, "", index));
    EXPECT_TRUE(courierApi.WaitInterface());
    EXPECT_EQ(test::WimImageNames(target), std::vector<std::string>{"found"});
    EXPECT_EQ(test::WimImageDescriptions(target), std::vector<std::string>{"FOUNDATION IMAGE 1"});
    EXPECT_EQ(test::WimCompressionType(target), WIMLIB_COMPRESSION_TYPE_XPRESS);
    ASSERT_FALSE(heard.percents.empty());
    EXPECT_EQ(heard.percents.front(), 0);
    EXPECT_EQ(heard.percents.back(), 100);
    for (size_t i = 1; i < heard.percents.size(); ++i)
        EXPECT_GT(heard.percents[i], heard.percents[i - 1]);
    EXPECT_EQ(heard.ranges, 1);
    EXPECT_EQ(heard.errors, 0);
    EXPECT_FALSE(LeftoverPartial());
}

TEST_F(WimCourierTest, ImageIndexIsZeroWhenNotFoundOrNotAWim)
{
    const std::string source = TwoImageWim();
    EXPECT_EQ(courierApi.GetImageIndex(source, "RECOVERY IMAGE"), 0);
    test::WriteFile(dir / "junk.wim", "not a wim at all");
    EXPECT_EQ(courierApi.GetImageIndex(dir / "junk.wim", "FOUNDATION IMAGE 1"), 0);
    EXPECT_EQ(courierApi.GetImageIndex(dir / "missing.wim", "FOUNDATION IMAGE 1"), 0);
}

TEST_F(WimCourierTest, ExportArgumentChoosesCompressionAndUnknownWordsPass)
{
    const std::string source = TwoImageWim();
    ASSERT_TRUE(courierApi.ExportFI(source, target, "/compress:none, check", 2));
    EXPECT_EQ(test::WimCompressionType(target), WIMLIB_COMPRESSION_TYPE_NONE);
    ASSERT_TRUE(courierApi.ExportFI(source, target, "LZX bogus", 2));
    EXPECT_EQ(test::WimCompressionType(target), WIMLIB_COMPRESSION_TYPE_LZX);
    EXPECT_TRUE(courierApi.WaitInterface());
}

TEST_F(WimCourierTest, ExportsFromASplitSet)
{
    const std::string source = TwoImageWim();
    std::vector<std::string> parts;
    std::string error;
    fs::create_directories(dir / "swm");
    ASSERT_EQ(wim::SplitWim(source, dir / "swm/Install.swm", 16 * 1024, &parts, &error), 0) << error;
    ASSERT_GT(parts.size(), 1u);
    ASSERT_TRUE(courierApi.ExportFI(dir / "swm/Install.swm", target, "", 2)) << courierApi.LastErrorText();
    EXPECT_EQ(test::WimImageNames(target), std::vector<std::string>{"found"});
}

TEST_F(WimCourierTest, FailedExportsKeepAnEarlierTargetAndLeaveNoPiece)
{
    const std::string source = TwoImageWim();
    test::WriteFile(target, "earlier image");

    EXPECT_FALSE(courierApi.ExportFI(source, target, "", 0)); // no such image
    EXPECT_FALSE(courierApi.WaitInterface());
    EXPECT_TRUE(courierApi.WaitInterface()); // read once
    for (courier::CourierStep step :
         {courier::CourierStep::OpenSource, courier::CourierStep::ExportImage, courier::CourierStep::WriteTarget}) {
        courier::ScopedCourierFault fault(step);
        EXPECT_FALSE(courierApi.ExportFI(source, target, "", 2));
        EXPECT_FALSE(courierApi.WaitInterface());
        EXPECT_FALSE(LeftoverPartial());
    }
    EXPECT_EQ(test::ReadFile(target), "earlier image");
    EXPECT_EQ(heard.errors, 4);
    EXPECT_NE(heard.lastError, 0);
    EXPECT_FALSE(courierApi.LastErrorText().empty());
}

TEST_F(WimCourierTest, JoinsTwelvePiecesInNumericOrder)
{
    const std::string source = TwoImageWim();
    test::CutIntoParts(source, dir / "parts", 12);
    // Files that are not parts are left alone.
    test::WriteFile(dir / "parts/readme.txt", "x");
    test::WriteFile(dir / "parts/Other1.nr2", "x");
    ASSERT_TRUE(courierApi.CombineFileWithStream(dir / "parts/", target)) << courierApi.LastErrorText();
    EXPECT_TRUE(courierApi.WaitInterface());
    EXPECT_EQ(test::ReadFile(target), test::ReadFile(source));
    EXPECT_EQ(heard.percents.back(), 100);
    EXPECT_FALSE(LeftoverPartial());
}

TEST_F(WimCourierTest, JoinThatDoesNotOpenAsAWimFails)
{
    const std::string source = TwoImageWim();
    auto parts = test::CutIntoParts(source, dir / "parts", 3);

    // Pieces in the wrong order.
    const std::string first = test::ReadFile(parts[0]);
    test::WriteFile(parts[0], test::ReadFile(parts[1]));
    test::WriteFile(parts[1], first);
    EXPECT_FALSE(courierApi.CombineFileWithStream(dir / "parts", target));
    EXPECT_FALSE(courierApi.WaitInterface());
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(LeftoverPartial());

    // The last piece missing: a gap check is not needed, the file is short.
    parts = test::CutIntoParts(source, dir / "short", 3);
    fs::remove(parts[2]);
    EXPECT_FALSE(courierApi.CombineFileWithStream(dir / "short", target));
    EXPECT_FALSE(fs::exists(target));

    // A gap in the numbers is refused before joining.
    parts = test::CutIntoParts(source, dir / "gap", 3);
    fs::remove(parts[1]);
    EXPECT_FALSE(courierApi.CombineFileWithStream(dir / "gap", target));
    EXPECT_NE(courierApi.LastErrorText().find("Norv2.nr2 is missing"), std::string::npos);

    // A real split WIM part alone is not a complete WIM.
    fs::create_directories(dir / "swm");
    ASSERT_EQ(wim::SplitWim(source, dir / "swm/Install.swm", 16 * 1024, nullptr, nullptr), 0);
    fs::create_directories(dir / "one");
    fs::copy_file(dir / "swm/Install.swm", dir / "one/Norv1.nr2");
    EXPECT_FALSE(courierApi.CombineFileWithStream(dir / "one", target));
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(WimCourierTest, JoinChecksTheIntegrityTableAndNamesTheBadChunk)
{
    // The same WIM rewritten with an integrity table.
    const std::string source = TwoImageWim();
    WIMStruct *w = nullptr;
    ASSERT_EQ(wimlib_open_wim(support::wim::ToWimText(source).c_str(), 0, &w), 0);
    ASSERT_EQ(wimlib_overwrite(w, WIMLIB_WRITE_FLAG_CHECK_INTEGRITY | WIMLIB_WRITE_FLAG_REBUILD, 0), 0);
    wimlib_free(w);

    test::CutIntoParts(source, dir / "good", 3);
    ASSERT_TRUE(courierApi.CombineFileWithStream(dir / "good", target)) << courierApi.LastErrorText();
    EXPECT_EQ(test::ReadFile(target), test::ReadFile(source));

    // One byte changed in a file's data (stored as is: noise does not
    // compress): still opens, but the table tells.
    std::string bytes = test::ReadFile(source);
    const size_t data = bytes.find(Noise("found").substr(0, 64));
    ASSERT_NE(data, std::string::npos);
    bytes[data + 1000] ^= 0x5A;
    test::WriteFile(dir / "bad.wim", bytes);
    test::CutIntoParts(dir / "bad.wim", dir / "bad", 3);
    fs::remove(target);
    EXPECT_FALSE(courierApi.CombineFileWithStream(dir / "bad", target));
#if defined(_WIN32)
    // wimlib's own check on opening (the chunk-naming check needs OpenSSL).
    const char *told = "(failed integrity check)";
#else
    const char *told = "integrity check failed: chunk 1 of 1";
#endif
    EXPECT_NE(courierApi.LastErrorText().find(told), std::string::npos) << courierApi.LastErrorText();
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(LeftoverPartial());
}

TEST_F(WimCourierTest, InjectedJoinFaultsFailWithoutTarget)
{
    const std::string source = TwoImageWim();
    test::CutIntoParts(source, dir / "parts", 4);
    for (courier::CourierStep step : {courier::CourierStep::JoinCopy, courier::CourierStep::JoinOpen}) {
        courier::ScopedCourierFault fault(step);
        EXPECT_FALSE(courierApi.CombineFileWithStream(dir / "parts", target));
        EXPECT_FALSE(courierApi.WaitInterface());
        EXPECT_FALSE(fs::exists(target));
        EXPECT_FALSE(LeftoverPartial());
    }
    {
        courier::ScopedCourierFault third(courier::CourierStep::JoinCopy, 3);
        EXPECT_FALSE(courierApi.CombineFileWithStream(dir / "parts", target));
    }
    EXPECT_TRUE(courierApi.CombineFileWithStream(dir / "parts", target));
}

TEST(FoundationParts, NumbersAndOrder)
{
    EXPECT_EQ(courier::PartNumber("Norv1.nr2"), 1u);
    EXPECT_EQ(courier::PartNumber("NORV12.NR2"), 12u);
    EXPECT_EQ(courier::PartNumber("Norv.nr2"), 0u);
    EXPECT_EQ(courier::PartNumber("Norv1a.nr2"), 0u);
    EXPECT_EQ(courier::PartNumber("Norv1.nr2.bak"), 0u);
    EXPECT_EQ(courier::PartNumber("xNorv1.nr2"), 0u);

    test::TempDir dir{"parts"};
    for (const char *name : {"Norv10.nr2", "norv2.NR2", "Norv1.nr2", "Norv9.nr2", "Norv3.nr2", "Norv4.nr2",
                             "Norv5.nr2", "Norv6.nr2", "Norv7.nr2", "Norv8.nr2"})
        test::WriteFile(dir / name, name);
    std::vector<std::string> parts;
    std::string error;
    ASSERT_TRUE(courier::ListFoundationParts(dir.path(), parts, error)) << error;
    ASSERT_EQ(parts.size(), 10u);
    EXPECT_EQ(fs::path(parts[1]).filename(), "norv2.NR2");
    EXPECT_EQ(fs::path(parts[8]).filename(), "Norv9.nr2");
    EXPECT_EQ(fs::path(parts[9]).filename(), "Norv10.nr2");

    // A part that is a link would join whatever it points to.
    test::TempDir linked{"parts-link"};
    for (const char *name : {"Norv1.nr2", "Norv3.nr2"})
        test::WriteFile(linked / name, name);
#if !defined(_WIN32) // Wine's C: holds no symbolic links
    fs::create_symlink(dir / "Norv2.nr2", linked / "Norv2.nr2");
    EXPECT_FALSE(courier::ListFoundationParts(linked.path(), parts, error));
    EXPECT_NE(error.find("is a symbolic link"), std::string::npos) << error;
#endif

    test::WriteFile(dir / "Norv01.nr2", "dup");
    EXPECT_FALSE(courier::ListFoundationParts(dir.path(), parts, error));
    EXPECT_FALSE(courier::ListFoundationParts(dir / "missing", parts, error));
}

} // namespace

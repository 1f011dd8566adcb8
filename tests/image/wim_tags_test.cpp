// Header scrambling, metadata elements read from the end of a WIM, and the
// BLID and release comparisons, on WIM files captured by the tests.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "engine/image/wim_scramble.h"
#include "engine/image/wim_tags.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/machine.h"
#include "support/wdmi/wdmi.h"
#include "support/wim/wim_builder.h"
#include "support/wim/wim_text.h"
#include "tests/common/test_env.h"

using namespace halcyon;
namespace wim = halcyon::support::wim;

namespace {

class WimTagsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::WriteFile(dir_ / "src/readme.txt", "module contents\n");
        std::filesystem::create_directories(dir_ / "src/empty");
    }

    // A WIM whose first image carries the given BLID and release ID.
    std::string MakeWim(const std::string &name, wim::WimImageSpec spec)
    {
        spec.sourceFolder = dir_ / "src";
        const std::string path = dir_ / name;
        std::string error;
        EXPECT_EQ(wim::CreateWim(path, spec, wim::WimCompression::Xpress, &error), 0) << error;
        return path;
    }

    std::string Tag(const std::string &path, const char *tag, int32_t *code)
    {
        char value[64] = "untouched";
        *code = GetWimTagValue(path.c_str(), tag, value, sizeof value);
        return value;
    }

    // A file of `pad` filler bytes followed by FF FE and `xml` in UTF-16LE,
    // then `trailer`.
    std::string RawXmlFile(const std::string &name, size_t pad, const std::string &xml, const std::string &trailer = "")
    {
        std::string bytes(pad, 'x');
        bytes += "\xFF\xFE";
        bytes += wim::Utf8ToUtf16Le(xml);
        bytes += trailer;
        test::WriteFile(dir_ / name, bytes);
        return dir_ / name;
    }

    test::MachineScope machine_;
    test::TempDir dir_{"wimtags"};
};

std::string Bytes(const std::string &path)
{
    return test::ReadFile(path);
}

TEST_F(WimTagsTest, ScramblingTwiceRestoresTheFileByteForByte)
{
    const std::string path = MakeWim("a.wim", {});
    const std::string original = Bytes(path);
    EXPECT_FALSE(image::IsWimScrambled(path));

    ASSERT_TRUE(image::EncryptDecryptWim(path));
    const std::string scrambled = Bytes(path);
    EXPECT_TRUE(image::IsWimScrambled(path));
    ASSERT_EQ(scrambled.size(), original.size());
    EXPECT_NE(scrambled.substr(0, 16), original.substr(0, 16));
    EXPECT_EQ(scrambled.substr(16), original.substr(16)) << "only the first 16 bytes change";
    EXPECT_EQ(static_cast<unsigned char>(scrambled[0]), static_cast<unsigned char>('M' ^ 'K'));

    ASSERT_TRUE(image::EncryptDecryptWim(path));
    EXPECT_EQ(Bytes(path), original);
    EXPECT_FALSE(image::IsWimScrambled(path));
}

TEST_F(WimTagsTest, ScrambleDetectionEdgeCases)
{
    EXPECT_FALSE(image::IsWimScrambled(dir_ / "missing.wim")) << "unopenable counts as plain";
    EXPECT_FALSE(image::EncryptDecryptWim(dir_ / "missing.wim"));
    EXPECT_FALSE(image::EncryptDecryptWim(dir_.path())) << "a folder is not a file";
    EXPECT_FALSE(image::IsWimScrambled(dir_.path())) << "a folder cannot be opened as a file";

    // A zero byte before the signature hides it.
    test::WriteFile(dir_ / "zero.wim", std::string("\0MSWIM\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_TRUE(image::IsWimScrambled(dir_ / "zero.wim"));
    test::WriteFile(dir_ / "later.wim", std::string("abcMSWIM\0\0\0\0\0\0\0\0", 16));
    EXPECT_FALSE(image::IsWimScrambled(dir_ / "later.wim"));

    // A file shorter than the key keeps its length and round-trips.
    test::WriteFile(dir_ / "short.bin", "MSW");
    ASSERT_TRUE(image::EncryptDecryptWim(dir_ / "short.bin"));
    EXPECT_EQ(Bytes(dir_ / "short.bin").size(), 3u);
    ASSERT_TRUE(image::EncryptDecryptWim(dir_ / "short.bin"));
    EXPECT_EQ(Bytes(dir_ / "short.bin"), "MSW");

    test::WriteFile(dir_ / "empty.bin", "");
    EXPECT_TRUE(image::IsWimScrambled(dir_ / "empty.bin"));
    EXPECT_TRUE(image::EncryptDecryptWim(dir_ / "empty.bin"));
    EXPECT_EQ(Bytes(dir_ / "empty.bin"), "");
}

TEST_F(WimTagsTest, ReadsTheFirstImagesElementsAlsoFromAScrambledFile)
{
    wim::WimImageSpec spec;
    spec.blid = "abc1234567,XYZ0000001";
    spec.releaseId = "  300100  ";
    const std::string path = MakeWim("tags.wim", spec);
    int32_t code = -1;
    EXPECT_EQ(Tag(path, "blid", &code), "abc1234567,XYZ0000001");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Tag(path, "RELEASEID", &code), "300100") << "trimmed";
    const std::string total = Tag(path, "TOTALBYTES", &code);
    EXPECT_EQ(code, 0);
    EXPECT_GT(std::stoll(total), 0);

    ASSERT_TRUE(image::EncryptDecryptWim(path));
    EXPECT_EQ(Tag(path, "BLID", &code), "abc1234567,XYZ0000001");
    EXPECT_EQ(code, 0);

    EXPECT_EQ(Tag(path, "NOSUCHTAG", &code), "untouched");
    EXPECT_EQ(code, 48);
}

TEST_F(WimTagsTest, BadFilesGiveTheirCodes)
{
    int32_t code = 0;
    EXPECT_EQ(Tag(dir_ / "missing.wim", "BLID", &code), "untouched");
    EXPECT_EQ(code, 51);
    EXPECT_EQ(GetWimTagValue(dir_.path().c_str(), "BLID", nullptr, 0), 51) << "a folder";
    EXPECT_EQ(GetWimTagValue(nullptr, nullptr, nullptr, 0), 51);

    test::WriteFile(dir_ / "empty.wim", "");
    EXPECT_EQ(GetWimTagValue((dir_ / "empty.wim").c_str(), "BLID", nullptr, 0), 52);
    test::WriteFile(dir_ / "text.wim", std::string(40000, 'a'));
    EXPECT_EQ(GetWimTagValue((dir_ / "text.wim").c_str(), "BLID", nullptr, 0), 52);

    // A WIM cut short loses its metadata.
    const std::string path = MakeWim("cut.wim", {});
    const std::string whole = Bytes(path);
    test::WriteFile(path, whole.substr(0, 200));
    EXPECT_EQ(GetWimTagValue(path.c_str(), "TOTALBYTES", nullptr, 0), 52);

    // XML cut in the middle of the element.
    const std::string cut = RawXmlFile("cutxml.wim", 100, "<WIM><IMAGE INDEX=\"1\"><BLID>ABC12");
    EXPECT_EQ(GetWimTagValue(cut.c_str(), "BLID", nullptr, 0), 48);
    const std::string noImage = RawXmlFile("noimage.wim", 100, "<WIM><TOTALBYTES>5</TOTALBYTES></WIM>");
    EXPECT_EQ(GetWimTagValue(noImage.c_str(), "TOTALBYTES", nullptr, 0), 75);
    // The byte-order mark may also read FF FF; the start alone (12 bytes).
    const std::string onlyStart = RawXmlFile("start.wim", 0, "<WIM>");
    EXPECT_EQ(GetWimTagValue(onlyStart.c_str(), "BLID", nullptr, 0), 75);
}

TEST_F(WimTagsTest, MetadataStartIsLookedForWithinTheLast32768Bytes)
{
    // FF FE plus the text make exactly 32768 bytes.
    std::string xml = "<WIM><IMAGE INDEX=\"1\"><BLID>NEAR</BLID></IMAGE></WIM>";
    xml += std::string((32768 - 2) / 2 - xml.size(), ' ');
    const std::string exact = RawXmlFile("exact.wim", 500, xml);
    ASSERT_EQ(Bytes(exact).size(), 500u + 32768u);
    int32_t code = 0;
    EXPECT_EQ(Tag(exact, "BLID", &code), "NEAR");
    EXPECT_EQ(code, 0);

    // One byte more after it puts the start 32769 bytes from the end.
    const std::string further = RawXmlFile("further.wim", 500, xml, "\n");
    EXPECT_EQ(Tag(further, "BLID", &code), "untouched");
    EXPECT_EQ(code, 52);

    // The start nearest the end wins.
    const std::string two = RawXmlFile("two.wim", 10, "<WIM><IMAGE><BLID>FIRST</BLID></IMAGE></WIM>",
                                       "\xFF\xFE" + wim::Utf8ToUtf16Le("<WIM><IMAGE><BLID>LAST</BLID></IMAGE></WIM>"));
    EXPECT_EQ(Tag(two, "BLID", &code), "LAST");
}

TEST_F(WimTagsTest, OnlyTheFirstImagesElementCounts)
{
    const std::string path = RawXmlFile(
        "levels.wim", 64,
        "<WIM><TOTALBYTES>999</TOTALBYTES><RELEASEID>FILE</RELEASEID>"
        "<IMAGE INDEX=\"1\"><TOTALBYTES> 1234 </TOTALBYTES></IMAGE>"
        "<IMAGE INDEX=\"2\"><TOTALBYTES>5678</TOTALBYTES><RELEASEID>SECOND</RELEASEID></IMAGE></WIM>");
    int32_t code = 0;
    EXPECT_EQ(Tag(path, "TOTALBYTES", &code), "1234");
    // A later image's element is found after the first "<IMAGE" as well.
    EXPECT_EQ(Tag(path, "RELEASEID", &code), "SECOND");

    const std::string before = RawXmlFile("before.wim", 64,
                                          "<WIM><BLID>FILELEVEL</BLID><IMAGE INDEX=\"1\"><NAME>x</NAME></IMAGE></WIM>");
    EXPECT_EQ(Tag(before, "BLID", &code), "untouched");
    EXPECT_EQ(code, 48);

    // A closing element before the opening one is not a value.
    const std::string swapped = RawXmlFile("swapped.wim", 64, "<WIM><IMAGE></BLID><BLID>X</IMAGE></WIM>");
    EXPECT_EQ(GetWimTagValue(swapped.c_str(), "BLID", nullptr, 0), 48);
}

TEST_F(WimTagsTest, ValueBufferMustHoldTheWholeValue)
{
    // "ab" + two two-byte characters: 6 bytes and the terminator.
    const std::string path = RawXmlFile("utf.wim", 16, "<WIM><IMAGE><NAME>ab\xC3\xA9\xC3\xA9</NAME></IMAGE></WIM>");
    for (uint32_t size : {1u, 2u, 5u, 6u, 7u}) {
        SCOPED_TRACE(size);
        char value[8];
        std::memset(value, 'z', sizeof value);
        const bool fits = size >= 7;
        EXPECT_EQ(GetWimTagValue(path.c_str(), "NAME", value, size), fits ? 0 : RETURN_BUFFER_TOO_SMALL);
        EXPECT_STREQ(value, fits ? "ab\xC3\xA9\xC3\xA9" : "") << "never a cut value";
    }
    EXPECT_EQ(GetWimTagValue(path.c_str(), "NAME", nullptr, 0), RETURN_BUFFER_TOO_SMALL);
}

class CompareBlidTest : public WimTagsTest {
protected:
    std::string WimWithBlid(const std::string &list)
    {
        wim::WimImageSpec spec;
        spec.blid = list;
        return MakeWim("blid.wim", spec);
    }
    static void MachineBlid(const std::string &blid)
    {
        ASSERT_TRUE(platform::SetMachineSetting("Identity", "RMIDOnOEMString1", "False"));
        ASSERT_TRUE(platform::SetMachineSetting("Identity", "BLID", blid));
    }
};

TEST_F(CompareBlidTest, TenCharacterEntriesCoverElevenCharacterMachines)
{
    const std::string path = WimWithBlid("QQQ0000000,abc1234567");
    const std::string plan = dir_ / "halcyon.ini";

    MachineBlid("ABC1234567Z");
    EXPECT_EQ(CompareBlid(path.c_str(), plan.c_str()), 0);
    MachineBlid(" abc1234567 ");
    EXPECT_EQ(CompareBlid(path.c_str(), plan.c_str()), 0) << "ten characters: equal";
    MachineBlid("ABC1234567ZZ");
    EXPECT_EQ(CompareBlid(path.c_str(), plan.c_str()), 44) << "never a prefix of twelve";
    MachineBlid("ABC123456");
    EXPECT_EQ(CompareBlid(path.c_str(), plan.c_str()), 44);

    const std::string eleven = WimWithBlid("ABC1234567Z");
    MachineBlid("ABC1234567Z");
    EXPECT_EQ(CompareBlid(eleven.c_str(), plan.c_str()), 0);
    MachineBlid("ABC1234567");
    EXPECT_EQ(CompareBlid(eleven.c_str(), plan.c_str()), 44) << "an 11-character entry is no prefix";
}

TEST_F(CompareBlidTest, PiecesAreNotTrimmed)
{
    const std::string plan = dir_ / "halcyon.ini";
    MachineBlid("DEF7654321X");
    const std::string blank = WimWithBlid("ABC1234567, DEF7654321X");
    EXPECT_EQ(CompareBlid(blank.c_str(), plan.c_str()), 44);
    const std::string tight = WimWithBlid("ABC1234567,,DEF7654321X,");
    EXPECT_EQ(CompareBlid(tight.c_str(), plan.c_str()), 0);
}

TEST_F(CompareBlidTest, MissingAndEmptyValues)
{
    const std::string plan = dir_ / "halcyon.ini";
    MachineBlid("ABC1234567Z");
    const std::string none = MakeWim("none.wim", {});
    EXPECT_EQ(CompareBlid(none.c_str(), plan.c_str()), 48);

    wim::WimImageSpec empty;
    empty.emptyBlid = true;
    const std::string emptyWim = MakeWim("empty.wim", empty);
    EXPECT_EQ(CompareBlid(emptyWim.c_str(), plan.c_str()), 119);

    const std::string path = WimWithBlid("ABC1234567");
    MachineBlid("   ");
    EXPECT_EQ(CompareBlid(path.c_str(), plan.c_str()), 46);

    EXPECT_EQ(CompareBlid((dir_ / "missing.wim").c_str(), plan.c_str()), 51);
}

TEST_F(CompareBlidTest, MachineBlidThatCannotBeReadGives47)
{
    std::string oem;
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "RMIDOnOEMString1", "False"));
    // Without a BLID key the firmware is asked; skip where it answers.
    if (support::GetBLID_s(oem) == 0)
        GTEST_SKIP() << "this machine's firmware carries a BLID";
    const std::string path = WimWithBlid("ABC1234567");
    EXPECT_EQ(CompareBlid(path.c_str(), (dir_ / "halcyon.ini").c_str()), 47);
}

TEST_F(CompareBlidTest, RmidMachinesTakeTheBlidFromThePlan)
{
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "RMIDOnOEMString1", "True"));
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "BLID", "NOTUSED0000"));
    const std::string path = WimWithBlid("PLN1234567");
    const std::string plan = dir_ / "halcyon.ini";
    EXPECT_EQ(CompareBlid(path.c_str(), plan.c_str()), 70);

    test::WriteFile(plan, "[Image]\r\nBLID=pln1234567A\r\n");
    EXPECT_EQ(CompareBlid(path.c_str(), plan.c_str()), 0);
    test::WriteFile(plan, "[Image]\r\nReleaseID=1\r\n");
    EXPECT_EQ(CompareBlid(path.c_str(), plan.c_str()), 46);
}

TEST_F(WimTagsTest, CompareReleaseidCodes)
{
    wim::WimImageSpec spec;
    spec.releaseId = "Rel300100";
    const std::string path = MakeWim("rel.wim", spec);
    EXPECT_EQ(CompareReleaseid(path.c_str(), "REL300100"), 0);
    EXPECT_EQ(CompareReleaseid(path.c_str(), " rel300100 "), 0);
    EXPECT_EQ(CompareReleaseid(path.c_str(), "300101"), 57);
    EXPECT_EQ(CompareReleaseid(path.c_str(), "  "), 56);
    EXPECT_EQ(CompareReleaseid(path.c_str(), nullptr), 56);

    wim::WimImageSpec empty;
    empty.emptyReleaseId = true;
    const std::string open = MakeWim("open.wim", empty);
    EXPECT_EQ(CompareReleaseid(open.c_str(), "anything"), 0);
    EXPECT_EQ(CompareReleaseid(open.c_str(), ""), 0);

    const std::string none = MakeWim("none.wim", {});
    EXPECT_EQ(CompareReleaseid(none.c_str(), "1"), 48);
    EXPECT_EQ(CompareReleaseid((dir_ / "missing.wim").c_str(), "1"), 51);
}

} // namespace

#include <gtest/gtest.h>

#include "support/ini/ini_store.h"
#include "tests/common/test_env.h"

using halcyon::support::CMemoryIniIO;
using halcyon::test::ReadFile;
using halcyon::test::TempDir;
using halcyon::test::WriteFile;

namespace {

TEST(IniStore, ReadsSectionsKeysCommentsAndLineEnds)
{
    CMemoryIniIO ini;
    ini.LoadText("; comment\r\n[Image]\r\n ReleaseName = Win Pro \r\n# other\r\nnoequals\r\n[image]\r\nOS=x=y\n"
                 "ReleaseName=second\n");
    EXPECT_STREQ("Win Pro", ini.GetValue("IMAGE", "releasename"));
    EXPECT_STREQ("x=y", ini.GetValue("Image", "OS"));
    EXPECT_STREQ("", ini.GetValue("Image", "missing"));
    EXPECT_EQ(1u, ini.SectionNames().size());
}

TEST(IniStore, UnloadedStoreAnswersTheDefault)
{
    CMemoryIniIO ini;
    EXPECT_EQ("INI READ ERROR!", ini.GetString("1", "ReleaseName", "INI READ ERROR!"));
    EXPECT_FALSE(ini.SectionExists("1"));
}

TEST(IniStore, GetStringCutsToTheBuffer)
{
    CMemoryIniIO ini;
    std::string long_value(300, 'a');
    ASSERT_TRUE(ini.WriteString("S", "K", long_value));
    EXPECT_EQ(259u, ini.GetString("S", "K", "", 260).size());
    // A cut never splits a character.
    ASSERT_TRUE(ini.WriteString("S", "U", "\xC3\xA9\xC3\xA9\xC3\xA9"));
    EXPECT_EQ("\xC3\xA9\xC3\xA9", ini.GetString("S", "U", "", 3));
}

TEST(IniStore, LoadsUtf16WithBom)
{
    TempDir dir;
    std::string utf16("\xFF\xFE", 2);
    for (char c : std::string("[A]\r\nk=v\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    WriteFile(dir / "u.ini", utf16);
    CMemoryIniIO ini;
    ASSERT_TRUE(ini.LoadFile(dir / "u.ini"));
    EXPECT_STREQ("v", ini.GetValue("A", "k"));
}

TEST(IniStore, OnlyRegularFilesLoad)
{
    CMemoryIniIO ini;
    EXPECT_FALSE(ini.LoadFile("/nonexistent/halcyon.ini"));
    TempDir dir;
    EXPECT_FALSE(ini.LoadFile(dir.path())) << "a folder is not an empty plan";
}

TEST(IniStore, LineBreaksCannotInjectSectionsOrKeys)
{
    CMemoryIniIO ini;
    EXPECT_FALSE(ini.WriteString("1", "CmdLineArgs", "/q\r\n[End]\r\nEnd=True"));
    EXPECT_FALSE(ini.WriteString("1", "Key\nEnd", "True"));
    EXPECT_FALSE(ini.WriteString("1]\n[2", "k", "v"));
    EXPECT_FALSE(ini.WriteString("1", "a=b", "v"));
    EXPECT_FALSE(ini.WriteString("1", ";c", "v"));
    EXPECT_FALSE(ini.SectionExists("1"));
    ASSERT_TRUE(ini.WriteString("1", "CmdLineArgs", "/q /norestart"));

    TempDir dir;
    ASSERT_TRUE(ini.SaveToFile(dir / "p.ini"));
    CMemoryIniIO back;
    ASSERT_TRUE(back.LoadFile(dir / "p.ini"));
    EXPECT_EQ(std::vector<std::string>{"1"}, back.SectionNames());
    EXPECT_STREQ("/q /norestart", back.GetValue("1", "CmdLineArgs"));
}

TEST(IniStore, OrderedSaveFollowsPatternsAndFamiliesUpToEnd)
{
    CMemoryIniIO ini;
    // Written out of order, as the builders do.
    ini.WriteString("PartitionInformation", "HDDRecovery", "True");
    ini.WriteString("2", "ReleaseName", "two");
    ini.WriteString("1", "ReleaseName", "one");
    ini.WriteString("3", "End", "True");
    ini.WriteString("PE1", "End", "True");
    ini.WriteString("IDF", "Series", "NX500");
    ini.WriteString("Stray", "k", "v");
    TempDir dir;
    ASSERT_TRUE(ini.SaveToFileOrdered(dir / "halcyon.ini", {"IDF", "Image", "%d", "PE%d", "PartitionInformation"}));
    EXPECT_EQ("[IDF]\r\nSeries=NX500\r\n\r\n"
              "[1]\r\nReleaseName=one\r\n\r\n"
              "[2]\r\nReleaseName=two\r\n\r\n"
              "[3]\r\nEnd=True\r\n\r\n"
              "[PE1]\r\nEnd=True\r\n\r\n"
              "[PartitionInformation]\r\nHDDRecovery=True\r\n\r\n"
              "[Stray]\r\nk=v\r\n\r\n",
              ReadFile(dir / "halcyon.ini"));
}

TEST(IniStore, SaveIntoMissingFolderFailsAndLeavesNothing)
{
    CMemoryIniIO ini;
    ini.WriteString("A", "k", "v");
    TempDir dir;
    EXPECT_FALSE(ini.SaveToFile(dir / "missing/x.ini"));
}

TEST(IniStore, DeleteKeyAndSectionKeepOthersReachable)
{
    CMemoryIniIO ini;
    ini.WriteString("A", "one", "1");
    ini.WriteString("A", "two", "2");
    ini.WriteString("B", "x", "y");
    EXPECT_TRUE(ini.DeleteKey("a", "ONE"));
    EXPECT_STREQ("2", ini.GetValue("A", "two"));
    EXPECT_TRUE(ini.DeleteSection("A"));
    EXPECT_STREQ("y", ini.GetValue("b", "X"));
    EXPECT_FALSE(ini.SectionExists("A"));
}

} // namespace

namespace {

// Values of every size the store lays out differently (held in the record,
// in a shared block, in a block of their own) read back as written, also
// after a replacement by a shorter or longer one, and in a copy.
TEST(IniStore, ValuesOfEverySizeReadBackAfterReplacement)
{
    const std::string sizes[] = {"", "seven77", "eight888", std::string(300, 'm'), std::string(70000, 'L'),
                                 std::string("nul\0in", 6)};
    for (const auto &first : sizes) {
        for (const auto &second : sizes) {
            CMemoryIniIO ini;
            ASSERT_TRUE(ini.WriteString("S", "k", first));
            ASSERT_TRUE(ini.WriteString("S", "other", "x"));
            ASSERT_TRUE(ini.WriteString("s", "K", second));
            CMemoryIniIO copy(ini);
            for (const CMemoryIniIO *store : {&ini, &copy}) {
                EXPECT_EQ(second, store->GetString("S", "k", "", second.size() + 1));
                EXPECT_EQ(std::string(second.c_str()), store->GetValue("S", "k"));
                EXPECT_EQ("[S]\r\nk=" + second + "\r\nother=x\r\n\r\n", store->ToText());
            }
        }
    }
}

} // namespace

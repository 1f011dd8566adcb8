#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "engine/frame/log.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using halcyon::test::ReadFile;
using halcyon::test::TempDir;
using halcyon::test::WriteFile;

namespace {

// "YYYY.MM.DD hh:mm:ss " at the start of every record.
const std::regex kStamp(R"(\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2} )");

TEST(WriteLog, AppendsStampedLinesWithCrLf)
{
    TempDir dir;
    std::string log = dir / "setup.log";
    ASSERT_EQ(0, WriteLog("ModSetupX Begin", log, 0));
    ASSERT_EQ(0, WriteLog("second", log, 0));
    std::string text = ReadFile(log);
    ASSERT_EQ(text.size(), 2 * 20 + std::string("ModSetupX Begin\r\n").size() + std::string("second\r\n").size());
    EXPECT_TRUE(std::regex_search(text.substr(0, 20), kStamp));
    EXPECT_EQ(text.substr(20, 17), "ModSetupX Begin\r\n");
    EXPECT_EQ(text.substr(37 + 20), "second\r\n");
}

TEST(WriteLog, EmbeddedLineFeedsBecomeCrLfAndWideCharactersAreNarrowed)
{
    TempDir dir;
    std::string log = dir / "a.log";
    ASSERT_EQ(0, WriteLog("caf\xC3\xA9 \xE2\x82\xAC\nx", log, 0)); // "café €" LF "x"
    std::string text = ReadFile(log);
    EXPECT_EQ(text.substr(20), std::string("caf\xE9 ?\r\nx\r\n"));
}

TEST(WriteLog, MissingFolderIs27AndNothingIsEchoed)
{
    TempDir dir;
    testing::internal::CaptureStdout();
    EXPECT_EQ(27, WriteLog("hello", dir / "no/such/folder/x.log", 1));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

TEST(WriteLog, EmptyPathWritesNoFileButStillEchoes)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, WriteLog("operator line", "", 1));
    EXPECT_EQ("operator line\n", testing::internal::GetCapturedStdout());
}

TEST(WriteCodeLog, RecordsFollowEachOtherWithOneTrailingNul)
{
    TempDir dir;
    std::string log = dir / "restore.log";
    WriteCodeLog("SetSystemRestore failed.", log, 0);
    WriteCodeLog("again", log, 5);
    std::string text = ReadFile(log);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ('\0', text.back());
    EXPECT_EQ(1u, std::count(text.begin(), text.end(), '\0'));
    std::string first = text.substr(20, 26);
    EXPECT_EQ("SetSystemRestore failed.\r\n", first);
    EXPECT_NE(std::string::npos, text.find("again\r\n[CodeError : 5]\r\n"));
}

TEST(WriteCodeLog, ReplacesAnExistingTrailingNul)
{
    TempDir dir;
    std::string log = dir / "x.log";
    WriteFile(log, std::string("old\0", 4));
    WriteCodeLog("new", log, 0);
    std::string text = ReadFile(log);
    EXPECT_EQ("old", text.substr(0, 3));
    EXPECT_TRUE(std::regex_search(text.substr(3, 20), kStamp));
    EXPECT_EQ(std::string("new\r\n\0", 6), text.substr(23));
}

TEST(WriteCodeLog, NoFolderPartOrMissingFolderWritesNothing)
{
    TempDir dir;
    WriteCodeLog("x", "bare-name.log", 0);
    EXPECT_FALSE(std::filesystem::exists("bare-name.log"));
    WriteCodeLog("x", dir / "missing/x.log", 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(EnsureTrailingBackslash, AppendsOnceAndLeavesEmptyAlone)
{
    std::string a = "C:\\Temp";
    EnsureTrailingBackslash(a);
    EXPECT_EQ("C:\\Temp\\", a);
    EnsureTrailingBackslash(a);
    EXPECT_EQ("C:\\Temp\\", a);
    std::string empty;
    EnsureTrailingBackslash(empty);
    EXPECT_EQ("", empty);
}

} // namespace

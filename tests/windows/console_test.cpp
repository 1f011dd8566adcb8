// The services of the halcyon command on Windows: its UTF-8 arguments and
// file, the environment it hands to installers, and the file identity that
// tells a rewritten plan.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/environment.h"
#include "platform/file_version.h"
#include "platform/fs_path.h"
#include "platform/program.h"
#include "wide_text.h"
#include "windows_api.h"
#include "tests/common/test_env.h"

using namespace halcyon;

TEST(WindowsProgram, ArgumentsAndFileAreTheUtf16OnesInUtf8)
{
    const std::vector<std::string> args = platform::ProgramArguments(0, nullptr);
    ASSERT_FALSE(args.empty());
    const std::string file = platform::ProgramFile();
    EXPECT_EQ(platform::FsPath(file).filename(), platform::FsPath("halcyon_console_tests.exe"));
    EXPECT_NE(args[0].find("halcyon_console_tests"), std::string::npos) << args[0];
}

TEST(WindowsEnvironment, SetValuesReachTheSystemAndChildren)
{
    const std::string value = "C:\\Grüße\\✓";
    ASSERT_TRUE(platform::SetEnvironmentVariable("HALCYON_TEST_VALUE", value));
    EXPECT_EQ(platform::GetEnvironmentVariable("halcyon_test_value").value_or(""), value);
    wchar_t raw[64] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"HALCYON_TEST_VALUE", raw, 64), 0u);
    EXPECT_EQ(std::wstring(raw), platform::win::Widen(value));
    for (const char *bad : {"", "A=B"})
        EXPECT_FALSE(platform::SetEnvironmentVariable(bad, "x")) << bad;
}

TEST(WindowsFileVersion, TellsAReplacedFileFromAnUntouchedOne)
{
    test::TempDir dir("identity");
    const std::string plan = dir / "halcyon.ini";
    EXPECT_FALSE(platform::FileVersionOf(plan));
    auto write = [](const std::string &path) {
        std::ofstream(platform::FsPath(path), std::ios::binary) << "[Plan]\r\nA=1\r\n";
    };
    write(plan);
    const auto first = platform::FileVersionOf(plan);
    ASSERT_TRUE(first);
    EXPECT_EQ(platform::FileVersionOf(plan), first);
    // The same text and size, saved as a new file over the old one at once.
    write(dir / "next.ini");
    std::filesystem::rename(platform::FsPath(dir / "next.ini"), platform::FsPath(plan));
    EXPECT_NE(platform::FileVersionOf(plan), first);
}

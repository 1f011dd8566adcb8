// Private profile files, environment expansion and machine.ini settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/environment.h"
#include "platform/machine.h"
#include "platform/machine_prefix.h"
#include "platform/profile.h"
#include "support/wdmi/wdmi.h"
#include "tests/common/test_env.h"

using namespace halcyon::platform;
using halcyon::test::ReadFile;
using halcyon::test::WriteFile;

namespace {

class Profile : public ::testing::Test {
protected:
    halcyon::test::MachineScope machine;
    halcyon::test::TempDir dir{"profile"};
    std::string file = dir / "settings.ini";
};

} // namespace

TEST_F(Profile, ReadsWithWindowsRules)
{
    WriteFile(file, "; comment\r\n"
                    "[Sizing]\r\n"
                    "  Base = 20480  \r\n"
                    "Quoted=\"  spaced  \"\r\n"
                    "Negative=-5\r\n"
                    "Junk=12abc\r\n"
                    "Empty=\r\n"
                    "NoEquals\r\n"
                    "[sizing]\r\n"
                    "Base=1\r\n"
                    "Later=2\r\n");
    EXPECT_EQ(GetPrivateProfileString("SIZING", "base", "d", file), "20480");
    EXPECT_EQ(GetPrivateProfileString("Sizing", "Quoted", "d", file), "  spaced  ");
    // The first section of a name answers.
    EXPECT_EQ(GetPrivateProfileString("Sizing", "Later", "absent", file), "absent");
    EXPECT_EQ(GetPrivateProfileString("Other", "Base", "  fallback  ", file), "fallback");
    EXPECT_EQ(GetPrivateProfileString("Sizing", "Base", "x", dir / "missing.ini"), "x");
    EXPECT_FALSE(GetPrivateProfileValue("Sizing", "NoEquals", file).has_value());
    EXPECT_EQ(GetPrivateProfileValue("Sizing", "Empty", file), std::optional<std::string>(""));

    EXPECT_EQ(GetPrivateProfileInt("Sizing", "Base", 7, file), 20480u);
    EXPECT_EQ(GetPrivateProfileInt("Sizing", "Negative", 7, file), static_cast<uint32_t>(-5));
    EXPECT_EQ(GetPrivateProfileInt("Sizing", "Junk", 7, file), 12u);
    EXPECT_EQ(GetPrivateProfileInt("Sizing", "Empty", 7, file), 7u);
    EXPECT_EQ(GetPrivateProfileInt("Sizing", "Missing", -1, file), 0xFFFFFFFFu);

    EXPECT_EQ(GetPrivateProfileKeys("Sizing", file),
              (std::vector<std::string>{"Base", "Quoted", "Negative", "Junk", "Empty"}));
    EXPECT_EQ(GetPrivateProfileSectionNames(file), (std::vector<std::string>{"Sizing", "sizing"}));
}

TEST_F(Profile, WritesChangeOnlyTheirLine)
{
    WriteFile(file, "; keep me\n[A]\nOne=1\n\n[B]\nTwo=2\n");
    ASSERT_TRUE(WritePrivateProfileString("a", "ONE", "uno", file));   // first spelling kept
    ASSERT_TRUE(WritePrivateProfileString("A", "Three", "3", file));   // before the blank line
    ASSERT_TRUE(WritePrivateProfileString("C", "Four", "4", file));    // new section at the end
    ASSERT_TRUE(WritePrivateProfileString("B", "Two", std::nullopt, file));
    ASSERT_TRUE(WritePrivateProfileString("B", "Absent", std::nullopt, file));
    EXPECT_EQ(ReadFile(file), "; keep me\n[A]\nOne=uno\nThree=3\n\n[B]\n\n[C]\nFour=4\n");
    ASSERT_TRUE(DeletePrivateProfileSection("b", file));
    EXPECT_EQ(ReadFile(file), "; keep me\n[A]\nOne=uno\nThree=3\n\n[C]\nFour=4\n");

    // A new file is created with Windows line ends; folders are not.
    std::string fresh = dir / "new.ini";
    ASSERT_TRUE(WritePrivateProfileString("LPMode", "LP-C", "Yes", fresh));
    EXPECT_EQ(ReadFile(fresh), "[LPMode]\r\nLP-C=Yes\r\n");
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "v", dir / "no\\such\\folder.ini"));

    // Text that would change the file's structure is refused.
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "two\nlines", fresh));
    EXPECT_FALSE(WritePrivateProfileString("S", "K=V", "v", fresh));
    EXPECT_FALSE(WritePrivateProfileString("S]", "K", "v", fresh));
    EXPECT_EQ(ReadFile(fresh), "[LPMode]\r\nLP-C=Yes\r\n");
}

TEST_F(Profile, AWriteRemovesTheCopyAKilledWriterLeft)
{
    pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string stale = file + ".tmp" + std::to_string(gone);
    const std::string live = file + ".tmp" + std::to_string(::getppid()); // a writer still at work
    WriteFile(stale, "[A]\r\n");
    WriteFile(live, "[B]\r\n");
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "v", file));
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(live));
}

TEST_F(Profile, KeepsUtf16Files)
{
    // "[S]\r\nK=\u00e9\r\n" in UTF-16LE with BOM.
    std::string u16 = std::string("\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0\xE9\0\r\0\n\0", 22);
    WriteFile(file, u16);
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", file), "\xC3\xA9");
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "\xE2\x82\xAC", file)); // euro sign
    std::string back = ReadFile(file);
    EXPECT_EQ(back, std::string("\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0\xAC\x20\r\0\n\0", 22));
    // A value ending in a lone lead byte keeps the line end after it.
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "x\xC3", file));
    ASSERT_TRUE(WritePrivateProfileString("S", "Next", "2", file));
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", file), "x\xEF\xBF\xBD");
    EXPECT_EQ(GetPrivateProfileString("S", "Next", "", file), "2");
}

TEST_F(Profile, BareNamesLiveInTheWindowsFolder)
{
    ASSERT_TRUE(EnsureMachine());
    ASSERT_EQ(std::system(("mkdir -p '" + DriveFolder('c') + "/Windows'").c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "v", "win.ini"));
    EXPECT_EQ(ReadFile(DriveFolder('c') + "/Windows/win.ini"), "[S]\r\nK=v\r\n");
    // Windows paths go through the drive mapping, without regard to case.
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", "C:\\WINDOWS\\WIN.INI"), "v");
}

TEST(Environment, ExpandsLikeWindows)
{
    setenv("HalcyonTestVar", "value", 1);
    unsetenv("windir");
    unsetenv("ProgramFiles(x86)");
    std::string out;
    ASSERT_TRUE(ExpandEnvironmentStrings("%HALCYONTESTVAR%\\x", out));
    EXPECT_EQ(out, "value\\x");
    ASSERT_TRUE(ExpandEnvironmentStrings("%windir%\\system32\\nrvinst.oem", out));
    EXPECT_EQ(out, "C:\\Windows\\system32\\nrvinst.oem");
    ASSERT_TRUE(ExpandEnvironmentStrings("%ProgramFiles(x86)%|%ProgramW6432%|%SystemRoot%", out));
    EXPECT_EQ(out, "C:\\Program Files (x86)|C:\\Program Files|C:\\Windows");
    // Unknown names stay; their closing '%' may open the next name.
    ASSERT_TRUE(ExpandEnvironmentStrings("%NoSuchVar%HalcyonTestVar%", out));
    EXPECT_EQ(out, "%NoSuchVarvalue");
    ASSERT_TRUE(ExpandEnvironmentStrings("100% sure %%", out));
    EXPECT_EQ(out, "100% sure %%");
    // The environment wins over the defaults.
    setenv("windir", "D:\\Win", 1);
    ASSERT_TRUE(ExpandEnvironmentStrings("%WINDIR%", out));
    EXPECT_EQ(out, "D:\\Win");
    unsetenv("windir");
    unsetenv("HalcyonTestVar");
}

TEST(Environment, ResultOverTheLimitFails)
{
    std::string out = "unchanged";
    // "C:\Windows" is 10 characters.
    EXPECT_TRUE(ExpandEnvironmentStrings("%SystemRoot%", out, 10));
    EXPECT_EQ(out, "C:\\Windows");
    out = "unchanged";
    EXPECT_FALSE(ExpandEnvironmentStrings("%SystemRoot%", out, 9));
    EXPECT_EQ(out, "unchanged");
    // The limit counts characters, not bytes.
    EXPECT_TRUE(ExpandEnvironmentStrings("\xC3\xA9\xC3\xA9", out, 2));
    EXPECT_EQ(GetEnvironmentVariable(""), std::nullopt);
}

TEST_F(Profile, MachineSettingsAndIdentity)
{
    using namespace halcyon::support;
    EXPECT_FALSE(MachineSetting("Identity", "BLID").has_value());
    // Nothing is created by reading.
    EXPECT_FALSE(std::ifstream(machine.root() + "/machine.ini").good());
    ASSERT_TRUE(SetMachineSetting("Identity", "BLID", "ABC123"));
    ASSERT_TRUE(SetMachineSetting("Identity", "RMIDOnOEMString1", "true"));
    ASSERT_TRUE(SetMachineSetting("Identity", "RMID", ""));
    ASSERT_TRUE(SetMachineSetting("Partitions", "WinRE", "W"));
    EXPECT_EQ(MachineSetting("partitions", "winre"), std::optional<std::string>("W"));

    std::string id;
    EXPECT_EQ(GetBLID_s(id), 0);
    EXPECT_EQ(id, "ABC123");
    EXPECT_EQ(GetRMID_s(id), 0); // present and empty is a success
    EXPECT_EQ(id, "");
    EXPECT_TRUE(IsRMIDOnOEMString1());
    ASSERT_TRUE(SetMachineSetting("Identity", "RMIDOnOEMString1", "False"));
    EXPECT_FALSE(IsRMIDOnOEMString1());

    EXPECT_TRUE(IsSystemRestoreEnabled());
    EXPECT_TRUE(SetSystemRestore(false));
    EXPECT_FALSE(IsSystemRestoreEnabled());
    EXPECT_EQ(MachineSetting("Power", "SystemRestore"), std::optional<std::string>("False"));
    EXPECT_TRUE(SetSystemRestore(true));
    EXPECT_TRUE(IsSystemRestoreEnabled());

    ASSERT_TRUE(SetMachineSetting("Identity", "PhysicalMemoryMB", "8192"));
    EXPECT_EQ(PhysicalMemoryMB(), 8192u);
    ASSERT_TRUE(SetMachineSetting("Identity", "PhysicalMemoryMB", "lots"));
    EXPECT_GT(PhysicalMemoryMB(), 0u); // the real machine's
}

TEST_F(Profile, FreeDiskSpace)
{
    ASSERT_TRUE(EnsureMachine());
    auto real = FreeDiskSpace("C:\\");
    ASSERT_TRUE(real.has_value());
    EXPECT_FALSE(FreeDiskSpace("C:\\No\\Such\\Folder").has_value());
    SetFreeDiskSpaceOverride(12345);
    EXPECT_EQ(FreeDiskSpace("C:\\No\\Such\\Folder"), std::optional<uint64_t>(12345));
    SetFreeDiskSpaceOverride(std::nullopt);
    EXPECT_TRUE(FreeDiskSpace(dir.path()).has_value());
}

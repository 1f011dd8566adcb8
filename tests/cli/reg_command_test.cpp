// halcyon reg: reg tool syntax and output against the emulated machine.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/registry.h"
#include "platform/text_utf16.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/test_env.h"

using namespace halcyon;
namespace reg = platform::reg;

namespace {

const test::HalcyonVerb Reg{"reg"};

} // namespace

TEST(RegCommand, AddQueryDeleteWithRegToolOutput)
{
    test::MachineScope machine;
    std::string out;
    ASSERT_EQ(Reg(R"(add 'HKLM\SOFTWARE\Norv' /v Path /d 'C:\Program Files' /f)", out), 0) << out;
    EXPECT_EQ(out, "The operation completed successfully.\n");
    ASSERT_EQ(Reg(R"(add 'HKLM\SOFTWARE\Norv' /v Count /t REG_DWORD /d 42 /f)", out), 0) << out;
    ASSERT_EQ(Reg(R"(add 'HKLM\SOFTWARE\Norv' /v List /t reg_multi_sz /d 'a\0b' /f)", out), 0) << out;
    ASSERT_EQ(Reg(R"(add 'HKLM\SOFTWARE\Norv' /v Bytes /t REG_BINARY /d 0aFF /f)", out), 0) << out;
    ASSERT_EQ(Reg(R"(add 'HKLM\SOFTWARE\Norv\Sub' /ve /d x /f)", out), 0) << out;

    ASSERT_EQ(Reg(R"(query 'HKLM\SOFTWARE\Norv')", out), 0) << out;
    EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Norv\n"
                   "    Bytes    REG_BINARY    0AFF\n"
                   "    Count    REG_DWORD    0x2a\n"
                   "    List    REG_MULTI_SZ    a\\0b\n"
                   "    Path    REG_SZ    C:\\Program Files\n"
                   "\n"
                   "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norv\\Sub\n");
    ASSERT_EQ(Reg(R"(query 'hklm\software\norv' /v path)", out), 0) << out;
    EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\software\\norv\n    Path    REG_SZ    C:\\Program Files\n\n");
    ASSERT_EQ(Reg(R"(query 'HKLM\SOFTWARE\Norv' /s)", out), 0) << out;
    EXPECT_NE(out.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norv\\Sub\n    (Default)    REG_SZ    x\n"), std::string::npos)
        << out;

    // The value is stored as the bytes given, without a terminator.
    std::vector<uint8_t> data;
    reg::UniqueKey k;
    ASSERT_EQ(reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Norv", reg::KEY_READ, k.out()), 0);
    ASSERT_EQ(reg::RegQueryValueEx(k.get(), "Path", nullptr, &data), 0);
    EXPECT_EQ(std::string(data.begin(), data.end()), "C:\\Program Files");

    // Missing keys and values are errors, as are unknown roots and types.
    EXPECT_EQ(Reg(R"(query 'HKLM\SOFTWARE\Missing')", out), 1);
    EXPECT_EQ(out, "ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_EQ(Reg(R"(query 'HKLM\SOFTWARE\Norv' /v Missing)", out), 1);
    ASSERT_EQ(Reg(R"(query 'HKLM\SOFTWARE\Norv' /ve)", out), 0);
    EXPECT_EQ(out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Norv\n    (Default)    REG_SZ    (value not set)\n\n");
    EXPECT_EQ(Reg(R"(query 'HKZZ\SOFTWARE')", out), 1);
    EXPECT_NE(out.find("Invalid key name"), std::string::npos);
    EXPECT_EQ(Reg(R"(add 'HKLM\SOFTWARE\Norv' /v X /t REG_WHAT /d 1 /f)", out), 1);
    EXPECT_EQ(Reg(R"(add 'HKLM\SOFTWARE\Norv' /v X /t REG_DWORD /d 4294967296 /f)", out), 1);

    // Overwriting asks first; "No" keeps the value.
    EXPECT_EQ(Reg(R"(add 'HKLM\SOFTWARE\Norv' /v Path /d other)", out, "n\\n"), 1);
    EXPECT_NE(out.find("canceled"), std::string::npos);
    EXPECT_EQ(Reg(R"(add 'HKLM\SOFTWARE\Norv' /v Path /d other)", out, "y\\n"), 0);

    ASSERT_EQ(Reg(R"(delete 'HKLM\SOFTWARE\Norv' /v Count /f)", out), 0) << out;
    EXPECT_EQ(Reg(R"(delete 'HKLM\SOFTWARE\Norv' /v Count /f)", out), 1);
    ASSERT_EQ(Reg(R"(delete 'HKLM\SOFTWARE\Norv' /f)", out), 0) << out;
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Norv\\Sub"));
    EXPECT_EQ(Reg(R"(delete 'HKLM\SOFTWARE\Norv' /f)", out), 1);
}

TEST(RegCommand, ViewsAndFiles)
{
    test::MachineScope machine;
    test::TempDir dir("reg-cli");
    std::string out;
    ASSERT_EQ(Reg(R"(add 'HKLM\SOFTWARE\App' /v Bits /d 32 /reg:32 /f)", out), 0) << out;
    EXPECT_TRUE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\App"));
    EXPECT_EQ(Reg(R"(query 'HKLM\SOFTWARE\App' /reg:64)", out), 1);
    ASSERT_EQ(Reg(R"(query 'HKLM\SOFTWARE\App' /reg:32)", out), 0) << out;

    const std::string file = dir / "app.reg";
    ASSERT_EQ(Reg(R"(export 'HKLM\SOFTWARE\WOW6432Node\App' )" + file, out), 0) << out;
    std::string bytes = test::ReadFile(file);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(platform::Utf16LeToUtf8(bytes.substr(2)).find("\"Bits\"=\"32\"\r\n"), std::string::npos);
    // An existing file is replaced only when allowed.
    EXPECT_EQ(Reg(R"(export 'HKLM\SOFTWARE\WOW6432Node\App' )" + file, out, "n\\n"), 1);
    EXPECT_EQ(Reg(R"(export 'HKLM\SOFTWARE\WOW6432Node\App' )" + file + " /y", out), 0) << out;
    EXPECT_EQ(Reg(R"(export 'HKLM\SOFTWARE\Missing' )" + (dir / "x.reg"), out), 1);

    ASSERT_EQ(Reg(R"(delete 'HKLM\SOFTWARE\WOW6432Node\App' /f)", out), 0) << out;
    ASSERT_EQ(Reg("import " + file, out), 0) << out;
    std::string v;
    EXPECT_EQ(reg::GetString(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\App", "Bits", &v, reg::KEY_WOW64_32KEY), 0);
    EXPECT_EQ(v, "32");

    test::WriteFile(dir / "bad.reg", "Windows Registry Editor Version 5.00\n[HKLM\\SOFTWARE\\New]\n\"x\"=bad\n");
    EXPECT_EQ(Reg("import " + (dir / "bad.reg"), out), 1);
    EXPECT_NE(out.find("line 3"), std::string::npos) << out;
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\New"));
    EXPECT_EQ(Reg("import " + (dir / "none.reg"), out), 1);
    EXPECT_NE(out.find("Error opening the file"), std::string::npos);
}

TEST(RegCommand, AddStoresDataAsTheRegToolDoes)
{
    test::MachineScope machine;
    const struct {
        const char *arguments;
        uint32_t type;
        std::string data;
    } cases[] = {
        {"/t REG_NONE /d 0102", reg::REG_NONE, std::string("0\0001\0000\0002\0\0\0", 10)}, // UTF-16 with terminator
        {"/t REG_EXPAND_SZ /d %windir%", reg::REG_EXPAND_SZ, std::string("%windir%\0", 9)},
        {"/t REG_SZ /d text", reg::REG_SZ, "text"},
        {"/t REG_MULTI_SZ /d 'a\\0b'", reg::REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
    };
    for (const auto &c : cases) {
        std::string out;
        ASSERT_EQ(Reg(std::string(R"(add 'HKLM\SOFTWARE\Add' /v V /f )") + c.arguments, out), 0) << out;
        reg::UniqueKey k;
        ASSERT_EQ(reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Add", reg::KEY_READ, k.out()), 0);
        uint32_t type = 0;
        std::vector<uint8_t> data;
        ASSERT_EQ(reg::RegQueryValueEx(k.get(), "V", &type, &data), 0);
        EXPECT_EQ(type, c.type) << c.arguments;
        EXPECT_EQ(std::string(data.begin(), data.end()), c.data) << c.arguments;
    }
}

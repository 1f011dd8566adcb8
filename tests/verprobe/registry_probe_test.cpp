// The VerGauge exports on registry items: value formatting per type, the
// check of key names, default and named values in both views, root names
// and malformed paths.
#include "platform/environment.h"
#include "platform/registry.h"
#include "tests/verprobe/probe_test_util.h"

using namespace halcyon::test;
namespace reg = halcyon::platform::reg;

namespace {

class RegistryProbe : public ProbeTest {
protected:
    static void SetBytes(std::string_view key, std::string_view name, uint32_t type, std::vector<uint8_t> data,
                         uint32_t view = 0)
    {
        reg::UniqueKey k;
        ASSERT_EQ(reg::RegCreateKeyEx(reg::HKEY_LOCAL_MACHINE, key, reg::KEY_ALL_ACCESS | view, k.out()), 0);
        ASSERT_EQ(reg::RegSetValueEx(k.get(), name, type, data.data(), data.size()), 0);
    }
    static void SetText(std::string_view key, std::string_view name, std::string_view text,
                        uint32_t type = reg::REG_SZ, uint32_t view = 0)
    {
        ASSERT_EQ(reg::SetString(reg::HKEY_LOCAL_MACHINE, key, name, text, type, view), 0);
    }
    static void MakeKey(std::string_view key, uint32_t view = 0)
    {
        reg::UniqueKey k;
        ASSERT_EQ(reg::RegCreateKeyEx(reg::HKEY_LOCAL_MACHINE, key, reg::KEY_ALL_ACCESS | view, k.out()), 0);
    }
};

} // namespace

TEST_F(RegistryProbe, ValuesAsText)
{
    SetText("SOFTWARE\\Norv\\App", "Version", "  v1.2.3 (beta)  ");
    SetText("SOFTWARE\\Norv\\App", "Path", "%windir%\\Norv", reg::REG_EXPAND_SZ);
    SetBytes("SOFTWARE\\Norv\\App", "Blob", reg::REG_BINARY, {0x01, 0xAB, 0x00});
    SetBytes("SOFTWARE\\Norv\\App", "Count", reg::REG_DWORD, {0x10, 0, 0, 0});
    SetBytes("SOFTWARE\\Norv\\App", "Zero", reg::REG_DWORD, {0, 0, 0, 0});
    SetBytes("SOFTWARE\\Norv\\App", "Big", reg::REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
    SetText("SOFTWARE\\Norv\\App", "Empty", "");
    SetText("SOFTWARE\\Norv\\App", "Nul", std::string("7.1\0junk", 8));

    auto read = [](const char *path) { return Call(GetRegVersion_s, path); };
    Probe p = read("HKLM\\SOFTWARE\\Norv\\App\\Version");
    EXPECT_EQ(p.code, 0u);
    EXPECT_EQ(p.text, "v1.2.3 (beta");
    // (The Windows folder as this machine spells it: Wine writes "C:\windows".)
    EXPECT_EQ(read("HKEY_LOCAL_MACHINE\\Software\\norv\\app\\path").text,
              *halcyon::platform::GetEnvironmentVariable("windir") + "\\Norv");
    EXPECT_EQ(read("HKLM\\SOFTWARE\\Norv\\App\\Blob").text, "01 AB 00");
    EXPECT_EQ(read("HKLM\\SOFTWARE\\Norv\\App\\Count").text, "10");
    EXPECT_EQ(read("HKLM\\SOFTWARE\\Norv\\App\\Zero").text, "0");
    EXPECT_EQ(read("HKLM\\SOFTWARE\\Norv\\App\\Nul").text, "7.1");
    EXPECT_EQ(read("HKLM\\SOFTWARE\\Norv\\App\\Big").code, 12u);
    EXPECT_EQ(read("HKLM\\SOFTWARE\\Norv\\App\\Empty").code, 13u);
    EXPECT_EQ(read("HKLM\\SOFTWARE\\Norv\\App\\Missing").code, 11u);
    EXPECT_EQ(read("HKLM\\SOFTWARE\\Norv\\Gone\\Version").code, 10u);
    // The output is cut to the caller's size.
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM\\SOFTWARE\\Norv\\App\\Blob", 6).text, "01 AB");
}

TEST_F(RegistryProbe, MalformedPathsAndRoots)
{
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM").code, 7u);
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM\\SOFTWARE").code, 9u);
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM\\SOFTWARE\\").code, 9u); // trailing separator stripped
    EXPECT_EQ(Call(GetRegVersion_s, "HKCR\\.txt\\Content").code, 8u);
    EXPECT_EQ(Call(GetRegVersion_s, "HKEY_CLASSES_ROOT\\.txt\\Content").code, 8u);

    // HKCR carries none of the registry markers: a file that is not there.
    Probe p = Verify("HKCR\\.txt\\Content", "text");
    EXPECT_EQ(p.code, 1u);
    EXPECT_EQ(p.text, "FILE NOT FOUND");
    // Spelled out, the root holds "HKE": a registry path with an unknown root.
    EXPECT_EQ(Verify("HKEY_CLASSES_ROOT\\.txt\\Content", "text").code, 8u);
}

TEST_F(RegistryProbe, NumbersMatchHexadecimalAndDecimalText)
{
    SetBytes("SOFTWARE\\Norv\\App", "Level", reg::REG_DWORD, {0x10, 0, 0, 0});
    SetBytes("SOFTWARE\\Norv\\App", "Max", reg::REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\App\\Level", "10").code, 0u);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\App\\Level", "0010").code, 0u);
    Probe p = Verify("HKLM\\SOFTWARE\\Norv\\App\\Level", "16");
    EXPECT_EQ(p.code, 0u);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\App\\Level", "17").code, 3u);
    // Values above 0x7FFFFFFF keep their unsigned value.
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\App\\Max", "4294967295").code, 0u);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\App\\Max", "ffffffff").code, 0u);
}

TEST_F(RegistryProbe, KeyNamesMatchWithoutLeadingAndTrailingZeros)
{
    MakeKey("SOFTWARE\\Norv\\Versions\\1.20");
    MakeKey("SOFTWARE\\Norv\\Versions\\100");
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\Versions\\1.20", "1.2").code, 0u);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\Versions\\100", "1").code, 0u);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\Versions\\1.20", "1.20").code, 0u);
    // No key, no default value, no value of that name: the last try's code.
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\Versions\\1.20", "1.3").code, 11u);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\Versions\\2.0", "2").code, 11u);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\Nothing\\2.0", "2").code, 10u);
}

TEST_F(RegistryProbe, DefaultAndNamedValuesInBothViews)
{
    SetText("SOFTWARE\\Norv\\Default", "", "4.5.6");
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\Default", "4.5.6").code, 0u);
    // Strings compare without regard to case, after stripping.
    SetText("SOFTWARE\\Norv\\App", "Build", "  r12b.");
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\App\\Build", "R12B").code, 0u);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\App\\Build", "R12").code, 3u);

    // Only in the 32-bit view, then only in the 64-bit view.
    SetText("SOFTWARE\\Norv\\Only32", "Version", "3.2", reg::REG_SZ, reg::KEY_WOW64_32KEY);
    SetText("SOFTWARE\\Norv\\Only64", "Version", "6.4", reg::REG_SZ, reg::KEY_WOW64_64KEY);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\Only32\\Version", "3.2").code, 0u);
    EXPECT_EQ(Verify("HKLM\\SOFTWARE\\Norv\\Only64\\Version", "6.4").code, 0u);
    // GetRegVersion_s reads the default (64-bit) view only.
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM\\SOFTWARE\\Norv\\Only32\\Version").code, 10u);
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM\\SOFTWARE\\WOW6432Node\\Norv\\Only32\\Version").text, "3.2");
}

TEST_F(RegistryProbe, LongStringsAreRefused)
{
    SetText("SOFTWARE\\Norv\\App", "Long", std::string(256, 'a'));
    SetText("SOFTWARE\\Norv\\App", "Fits", std::string(255, 'a'));
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM\\SOFTWARE\\Norv\\App\\Long", 300).code, 15u);
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM\\SOFTWARE\\Norv\\App\\Fits", 300).text, std::string(255, 'a'));
    SetBytes("SOFTWARE\\Norv\\App", "HugeBlob", reg::REG_BINARY, std::vector<uint8_t>(257, 1));
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM\\SOFTWARE\\Norv\\App\\HugeBlob").code, 11u);
}

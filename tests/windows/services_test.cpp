// The Windows services behind the registry, machine, power and profile
// interfaces:
// text crosses as UTF-8 and is stored as Windows keeps it.
#include <gtest/gtest.h>

#include "platform/environment.h"
#include "platform/firmware_table.h"
#include "platform/host_path_text.h"
#include "platform/machine.h"
#include "platform/path_map.h"
#include "platform/power_request.h"
#include "platform/profile.h"
#include "platform/reg_file.h"
#include "platform/registry.h"
#include "wide_text.h"
#include "windows_api.h"
#include "tests/common/test_env.h"

using namespace halcyon;
namespace reg = halcyon::platform::reg;

TEST(WindowsRegistry, TextIsStoredAsUtf16AndViewsAreTheSystemOnes)
{
    const std::string text = "Grüße ✓ 𝄞";
    ASSERT_EQ(reg::SetString(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\HalcyonTest", "Name", text), 0);
    std::string back;
    ASSERT_EQ(reg::GetString(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\HalcyonTest", "Name", &back), 0);
    EXPECT_EQ(back, text);

    // Other programs see UTF-16 with its terminator.
    wchar_t raw[32] = {};
    DWORD size = sizeof raw;
    ASSERT_EQ(::RegGetValueW(reinterpret_cast<::HKEY>(static_cast<intptr_t>(static_cast<int32_t>(reg::HKEY_LOCAL_MACHINE))),
                             L"SOFTWARE\\HalcyonTest", L"Name", RRF_RT_REG_SZ, nullptr, raw, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(raw), platform::win::Widen(text));
    EXPECT_EQ(size, (platform::win::Widen(text).size() + 1) * sizeof(wchar_t));

    // The 32-bit view is WOW6432Node.
    ASSERT_EQ(reg::SetDword(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\HalcyonTest32", "N", 5, KEY_WOW64_32KEY), 0);
    uint32_t n = 0;
    EXPECT_EQ(reg::GetDword(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\HalcyonTest32", "N", &n), 0);
    EXPECT_EQ(n, 5u);

    // A key with subkeys stays; the tree goes whole.
    ASSERT_EQ(reg::SetString(reg::HKEY_CURRENT_USER, "Software\\HalcyonTree\\Sub", "", "x"), 0);
    EXPECT_EQ(reg::RegDeleteKeyEx(reg::HKEY_CURRENT_USER, "Software\\HalcyonTree", 0), ERROR_KEY_HAS_CHILDREN);
    EXPECT_EQ(reg::RegDeleteTree(reg::HKEY_CURRENT_USER, "Software\\HalcyonTree"), 0);
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_CURRENT_USER, "Software\\HalcyonTree"));
}

TEST(WindowsRegistry, ExportWritesTheStoredBytesAndUnlistableKeysEmpty)
{
    using namespace reg;
    UniqueKey k;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\HalcyonExport", KEY_ALL_ACCESS, k.out()), 0);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\HalcyonExport", "Path", "%x%", REG_EXPAND_SZ), 0);
    ASSERT_EQ(RegSetValueEx(k.get(), "Nul", REG_SZ, "a\0b", 3), 0);
    k.reset();
    // The data as Windows stores them: UTF-16 with the terminator.
    std::string text;
    ASSERT_EQ(ExportRegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\HalcyonExport", 0, &text), 0);
    EXPECT_NE(text.find("\"Path\"=hex(2):25,00,78,00,25,00,00,00\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Nul\"=hex(1):61,00,00,00,62,00,00,00\r\n"), std::string::npos) << text;
    ASSERT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\HalcyonExport"), 0);
    std::string error;
    ASSERT_EQ(ImportRegText(text, 0, &error), 0) << error;
    std::string again;
    ASSERT_EQ(ExportRegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\HalcyonExport", 0, &again), 0);
    EXPECT_EQ(again, text);

    // Wine lists a performance-counter key it cannot open or list: the
    // export goes on with it as an empty key and names it.
    const std::string perflib = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib";
    std::vector<std::string> skipped;
    ASSERT_EQ(ExportRegText(HKEY_LOCAL_MACHINE, perflib, 0, &text, &skipped), 0);
    for (const auto &path : skipped)
        EXPECT_NE(text.find("[" + path + "]\r\n\r\n"), std::string::npos) << path;
    UniqueKey listed;
    reg::LONG opened = RegOpenKeyEx(HKEY_LOCAL_MACHINE, perflib + "\\009", KEY_READ, listed.out());
    reg::LONG first = opened ? opened : RegEnumValue(listed.get(), 0, nullptr, nullptr, nullptr);
    if (opened != ERROR_FILE_NOT_FOUND && first != 0 && first != ERROR_NO_MORE_ITEMS) {
        ASSERT_FALSE(skipped.empty());
        EXPECT_EQ(skipped.front(), "HKEY_LOCAL_MACHINE\\" + perflib + "\\009");
    }
}

TEST(WindowsMachine, OverrideFileMemoryAndDiskSpace)
{
    test::MachineScope machine; // HALCYON_MACHINE: the override file's folder
    EXPECT_FALSE(platform::MachineSetting("Identity", "BLID"));
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "BLID", "Größe-7"));
    EXPECT_EQ(platform::MachineSetting("identity", "blid").value_or(""), "Größe-7");

    EXPECT_GT(platform::PhysicalMemoryMB(), 0u);
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "PhysicalMemoryMB", "512"));
    EXPECT_EQ(platform::PhysicalMemoryMB(), 512u);

    EXPECT_TRUE(platform::FreeDiskSpace("C:\\").has_value());
    EXPECT_FALSE(platform::FreeDiskSpace("C:\\no such folder\\x").has_value());
}

// Wine 8.0 answers PowerCreateRequest with 120 (not implemented): the
// machine is then not held awake, and that is no error.
TEST(WindowsPower, RequestsAreCountedAndHoldTheMachineUnlessWineHasNoPowerRequests)
{
    platform::PowerRequestHandle h = platform::PowerCreateRequest("test");
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(platform::PowerSetRequest(h, platform::PowerRequestSystemRequired));
    EXPECT_EQ(platform::ActivePowerRequests(platform::PowerRequestSystemRequired), 1);

    REASON_CONTEXT context{};
    context.Version = POWER_REQUEST_CONTEXT_VERSION;
    context.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
    context.Reason.SimpleReasonString = const_cast<wchar_t *>(L"probe");
    HANDLE probe = ::PowerCreateRequest(&context);
    bool systemHasRequests = probe != INVALID_HANDLE_VALUE;
    if (systemHasRequests)
        ::CloseHandle(probe);
    else
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(platform::SystemSleepInhibited(), systemHasRequests);

    EXPECT_TRUE(platform::ClosePowerRequest(h));
    EXPECT_EQ(platform::ActivePowerRequests(platform::PowerRequestSystemRequired), 0);
    EXPECT_FALSE(platform::SystemSleepInhibited());
}

TEST(WindowsProfile, ValuesKeysSectionsAndText)
{
    test::TempDir dir("halcyon-profile");
    const std::string ini = dir.path() + "\\plan.ini";
    ASSERT_TRUE(platform::WritePrivateProfileString("Main", "Name", "Grüße ✓", ini));
    ASSERT_TRUE(platform::WritePrivateProfileString("Main", "Empty", "", ini));
    ASSERT_TRUE(platform::WritePrivateProfileString("Other", "Count", "12", ini));

    EXPECT_EQ(platform::GetPrivateProfileString("main", "name", "-", ini), "Grüße ✓");
    EXPECT_EQ(platform::GetPrivateProfileValue("Main", "Empty", ini).value_or("absent"), "");
    EXPECT_FALSE(platform::GetPrivateProfileValue("Main", "Missing", ini));
    EXPECT_EQ(platform::GetPrivateProfileString("Main", "Missing", "-", ini), "-");
    EXPECT_EQ(platform::GetPrivateProfileInt("Other", "Count", 0, ini), 12u);
    EXPECT_EQ(platform::GetPrivateProfileKeys("Main", ini), (std::vector<std::string>{"Name", "Empty"}));
    EXPECT_EQ(platform::GetPrivateProfileSectionNames(ini), (std::vector<std::string>{"Main", "Other"}));

    ASSERT_TRUE(platform::WritePrivateProfileString("Main", "Name", std::nullopt, ini));
    EXPECT_FALSE(platform::GetPrivateProfileValue("Main", "Name", ini));
    ASSERT_TRUE(platform::DeletePrivateProfileSection("Other", ini));
    EXPECT_EQ(platform::GetPrivateProfileSectionNames(ini), (std::vector<std::string>{"Main"}));
    EXPECT_TRUE(platform::DeletePrivateProfileSection("Main", dir.path() + "\\absent.ini"));

    // A bare name lives in the Windows folder.
    std::string windir = platform::ProfileHostPath("halcyon-test.ini");
    EXPECT_TRUE(platform::EqualsNoCase(windir, *platform::GetEnvironmentVariable("windir") + "\\halcyon-test.ini"))
        << windir;
}

// Wine 8.0's table carries no OEM strings (type 11): there the identity
// comes from the override file alone.
TEST(WindowsFirmware, StructuresOfTheSmbiosTableUnlessWineHasNoOemStrings)
{
    for (uint8_t type : {uint8_t(1), uint8_t(11)}) {
        auto raw = platform::SmbiosStructure(type);
        if (!raw) {
            EXPECT_EQ(type, 11) << "Wine's table holds the system structure";
            continue;
        }
        ASSERT_GE(raw->size(), 6u);
        EXPECT_EQ(static_cast<uint8_t>((*raw)[0]), type);
        EXPECT_GE(raw->size(), static_cast<uint8_t>((*raw)[1]) + 2u);
        EXPECT_EQ(raw->substr(raw->size() - 2), std::string("\0\0", 2));
    }
    EXPECT_FALSE(platform::SmbiosStructure(200));
}

TEST(WindowsPathText, RootsOfDrivesAndSharesAndTheirTrailingSeparators)
{
    struct Row {
        const char *path;
        size_t root;
        bool full;
        const char *trimmed;
    };
    const Row rows[] = {
        {"C:\\Windows\\", 2, true, "C:\\Windows"},
        {"c:\\", 2, true, "c:\\"},
        {"C:", 2, true, "C:"},
        {"C:x", 2, false, "C:x"}, // relative to the drive's current folder
        {"\\\\server\\share\\x\\", 14, true, "\\\\server\\share\\x"},
        {"//server/share", 14, true, "//server/share"},
        {"\\\\server\\", 0, false, "\\\\server"},
        {"\\x", 0, false, "\\x"}, // on the current drive
        {"x/y//", 0, false, "x/y"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(platform::HostRootLength(r.path), r.root) << r.path;
        EXPECT_EQ(platform::IsFullHostPath(r.path), r.full) << r.path;
        EXPECT_EQ(platform::TrimHostSeparators(r.path), r.trimmed) << r.path;
    }
    EXPECT_EQ(platform::ComparableHostPath("c:\\x"), "C:\\x");
}

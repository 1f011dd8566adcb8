// The setup verbs' registry helpers and the published arguments record.
#include <gtest/gtest.h>

#include "engine/modules/installer_arguments.h"
#include "platform/registry.h"
#include "tests/common/test_env.h"

using namespace halcyon::modules;
namespace reg = halcyon::platform::reg;

namespace {

const std::string kKey = "SOFTWARE\\Norv Corporation\\Installed Software\\Test\\";

std::vector<uint8_t> RawValue(const std::string &key, const std::string &name, uint32_t *type = nullptr)
{
    reg::UniqueKey k;
    EXPECT_EQ(reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, key, reg::KEY_READ, k.out()), 0);
    std::vector<uint8_t> data;
    uint32_t t = 0;
    EXPECT_EQ(reg::RegQueryValueEx(k.get(), name, &t, &data), 0) << name;
    if (type)
        *type = t;
    return data;
}

class InstallerRegistry : public ::testing::Test {
protected:
    halcyon::test::MachineScope machine;
};

} // namespace

TEST_F(InstallerRegistry, WriteStoresTextWithoutTerminatorAndReadsItBack)
{
    ASSERT_EQ(WriteRegString(kKey, "Path", "C:\\Program Files\\X"), 0);
    uint32_t type = 0;
    auto raw = RawValue(kKey, "Path", &type);
    EXPECT_EQ(type, reg::REG_SZ);
    EXPECT_EQ(std::string(raw.begin(), raw.end()), "C:\\Program Files\\X");

    std::string out = "old";
    EXPECT_EQ(ReadRegString(kKey, "path", out), 0);
    EXPECT_EQ(out, "C:\\Program Files\\X");
    // A terminator written by another tool ends the text.
    reg::UniqueKey k;
    ASSERT_EQ(reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, kKey, reg::KEY_ALL_ACCESS, k.out()), 0);
    ASSERT_EQ(reg::RegSetValueEx(k.get(), "Terminated", reg::REG_SZ, "abc\0", 4), 0);
    EXPECT_EQ(ReadRegString(kKey, "Terminated", out), 0);
    EXPECT_EQ(out, "abc");
}

TEST_F(InstallerRegistry, ReadFailuresLeaveTheOutputAlone)
{
    std::string out = "unchanged";
    EXPECT_EQ(ReadRegString("SOFTWARE\\Nowhere", "x", out), 109);
    ASSERT_EQ(WriteRegString(kKey, "Present", "1"), 0);
    EXPECT_EQ(ReadRegString(kKey, "Absent", out), 110);

    // An empty text is stored as zero bytes and reads as 111.
    ASSERT_EQ(WriteRegString(kKey, "Empty", ""), 0);
    EXPECT_TRUE(RawValue(kKey, "Empty").empty());
    EXPECT_EQ(ReadRegString(kKey, "Empty", out), 111);

    // A number is not text.
    ASSERT_EQ(reg::SetDword(reg::HKEY_LOCAL_MACHINE, kKey, "Number", 7), 0);
    EXPECT_EQ(ReadRegString(kKey, "Number", out), 110);
    EXPECT_EQ(out, "unchanged");
}

TEST_F(InstallerRegistry, TwoHundredSixtyCharactersFitTwoHundredSixtyOneDoNot)
{
    std::string fits(260, 'a');
    std::string tooLong(261, 'a');
    ASSERT_EQ(WriteRegString(kKey, "Fits", fits), 0);
    ASSERT_EQ(WriteRegString(kKey, "TooLong", tooLong), 0);
    std::string out;
    EXPECT_EQ(ReadRegString(kKey, "Fits", out), 0);
    EXPECT_EQ(out, fits);
    out = "unchanged";
    EXPECT_EQ(ReadRegString(kKey, "TooLong", out), 110);
    EXPECT_EQ(out, "unchanged");

    // Characters, not bytes: 260 two-byte letters still fit.
    std::string wide;
    for (int i = 0; i < 260; ++i)
        wide += "\xC3\xA9";
    ASSERT_EQ(WriteRegString(kKey, "Wide", wide), 0);
    EXPECT_EQ(ReadRegString(kKey, "Wide", out), 0);
    EXPECT_EQ(out, wide);
#if !defined(_WIN32) // Windows keeps a terminator with every string; the emulation keeps the bytes given
    // 260 characters plus a stored terminator exceed the buffer.
    reg::UniqueKey k;
    ASSERT_EQ(reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, kKey, reg::KEY_ALL_ACCESS, k.out()), 0);
    std::string withNul = fits + '\0';
    ASSERT_EQ(reg::RegSetValueEx(k.get(), "WithNul", reg::REG_SZ, withNul.data(), withNul.size()), 0);
    EXPECT_EQ(ReadRegString(kKey, "WithNul", out), 110);
#endif
}

TEST_F(InstallerRegistry, DeleteRegKeyRemovesOnlyLeafKeys)
{
    ASSERT_EQ(WriteRegString(kKey + "Leaf", "v", "1"), 0);
    EXPECT_EQ(DeleteRegKey(kKey), 118); // has a subkey
    EXPECT_TRUE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, kKey + "Leaf"));
    EXPECT_EQ(DeleteRegKey(kKey + "Leaf"), 0);
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, kKey + "Leaf"));
    EXPECT_EQ(DeleteRegKey(kKey + "Leaf"), 118); // already gone
    EXPECT_TRUE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, kKey));
}

TEST_F(InstallerRegistry, PublisherWritesTheTableAndRemovesTheKeyOnEveryReturn)
{
    InstallerArguments args;
    args.IniFile = "C:\\halcyon.ini";
    args.DestDir = "C:\\";
    args.LogFile = "C:\\log.txt";
    args.Start = -3;
    args.Options = 0x1'8000'0004ull; // bit 32 set: only the low 32 bits are published
    {
        InstallerArgumentsPublisher pub(args);
        ASSERT_EQ(pub.Publish(), 0);
        reg::UniqueKey k;
        ASSERT_EQ(reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, kInstallerArgumentsKey, reg::KEY_READ, k.out()), 0);
        std::vector<std::string> names;
        std::string name;
        for (uint32_t i = 0; reg::RegEnumValue(k.get(), i, &name, nullptr, nullptr) == 0; ++i)
            names.push_back(name);
        EXPECT_EQ(names.size(), 14u);
        std::string out;
        EXPECT_EQ(ReadRegString(kInstallerArgumentsKey, "Options", out), 0);
        EXPECT_EQ(out, "2147483652");
        EXPECT_EQ(ReadRegString(kInstallerArgumentsKey, "Start", out), 0);
        EXPECT_EQ(out, "-3");
        EXPECT_EQ(ReadRegString(kInstallerArgumentsKey, "IniFile", out), 0);
        EXPECT_EQ(out, "C:\\halcyon.ini");
        EXPECT_EQ(ReadRegString(kInstallerArgumentsKey, "CurApp", out), 111); // empty
    }
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, kInstallerArgumentsKey));

    // An early return before publishing deletes nothing else and leaves no key.
    auto verb = [&](bool early) {
        InstallerArgumentsPublisher pub(args);
        if (early)
            return 1001;
        pub.Publish();
        return 0;
    };
    EXPECT_EQ(verb(true), 1001);
    EXPECT_FALSE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, kInstallerArgumentsKey));
    EXPECT_TRUE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Norv Corporation\\Installed Software"));
}

TEST(InstallerArgumentsRecord, EntriesFollowTheTableOrder)
{
    InstallerArguments args;
    args.Options = 0xFFFFFFFFFFFFFFFFull;
    args.Start = INT32_MIN;
    auto e = args.Entries();
    const char *order[] = {"CurApp",  "IniFile",       "PermSourceDir", "TempSourceDir", "TrueFulSourceDir",
                           "DestDir", "MountDir",      "InstallerType", "PartType",      "Recoverable",
                           "Temporary", "LogFile",     "Start",         "Options"};
    ASSERT_EQ(e.size(), 14u);
    for (size_t i = 0; i < 14; ++i)
        EXPECT_EQ(e[i].first, order[i]);
    EXPECT_EQ(e[12].second, "-2147483648");
    EXPECT_EQ(e[13].second, "4294967295");
    EXPECT_EQ(InstallerArguments{}.Entries()[13].second, "0");
}

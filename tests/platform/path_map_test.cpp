// Windows path text to host paths; safe path parts; wildcard matching.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/machine_prefix.h"
#include "platform/path_map.h"
#include "tests/common/test_env.h"

using namespace halcyon::platform;
namespace fs = std::filesystem;

TEST(PathMap, DriveLettersAndSeparators)
{
    halcyon::test::MachineScope machine;
    const std::string c = machine.root() + "/drives/c";
    EXPECT_EQ(MapPathText("C:\\Windows\\system32"), c + "/Windows/system32");
    EXPECT_EQ(MapPathText("c:/Windows\\x"), c + "/Windows/x");
    EXPECT_EQ(MapPathText("X:\\Norv"), machine.root() + "/drives/x/Norv");
    EXPECT_EQ(MapPathText("C:"), c);
    EXPECT_EQ(MapPathText("C:rel"), c + "/rel");
    EXPECT_EQ(MapPathText("sources\\data\\300100"), "sources/data/300100");
    EXPECT_EQ(MapPathText("/tmp/a\\b"), "/tmp/a/b");
    EXPECT_EQ(DriveFolder('D'), machine.root() + "/drives/d");
    EXPECT_TRUE(HasDrive("C:\\x"));
    EXPECT_TRUE(HasDrive("\\\\?\\C:\\x"));
    EXPECT_FALSE(HasDrive("C"));
    EXPECT_FALSE(HasDrive(":x")); // a ':' first does not count
}

TEST(PathMap, ResolvesComponentsWithoutRegardToCase)
{
    halcyon::test::MachineScope machine;
    const std::string c = machine.root() + "/drives/c";
    fs::create_directories(c + "/Sources/Data");
    halcyon::test::WriteFile(c + "/Sources/Data/Install.swm", "x");
    EXPECT_EQ(HostPath("C:\\SOURCES\\data\\INSTALL.SWM"), c + "/Sources/Data/Install.swm");
    // Missing parts keep their case; the known prefix is still resolved.
    EXPECT_EQ(HostPath("C:\\sources\\DATA\\New\\File.txt"), c + "/Sources/Data/New/File.txt");
    EXPECT_EQ(HostPath("c:\\sources\\"), c + "/Sources/");
    // An exact match wins over a case-folded one.
    halcyon::test::WriteFile(c + "/Sources/Data/install.swm", "y");
    EXPECT_EQ(HostPath("C:\\Sources\\Data\\install.swm"), c + "/Sources/Data/install.swm");
    EXPECT_EQ(HostPath("C:\\Sources\\Data\\Install.swm"), c + "/Sources/Data/Install.swm");
}

TEST(PathMap, UnsafePartsAreRefused)
{
    for (const char *ok : {"300100", "sources\\data", "a/b", "name..with..dots", "...", ".\\x"})
        EXPECT_TRUE(IsSafeRelativePart(ok)) << ok;
    for (const char *bad : {"", "..", "..\\x", "x\\..", "a\\..\\..\\b", "a/../b", "\\abs", "/abs", "C:\\x", "C:x",
                            "x:", "\\\\server\\share"})
        EXPECT_FALSE(IsSafeRelativePart(bad)) << bad;
}

TEST(PathMap, CaseHelpers)
{
    EXPECT_TRUE(EqualsNoCase("Install.WIM", "INSTALL.wim"));
    EXPECT_FALSE(EqualsNoCase("Install.wim", "Install.wi"));
    EXPECT_FALSE(EqualsNoCase("\xC3\x84", "\xC3\xA4")); // ASCII folding only
    EXPECT_EQ(ToUpperAscii("c:\\abc\xC3\xA4"), "C:\\ABC\xC3\xA4");
    EXPECT_EQ(ToLowerAscii("ABC"), "abc");
}

TEST(PathMap, WildcardMatch)
{
    const struct {
        const char *pattern, *name;
        bool matches;
    } cases[] = {
        {"*.mod", "DRIVER.MOD", true},     {"*.mod", "driver.mod.bak", false}, {"*.*", "noext", true},
        {"*", "", true},                   {"Norv?.nr2", "norv1.NR2", true},    {"Norv?.nr2", "Norv10.nr2", false},
        {"Norv*.nr2", "Norv10.nr2", true}, {"install.*", "install", true},      {"a*b*c", "aXXbYYbc", true},
        {"a*b*c", "aXXbYYb", false},       {"", "x", false},                    {"", "", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " ~ " << c.name;
}

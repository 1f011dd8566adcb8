#include <gtest/gtest.h>

#include <array>
#include <initializer_list>

#include "engine/frame/plan_records.h"
#include "engine/plan/ordered_save.h"
#include "platform/machine.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using halcyon::support::CMemoryIniIO;
using namespace halcyon::test;

namespace {

// Writes (section, key, value) entries in turn.
void WriteEntries(CMemoryIniIO &ini, std::initializer_list<std::array<const char *, 3>> entries)
{
    for (const auto &[section, key, value] : entries)
        ini.WriteString(section, key, value);
}

void WriteModule(CMemoryIniIO &ini, const std::string &s)
{
    const char *keys[][2] = {
        {"ReleaseName", "Tool"},      {"ReleaseID", "300200"}, {"PartType", "Application"},
        {"ModuleType", "Module"},     {"CmdLineArgs", "/q"},   {"PathToRelease", "sources\\data\\300200"},
        {"PartId", "P300200"},        {"InstallerType", "EXE/BATCH"}, {"SetupFile", "setup.bat"},
        {"MajorVersion", "1"},        {"DetailedVersion", "1.0"}, {"BasePlus", "False"},
        {"Recoverable", "True"},      {"Temporary", "False"},  {"TotalSize", "1024"},
    };
    for (auto &kv : keys)
        ini.WriteString(s, kv[0], kv[1]);
}

TEST(ReadModuleRecord, FillsRequiredAndOptionalFields)
{
    CMemoryIniIO ini;
    WriteModule(ini, "1");
    ModuleRecord r;
    ASSERT_EQ(0, ReadModuleRecord("1", &ini, r));
    EXPECT_EQ("Tool", r.ReleaseName);
    EXPECT_EQ("sources\\data\\300200", r.PathToRelease);
    EXPECT_EQ("/q", r.CmdLineArgs);
    EXPECT_EQ("", r.RebootAfter);
    EXPECT_EQ("", r.CustomerLabel);
}

TEST(ReadModuleRecord, EndMissingSectionAndShortValues)
{
    CMemoryIniIO ini;
    WriteModule(ini, "1");
    ini.WriteString("1", "End", "anything");
    ini.WriteString("3", "ReleaseName", "X");
    ModuleRecord r;
    EXPECT_EQ(97, ReadModuleRecord("1", &ini, r)) << "End wins even beside module keys";
    EXPECT_EQ(98, ReadModuleRecord("2", &ini, r)) << "a missing section is incomplete, not the end";
    EXPECT_EQ(26, ReadModuleRecord("1", nullptr, r));

    WriteModule(ini, "4");
    ini.WriteString("4", "ReleaseName", "X");
    r.ReleaseID = "stale";
    EXPECT_EQ(98, ReadModuleRecord("4", &ini, r));
    EXPECT_EQ("", r.ReleaseID) << "record cleared after 98";
}

TEST(ReadModuleRecord, DataModuleMayLackPathToRelease)
{
    CMemoryIniIO ini;
    WriteModule(ini, "1");
    ini.DeleteKey("1", "PathToRelease");
    ModuleRecord r;
    EXPECT_EQ(98, ReadModuleRecord("1", &ini, r));
    ini.WriteString("1", "InstallerType", "data");
    ASSERT_EQ(0, ReadModuleRecord("1", &ini, r));
    EXPECT_EQ(kIniReadError, r.PathToRelease);
}

TEST(ReadModuleRecord, ValueEqualToTheMarkerCountsAsAbsent)
{
    CMemoryIniIO ini;
    WriteModule(ini, "1");
    ini.WriteString("1", "SetupFile", "ini read error!");
    ModuleRecord r;
    EXPECT_EQ(98, ReadModuleRecord("1", &ini, r));
}

class LoadGenericImageTest : public testing::Test {
protected:
    MachineScope machine;
    TempDir media;
    CMemoryIniIO ini;
    std::string name, id, path, file, rel;

    void SetUp() override
    {
        WriteEntries(ini, {{"Image", "ReleaseName", "Win Pro 64"},
                           {"Image", "PathToRelease", "sources\\data\\300100"},
                           {"Image", "ReleaseID", "300100"},
                           {"Image", "BLID", "BL12345678"},
                           {"RecoveryImage", "ReleaseName", "Recovery"},
                           {"RecoveryImage", "PathToRelease", "sources\\data\\300900"},
                           {"RecoveryImage", "ReleaseID", "300900"}});
    }
    std::string Base() const { return media.path() + "/"; }
};

TEST_F(LoadGenericImageTest, FindsNorv1AmongSplitPartsWhateverTheOrder)
{
    for (const char *f : {"Norv3.nr2", "norv1.NR2", "Norv2.nr2", "Norv10.nr2"})
        WriteFile(media / (std::string("sources/data/300100/") + f), "x");
    ASSERT_TRUE(LoadGenericImage(Base(), &ini, name, id, path, file, rel, 0, true));
    EXPECT_EQ("norv1.NR2", file);
    EXPECT_EQ("BL12345678", id);
    EXPECT_EQ("300100", rel);
}

TEST_F(LoadGenericImageTest, OtherPartsOnlyIsFalse)
{
    WriteFile(media / "sources/data/300100/Norv2.nr2", "x");
    EXPECT_FALSE(LoadGenericImage(Base(), &ini, name, id, path, file, rel, 0, true));
    EXPECT_TRUE(LoadGenericImage(Base(), &ini, name, id, path, file, rel, 0, false));
}

TEST_F(LoadGenericImageTest, SystemImageAndRecoveryWim)
{
    WriteFile(media / "sources/data/300100/system.wim", "x");
    ASSERT_TRUE(LoadGenericImage(Base(), &ini, name, id, path, file, rel, 0x200000, true));
    EXPECT_EQ("system.wim", file);

    WriteFile(media / "sources/data/300900/recovery.WIM", "x");
    id = "untouched";
    ASSERT_TRUE(LoadGenericImage(Base(), &ini, name, id, path, file, rel, 0x4, true));
    EXPECT_EQ("recovery.WIM", file);
    EXPECT_EQ("untouched", id) << "the recovery image has no machine ID";
}

TEST_F(LoadGenericImageTest, MachineIdMustBePresent)
{
    ini.DeleteKey("Image", "BLID");
    EXPECT_FALSE(LoadGenericImage(Base(), &ini, name, id, path, file, rel, 0, false));
    ini.WriteString("Image", "BLID", "B");
    EXPECT_FALSE(LoadGenericImage(Base(), &ini, name, id, path, file, rel, 0, false));
}

TEST_F(LoadGenericImageTest, RmidIsReadWhenTheMachineCarriesItInOemString1)
{
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "RMIDOnOEMString1", "True"));
    ini.WriteString("Image", "RMID", "RM42");
    ASSERT_TRUE(LoadGenericImage(Base(), &ini, name, id, path, file, rel, 0, false));
    EXPECT_EQ("RM42", id);
}

TEST(SaveOrderedIniFile, PlanSectionsStandInTheirFixedOrder)
{
    CMemoryIniIO ini;
    WriteEntries(ini, {{"CleanSweep", "CleanSweep", "False"}, {"PartitionInformation", "HDDRecovery", "True"},
                       {"1", "ReleaseName", "m"},             {"2", "End", "True"},
                       {"PE1", "End", "True"},                {"Image App1", "ReleaseName", "app"},
                       {"Image App2", "End", "True"},         {"RecoveryImage", "ReleaseName", "r"},
                       {"Image", "ReleaseName", "i"},         {"IDF", "Series", "s"}});
    TempDir dir;
    ASSERT_TRUE(SaveOrderedIniFile(dir / "halcyon.ini", ini));
    CMemoryIniIO back;
    ASSERT_TRUE(back.LoadFile(dir / "halcyon.ini"));
    std::vector<std::string> expected = {"IDF", "Image", "Image App1", "Image App2", "RecoveryImage", "1", "2",
                                         "PE1", "PartitionInformation", "CleanSweep"};
    EXPECT_EQ(expected, back.SectionNames());
}

} // namespace

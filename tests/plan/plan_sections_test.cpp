// The plan steps one by one: module and image printing with their size
// accounting, OS filtering, the partition section and the data-module
// sections.
#include <gtest/gtest.h>

#include "engine/plan/data_module_sections.h"
#include "engine/plan/partition_information.h"
#include "engine/plan/print_module.h"
#include "engine/plan/recovery_buffer.h"
#include "engine/plan/software_images.h"
#include "engine/plan/software_modules.h"
#include "support/idf/string_list.h"
#include "support/ini/ini_store.h"
#include "tests/common/test_env.h"
#include "tests/plan/plan_idf_builder.h"

namespace halcyon::test {
namespace {

using support::StringList1000;

constexpr uint64_t kBit23 = 0x800000, kBit24 = 0x1000000, kBit25 = 0x2000000, kBit34 = 0x400000000ULL;

support::CXMLNode Node(const Attrs &attrs)
{
    support::CXMLNode n("Software");
    for (const auto &[k, v] : attrs)
        n.AddAttribute(k, v);
    return n;
}

// A module node as the module writer hands it to PrintModule.
support::CXMLNode Printable(const Attrs &changes)
{
    Attrs completed = With(ModuleNode("301", "Mod", "Module", 10, "1000"),
                           {{"VerificationType", "ReturnCode"}, {"VerificationMode", "None"}});
    return Node(With(completed, changes));
}

struct Sums {
    int64_t total = 0, permanent = 0, temporary = 0;
    bool operator==(const Sums &) const = default;
};
std::ostream &operator<<(std::ostream &o, const Sums &s)
{
    return o << "{total " << s.total << ", permanent " << s.permanent << ", temporary " << s.temporary << "}";
}

struct Printed {
    int32_t rc;
    Sums sums;
};
Printed Print(const Attrs &changes, uint64_t options = 0, bool counts = true)
{
    support::CMemoryIniIO store;
    Sums s;
    int32_t rc = plan::PrintModule(Printable(changes), "1", store, s.total, counts, s.permanent, s.temporary, options);
    return {rc, s};
}

TEST(PrintModule, SizeAccounting)
{
    // Temporary / permanent, with and without the small-disk bit.
    EXPECT_EQ((Sums{1000, 0, 1000}), Print({{"Temporary", "True"}}).sums);
    EXPECT_EQ((Sums{2000, 1000, 0}), Print({{"Temporary", "False"}}).sums);
    EXPECT_EQ((Sums{2000, 1000, 0}), Print({{"Temporary", "true_fulfillment"}}).sums);
    EXPECT_EQ((Sums{0, 0, 1000}), Print({{"Temporary", "TRUE"}}, kBit34).sums);
    EXPECT_EQ((Sums{1000, 1000, 0}), Print({{"Temporary", "False"}}, kBit34).sums);
    EXPECT_EQ((Sums{2000, 1000, 0}),
              Print({{"ModuleType", "PE-Module"}, {"InstallerType", "file copy"}}, kBit34).sums);
    EXPECT_EQ((Sums{1000, 1000, 0}), Print({{"ModuleType", "PE-Module"}}, kBit34).sums);
    EXPECT_EQ((Sums{2000, 1000, 0}), Print({{"ModuleType", "PE-Module"}, {"InstallerType", "FILE COPY"}}).sums);

    // Modules that do not count.
    EXPECT_EQ((Sums{}), Print({}, 0, false).sums);
    EXPECT_EQ((Sums{}), Print({{"InstallerType", "DATA"}}).sums);
    EXPECT_EQ((Sums{}), Print({{"BasePlus", "False"}}, kBit23).sums);
    EXPECT_EQ((Sums{2000, 1000, 0}), Print({{"BasePlus", "TRUE"}}, kBit23).sums);
    EXPECT_EQ((Sums{2000, 1000, 0}), Print({{"BasePlus", "False"}}).sums);
}

TEST(PrintModule, BadAttributes)
{
    EXPECT_EQ(8, Print({{"Temporary", "Maybe"}}).rc);
    EXPECT_EQ(0, Print({{"Temporary", "Maybe"}}, 0, false).rc); // not counting: not looked at
    EXPECT_EQ(241, Print({{"TotalSize", ""}}).rc);
    EXPECT_EQ(241, Print({{"TotalSize", ""}}, 0, false).rc);
    EXPECT_EQ(8, Print({{"TotalSize", kDrop}}).rc);
    EXPECT_EQ(8, Print({{"InstallOrderIndex", kDrop}}).rc);
    EXPECT_EQ(0, Print({{"InstallAfterOOBE", kDrop}, {"rebootSetting", kDrop}}).rc);
    // A value the plan file cannot hold is refused rather than written broken.
    EXPECT_EQ(8, Print({{"CustomerDescription", "two\nlines"}}).rc);

    // The keys written before the missing one stay in the store.
    support::CMemoryIniIO store;
    Sums s;
    EXPECT_EQ(8, plan::PrintModule(Printable({{"CustomerLabel", kDrop}}), "4", store, s.total, true, s.permanent,
                                   s.temporary, 0));
    EXPECT_EQ("Mod", std::string(store.GetValue("4", "CustomerDescription")));
    EXPECT_FALSE(store.KeyExists("4", "CustomerLabel"));
    EXPECT_FALSE(store.KeyExists("4", "Recoverable"));
}

class PlanSteps : public ::testing::Test {
protected:
    MachineScope machine;
    TempDir dir{"plan-steps"};
    std::string log = dir / "steps.log";
    support::CMemoryIniIO store;
    Sums sums;
    StringList1000 releases = StringList1000::From({"100", "200", "201", "300", "301", "302", "303", "304", "305"});
    StringList1000 none;

    std::string Save(const TestIdf &idf) { return idf.Save(dir / "t.xml"); }
};

TEST_F(PlanSteps, TwoFoundationNodesWriteIntoOneImageSection)
{
    TestIdf idf;
    idf.Add(With(FoundationNode("100"), {{"RMID", "RM-FIRST"}, {"TotalSize", "1024"}}));
    idf.Add(With(FoundationNode("200"), {{"PartName", "Second"}, {"TotalSize", "2048"}}));
    uint64_t options = 0;
    ASSERT_EQ(0, plan::GetSoftwareImages(Save(idf), releases, none, store, log, sums.total, sums.permanent,
                                         sums.temporary, options, nullptr));
    EXPECT_EQ("Second", std::string(store.GetValue("Image", "ReleaseName")));
    EXPECT_EQ("200", std::string(store.GetValue("Image", "ReleaseID")));
    EXPECT_EQ("RM-FIRST", std::string(store.GetValue("Image", "RMID")));
    EXPECT_EQ("2048", std::string(store.GetValue("Image", "TotalSize")));
    EXPECT_EQ(3072, sums.total);
    EXPECT_EQ(0u, options);
}

TEST_F(PlanSteps, ImageAttributes)
{
    TestIdf idf;
    idf.Add(With(FoundationNode("100"), {{"BitLocker", "TRUE"}, {"RMID", ""}}));
    idf.Add(With(RecoveryNode("200"), {{"TotalSize", ""}}));
    uint64_t options = 0;
    EXPECT_EQ(241, plan::GetSoftwareImages(Save(idf), releases, none, store, log, sums.total, sums.permanent,
                                           sums.temporary, options, nullptr));
    EXPECT_EQ(0x200000u, options);
    EXPECT_FALSE(store.KeyExists("Image", "RMID"));

    TestIdf noBlid;
    noBlid.Add(With(FoundationNode("100"), {{"BLID", kDrop}}));
    support::CMemoryIniIO other;
    EXPECT_EQ(8, plan::GetSoftwareImages(Save(noBlid), releases, none, other, log, sums.total, sums.permanent,
                                         sums.temporary, options, nullptr));
}

TEST_F(PlanSteps, RecoveryImageFilteredByFoundationOs)
{
    TestIdf idf;
    idf.Add(FoundationNode("100", "y"));
    idf.Add(RecoveryNode("200", "x"));
    idf.Add(RecoveryNode("201", "q,Y"));
    std::string path = Save(idf);

    uint64_t options = kBit25;
    std::string os = "unchanged";
    ASSERT_EQ(0, plan::GetSoftwareImages(path, releases, none, store, log, sums.total, sums.permanent,
                                         sums.temporary, options, &os));
    EXPECT_EQ("y", os);
    EXPECT_EQ("201", std::string(store.GetValue("RecoveryImage", "ReleaseID")));
    EXPECT_EQ(2097152 + 524288, sums.total);

    // Without bit 24 or 25 every recovery node is written (the last wins)
    // and the OS holder is left alone.
    support::CMemoryIniIO plain;
    options = 0;
    os = "unchanged";
    Sums s;
    ASSERT_EQ(0, plan::GetSoftwareImages(path, releases, none, plain, log, s.total, s.permanent, s.temporary, options,
                                         &os));
    EXPECT_EQ("unchanged", os);
    EXPECT_EQ("201", std::string(plain.GetValue("RecoveryImage", "ReleaseID")));
    EXPECT_EQ(2097152 + 2 * 524288, s.total);
}

TEST_F(PlanSteps, ApplicationsSetSmallDiskBitOnlyWhenPresent)
{
    TestIdf idf;
    TestRelease &f = idf.Add(FoundationNode("100"));
    f.dataModules = {{"ZRP_SMALLCAPACITYDISK_DATAPART", ""}};
    std::string path = Save(idf);
    uint64_t options = 0;
    ASSERT_EQ(0, plan::GetSoftwareImages(path, releases, none, store, log, sums.total, sums.permanent,
                                         sums.temporary, options, nullptr));
    EXPECT_EQ(0u, options) << "no applications: no small-disk query";
    EXPECT_FALSE(store.SectionExists("Image App1"));

    f.children = {{"150"}};
    idf.Add(With(ApplicationNode("150", "App", 1), {{"InstallOrderIndex", kDrop}}), {});
    path = Save(idf);
    StringList1000 children = StringList1000::From({"150"});
    EXPECT_EQ(8, plan::GetSoftwareImages(path, releases, children, store, log, sums.total, sums.permanent,
                                         sums.temporary, options, nullptr));
    EXPECT_NE(ReadFile(log).find("ERROR: While trying to retrieve image InstallOrderIndex."), std::string::npos);

    idf.releases.back().software[0] = ApplicationNode("150", "App", 1);
    path = Save(idf);
    Sums s;
    ASSERT_EQ(0, plan::GetSoftwareImages(path, releases, children, store, log, s.total, s.permanent, s.temporary,
                                         options, nullptr));
    EXPECT_EQ(kBit34, options);
    EXPECT_EQ("None", std::string(store.GetValue("Image App1", "VerificationType")));
    EXPECT_EQ("True", std::string(store.GetValue("Image App2", "End")));
    EXPECT_EQ(2097152, s.total) << "applications do not count";
}

TEST_F(PlanSteps, ModulesFilteredByOsWithBits24And25)
{
    TestIdf idf;
    idf.Add(With(ModuleNode("300", "MainKept", "Module", 1), {{"OS", "y,X"}}));
    idf.Add(With(ModuleNode("301", "MainDropped", "Module", 2), {{"OS", "y"}}));
    idf.Add(With(ModuleNode("302", "EpcKept", "EPC", 3), {{"OS", "x"}}));
    idf.Add(With(ModuleNode("303", "EpcDropped", "EPC", 4), {{"OS", kDrop}}));
    idf.Add(With(ModuleNode("304", "PeKept", "PE-Module", 5), {{"OS", "X"}}));
    idf.Add(With(ModuleNode("305", "PeDropped", "PE-Module", 6), {{"OS", "z"}}));
    std::string path = Save(idf);

    auto names = [&](uint64_t options) {
        support::CMemoryIniIO s;
        Sums sz;
        EXPECT_EQ(0, plan::GetSoftwareModules(path, releases, s, log, sz.total, sz.permanent, sz.temporary, options,
                                              "X"));
        std::vector<std::string> out;
        for (const std::string &section : s.SectionNames())
            out.push_back(section + ":" + (s.KeyExists(section, "End") ? "End" : s.GetValue(section, "ReleaseName")));
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"1:MainKept", "2:EpcKept", "3:End", "PE1:PeKept", "PE2:End"}), names(kBit24));
    EXPECT_EQ((V{"1:MainKept", "2:MainDropped", "3:EpcKept", "4:End", "PE1:PeKept", "PE2:End"}), names(kBit25));
    EXPECT_EQ((V{"1:MainKept", "2:MainDropped", "3:EpcKept", "4:EpcDropped", "5:End", "PE1:PeKept",
                 "PE2:PeDropped", "PE3:End"}),
              names(0));
}

TEST_F(PlanSteps, ModuleWriterStopsOnMissingAttributes)
{
    for (const char *attribute : {"InstallOrderIndex", "moduleType", "InstallerType", "VerificationPath"}) {
        TestIdf idf;
        idf.Add(ModuleNode("300", "Good", "Module", 1));
        idf.Add(With(ModuleNode("301", "Bad", "Module", 2), {{attribute, kDrop}}));
        support::CMemoryIniIO s;
        Sums sz;
        EXPECT_EQ(8, plan::GetSoftwareModules(Save(idf), releases, s, log, sz.total, sz.permanent, sz.temporary, 0,
                                              ""))
            << attribute;
        EXPECT_FALSE(s.SectionExists("2")) << attribute;
    }
    // No "Module" node at all: nothing, not even terminators.
    TestIdf empty;
    empty.Add(FoundationNode("100"));
    support::CMemoryIniIO s;
    EXPECT_EQ(0, plan::GetSoftwareModules(Save(empty), releases, s, log, sums.total, sums.permanent, sums.temporary,
                                          0, ""));
    EXPECT_TRUE(s.SectionNames().empty());
}

TEST_F(PlanSteps, CleanSweepAndSmallDiskDataModulesChangeOnlyTheSizes)
{
    TestIdf idf;
    TestRelease &r = idf.Add(ModuleNode("300", "Counted", "Module", 1, "1000"));
    idf.Add(With(ModuleNode("301", "NotBasePlus", "Module", 2, "1000"), {{"BasePlus", "False"}}));
    r.dataModules = {{"CleanSweep", ""}, {"ZRP_SMALLCAPACITYDISK_DATAPART", ""}};
    ASSERT_EQ(0, plan::GetSoftwareModules(Save(idf), releases, store, log, sums.total, sums.permanent,
                                          sums.temporary, 0, ""));
    EXPECT_EQ((Sums{1000, 1000, 0}), sums);
    EXPECT_EQ("NotBasePlus", std::string(store.GetValue("2", "ReleaseName")));
}

TEST_F(PlanSteps, PartitionSizes)
{
    TestIdf idf;
    idf.Add(FoundationNode("100"));
    std::string path = Save(idf);
    store.WriteString("Image", "TotalSize", "2097152");

    int64_t total = 3145728, permanent = 524288, temporary = 1023;
    ASSERT_EQ(0, plan::GetPartitionInformation(path, store, log, total, 1000, permanent, temporary, 0));
    EXPECT_EQ("4272MB", std::string(store.GetValue("PartitionInformation", "DynamicRecvPartSize")));
    EXPECT_EQ("512MB", std::string(store.GetValue("PartitionInformation", "PermanentModuleSize")));
    EXPECT_EQ("0MB", std::string(store.GetValue("PartitionInformation", "TemporaryModuleSize")));
    EXPECT_EQ("2048MB", std::string(store.GetValue("PartitionInformation", "ImageSize")));
    EXPECT_EQ("0MB", std::string(store.GetValue("PartitionInformation", "RecoveryImageSize")));
    EXPECT_FALSE(store.KeyExists("PartitionInformation", "BitLocker"));
    EXPECT_NE(ReadFile(log).find("Recovery Partition Size: 4272MB"), std::string::npos);

    support::CMemoryIniIO withBitLocker;
    total = 1023;
    ASSERT_EQ(0, plan::GetPartitionInformation(path, withBitLocker, log, total, 0, permanent, temporary, 0x200000));
    EXPECT_EQ("200MB", std::string(withBitLocker.GetValue("PartitionInformation", "DynamicRecvPartSize")));
    EXPECT_EQ("True", std::string(withBitLocker.GetValue("PartitionInformation", "BitLocker")));
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"HDDRecovery", "True"},
                                                                {"DynamicRecvPart", "True"},
                                                                {"BitLocker", "True"},
                                                                {"DynamicRecvPartSize", "200MB"},
                                                                {"PermanentModuleSize", "512MB"},
                                                                {"TemporaryModuleSize", "0MB"},
                                                                {"ImageSize", "0MB"},
                                                                {"RecoveryImageSize", "0MB"}}),
              withBitLocker.Entries("PartitionInformation"));

    // Sizes beyond 32 bits are written in full.
    EXPECT_EQ(int64_t{4194304} + 1200, plan::RecoveryPartitionMB(int64_t{4294967296}, 1000));
    EXPECT_EQ(int64_t{4294967295} + 200, plan::RecoveryPartitionMB(0, 0xFFFFFFFFu));
}

TEST_F(PlanSteps, PartitionHeaderAttributesRequired)
{
    TestIdf idf;
    idf.header = With(idf.header, {{"DynamicP1", kDrop}});
    ASSERT_EQ(8, plan::GetPartitionInformation(Save(idf), store, log, sums.total, 1000, sums.permanent,
                                               sums.temporary, 0));
    EXPECT_NE(ReadFile(log).find("ERROR: While trying to retrieve DynamicP1"), std::string::npos);
    EXPECT_FALSE(store.KeyExists("PartitionInformation", "DynamicRecvPartSize"));

    support::CMemoryIniIO other;
    EXPECT_NE(0, plan::GetPartitionInformation(dir / "missing.xml", other, log, sums.total, 1000, sums.permanent,
                                               sums.temporary, 0));
    EXPECT_FALSE(other.SectionExists("PartitionInformation"));
}

TEST_F(PlanSteps, RecoveryBuffer)
{
    TestIdf idf;
    TestRelease &r = idf.Add(FoundationNode("100"));
    std::string path = Save(idf);
    uint32_t buffer = 1000;
    ASSERT_EQ(0, plan::GetRecoveryPartitionBufferInfo(path, releases, store, log, 0, buffer));
    EXPECT_EQ(1000u, buffer);
    EXPECT_NE(ReadFile(log).find("Use default recovery buffer"), std::string::npos);

    r.dataModules = {{"ZRP_RECVPARTBUFFER_DATAPART", "500"}};
    path = Save(idf);
    ASSERT_EQ(0, plan::GetRecoveryPartitionBufferInfo(path, releases, store, log, 0, buffer));
    EXPECT_EQ(1500u, buffer);
    EXPECT_NE(ReadFile(log).find("Add recovery buffer size from data part: 500"), std::string::npos);

    // A negative value lowers the buffer but never wraps around.
    r.dataModules = {{"ZRP_RECVPARTBUFFER_DATAPART", "-2000"}};
    path = Save(idf);
    ASSERT_EQ(0, plan::GetRecoveryPartitionBufferInfo(path, releases, store, log, 0, buffer));
    EXPECT_EQ(0u, buffer);

    EXPECT_NE(0, plan::GetRecoveryPartitionBufferInfo(dir / "missing.xml", releases, store, log, 0, buffer));
}

TEST_F(PlanSteps, DataModuleSections)
{
    TestIdf idf;
    TestRelease &r = idf.Add(FoundationNode("100"));
    r.dataModules = {{"ExFunc", "A12"},        {"ZPGM_ELIG_VAL", "a"},        {"ZPGM_ELIG_VAL", "b"},
                     {"ZPGM_ELIG_VAL", ""},    {"ZPGM_ELIG_VAL", "c"},        {"ZRP_BIOSHIB_DATAPART", "8GB"},
                     {"ZRP_GPT_DATAPART", "x"}};
    ASSERT_EQ(0, plan::GetDataModuleInformation(Save(idf), releases, store, log, 0, true, true));
    EXPECT_EQ("FNC-A12", std::string(store.GetValue("ExFuncInformation", "ExFunc")));
    EXPECT_EQ("False", std::string(store.GetValue("CleanSweep", "CleanSweep")));
    EXPECT_EQ("True", std::string(store.GetValue("GPTSupport", "GPTSupport")));
    EXPECT_EQ("False", std::string(store.GetValue("SmallCapacityDisk", "SmallCapacityDisk")));
    EXPECT_EQ("True", std::string(store.GetValue("EnableBIOSHIB", "EnableBIOSHIB")));
    EXPECT_EQ("8GB", std::string(store.GetValue("EnableBIOSHIB", "BIOSHIBPartitionSize")));
    EXPECT_EQ("a,b", std::string(store.GetValue("OptionalInformation", "ZPGM_ELIG_VAL")));

    // Without ExFunc: no [ExFuncInformation]; a first empty value joins to "".
    r.dataModules = {{"ZPGM_ELIG_VAL", ""}, {"ZPGM_ELIG_VAL", "late"}};
    support::CMemoryIniIO fromMcode;
    ASSERT_EQ(0, plan::GetDataModuleInformation(Save(idf), releases, fromMcode, log, 0, false, true));
    EXPECT_FALSE(fromMcode.SectionExists("ExFuncInformation"));
    EXPECT_TRUE(fromMcode.KeyExists("OptionalInformation", "ZPGM_ELIG_VAL"));
    EXPECT_EQ("", std::string(fromMcode.GetValue("OptionalInformation", "ZPGM_ELIG_VAL")));

    r.dataModules = {};
    support::CMemoryIniIO bare;
    ASSERT_EQ(0, plan::GetDataModuleInformation(Save(idf), releases, bare, log, 0, true, true));
    EXPECT_TRUE(bare.KeyExists("ExFuncInformation", "ExFunc"));
    EXPECT_EQ("", std::string(bare.GetValue("ExFuncInformation", "ExFunc")));
    EXPECT_EQ("0MB", std::string(bare.GetValue("EnableBIOSHIB", "BIOSHIBPartitionSize")));
    EXPECT_EQ("NA", std::string(bare.GetValue("OptionalInformation", "ZPGM_ELIG_VAL")));
}

TEST_F(PlanSteps, FailedQueriesLeaveSectionsOutOrStop)
{
    std::string missing = dir / "missing.xml";
    EXPECT_EQ(0, plan::GetGPTSupportInformation(missing, releases, store, log, 0));
    EXPECT_EQ(0, plan::GetBIOSHPInformation(missing, releases, store, log, 0));
    EXPECT_EQ(0, plan::GetIncentiveProgramInformation(missing, releases, store, log));
    EXPECT_TRUE(store.SectionNames().empty());
    EXPECT_NE(0, plan::GetSmallSSDInformation(missing, releases, store, log, 0));
    EXPECT_NE(0, plan::GetDataModuleInformation(missing, releases, store, log, 0, false, true));
    EXPECT_NE(ReadFile(log).find("ERROR: returned 3001 while parsing the IDF file"), std::string::npos);

    // Too many incentive values for the list: reported, section left out.
    TestIdf idf;
    TestRelease &r = idf.Add(FoundationNode("100"));
    for (int i = 0; i < 1001; ++i)
        r.dataModules.emplace_back("ZPGM_ELIG_VAL", "v" + std::to_string(i));
    support::CMemoryIniIO s;
    EXPECT_EQ(0, plan::GetDataModuleInformation(Save(idf), releases, s, log, 0, true, true));
    EXPECT_FALSE(s.SectionExists("OptionalInformation"));
    EXPECT_TRUE(s.SectionExists("EnableBIOSHIB"));

    // A log that cannot be written stops a step with 27.
    std::string badLog = dir / "no-such-folder/x.log";
    EXPECT_EQ(27, plan::GetGPTSupportInformation(missing, releases, store, badLog, 0));
}

} // namespace
} // namespace halcyon::test

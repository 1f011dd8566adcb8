// Whole plans built by MakeIniX and MakeIniFromMcode, compared section by
// section and key by key with hand-written expected plans in golden/.
#include <gtest/gtest.h>

#include "halcyon/HalcyonDLL.h"
#include "tests/plan/plan_idf_builder.h"
#include "tests/common/test_env.h"

namespace halcyon::test {
namespace {

using PlanGolden = PlanBuilderTest;

TestIdf ChainIdf()
{
    TestIdf idf;
    TestRelease &f = idf.Add(With(FoundationNode("100"), {{"BitLocker", "TRUE"}, {"RMID", "RM01"}}));
    f.children = {{"110", "120", "130"}};
    f.dataModules = {{"CleanSweep", ""}};
    idf.Add(ApplicationNode("110", "AppThirty", 30), {});
    idf.Add(ApplicationNode("120", "AppTen", 10), {});
    idf.Add(ApplicationNode("130", "AppTwenty", 20), {});
    idf.Add(RecoveryNode("200"));
    // IDF order differs from install order on purpose.
    idf.Add(With(ModuleNode("304", "Delta", "Module", 40, "512"), {{"rebootSetting", "Before"}}));
    idf.Add(With(ModuleNode("308", "Theta", "OS Add-on Module", 50, "1024"), {{"Temporary", "True"}}));
    idf.Add(With(ModuleNode("301", "Alpha", "Application Module", 10, "1024"),
                 {{"rebootSetting", "After"}, {"InstallerType", "FILE COPY"}, {"VerificationPath", "C:\\Tools\\a.exe"},
                  {"InstallAfterOOBE", "Yes"}}));
    idf.Add(ModuleNode("306", "Zeta", "EPC", 1, "2048"));
    idf.Add(With(ModuleNode("305", "Epsilon", "X-Module", 50, "8192"),
                 {{"rebootSetting", "Later"}, {"InstallerType", "Data"}}));
    idf.Add(With(ModuleNode("303", "Gamma", "Driver Module", 30, "4096"),
                 {{"rebootSetting", "Both"}, {"InstallerType", "EXE"}, {"Temporary", "True_Fulfillment"},
                  {"CustomerLabel", "Q\\*?<>|\"x"}}));
    idf.Add(With(ModuleNode("302", "Beta", "Tool Module", 20, "2048"),
                 {{"rebootSetting", "Before"}, {"VerificationPath", "HKLM\\SOFTWARE\\Test\\Version"},
                  {"CustomerLabel", "a:b/c"}, {"BasePlus", "False"}, {"Temporary", "True"}}));
    idf.Add(ModuleNode("307", "Eta", "Unknown Module", 5));
    return idf;
}

TEST_F(PlanGolden, SampleIdfGivesTheExpectedPlanAndPassesTheCheck)
{
    std::string sample = std::string(HALCYON_SOURCE_DIR) + "/tests/plan/data/";
    EXPECT_EQ(0u, MakeIniX((sample + "nx500.xml").c_str(), (sample + "nx500.bom").c_str(), plan.c_str(), log.c_str(),
                           1000, 0));
    ExpectSamePlan(GoldenPath("nx500.ini"), plan);
}

TEST_F(PlanGolden, RebootChainOrderLabelsSizesAndApplications)
{
    std::string idf = ChainIdf().Save(dir / "chain.xml");
    EXPECT_EQ(0u, MakeIniX(idf.c_str(), bom.c_str(), plan.c_str(), log.c_str(), 1000, 0));
    ExpectSamePlan(GoldenPath("chain.ini"), plan);
}

TEST_F(PlanGolden, FromMcodeFiltersByFoundationOsAndUsesSmallDiskSizes)
{
    TestIdf idf;
    TestRelease &f = idf.Add(FoundationNode("100", "W10P64"));
    f.children = {{"150"}};
    f.dataModules = {{"ZRP_SMALLCAPACITYDISK_DATAPART", ""},
                     {"ZRP_BIOSHIB_DATAPART", "4096MB"},
                     {"ZRP_RECVPARTBUFFER_DATAPART", "500"},
                     {"ExFunc", "A1"}};
    idf.Add(ApplicationNode("150", "Viewer", 5), {});
    idf.Add(RecoveryNode("200", "W11P64"));
    idf.Add(RecoveryNode("201", "w11p64,W10P64"));
    idf.Add(ModuleNode("301", "Main", "Module", 10));
    idf.Add(With(ModuleNode("306", "Temp", "Module", 20, "3072"), {{"Temporary", "True"}}));
    idf.Add(ModuleNode("302", "EpcFive", "EPC", 5, "2048"));
    idf.Add(With(ModuleNode("303", "EpcTen", "EPC", 6, "2048"), {{"OS", "W10P64"}}));
    idf.Add(With(ModuleNode("304", "PeTools", "PE-Module", 1, "4096"),
                 {{"OS", "W11P64,W10P64"}, {"InstallerType", "FILE COPY"}}));
    idf.Add(With(ModuleNode("305", "PeNoOs", "PE-Module", 2), {{"OS", ""}}));
    std::string path = idf.Save(dir / "mcode.xml");

    EXPECT_EQ(0u, MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), 0, nullptr, ""));
    ExpectSamePlan(GoldenPath("mcode_os.ini"), plan);
}

TEST_F(PlanGolden, IdfWithoutModulesIsSavedThenFailsTheCheckWith98)
{
    TestIdf idf;
    idf.Add(FoundationNode("100"));
    std::string path = idf.Save(dir / "bare.xml");
    // No [RecoveryImage] either, but the empty module family decides.
    EXPECT_EQ(98u, MakeIniX(path.c_str(), bom.c_str(), plan.c_str(), log.c_str(), 1000, 0x4000000000ULL));
    ExpectSamePlan(GoldenPath("no_modules.ini"), plan);
}

} // namespace
} // namespace halcyon::test

// The exported plan builders: step failures, the plan file's life, the
// caller's store, option bits and the release merge.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/plan/release_merge.h"
#include "halcyon/HalcyonDLL.h"
#include "support/idf/string_list.h"
#include "support/ini/ini_store.h"
#include "tests/common/test_env.h"
#include "tests/plan/plan_idf_builder.h"

namespace halcyon::test {
namespace {

constexpr uint64_t kAllowNoRecovery = 0x4000000000ULL;
constexpr uint64_t kCheckDefaultImage = 0x2000000000ULL;

class PlanBuilder : public PlanBuilderTest {
protected:
    // Foundation image, one application, recovery image, one module.
    static TestIdf SoundIdf()
    {
        TestIdf idf;
        TestRelease &f = idf.Add(FoundationNode("100"));
        f.children = {{"150"}};
        idf.Add(ApplicationNode("150", "App", 1), {});
        idf.Add(RecoveryNode("200"));
        idf.Add(ModuleNode("300", "Mod", "Module", 1));
        return idf;
    }
    std::string Save(const TestIdf &idf, const std::string &name = "t.xml") { return idf.Save(dir / name); }
    uint32_t MakeX(const std::string &idf, uint64_t options = 0)
    {
        return MakeIniX(idf.c_str(), bom.c_str(), plan.c_str(), log.c_str(), 1000, options);
    }
    std::string Log() { return ReadFile(log); }
};

TEST_F(PlanBuilder, FailingStepKeepsThePreviousPlanAndNamesTheStep)
{
    WriteFile(plan, "[Previous]\nKey=Value\n");
    TestIdf idf = SoundIdf();
    idf.releases.back().software[0] = With(idf.releases.back().software[0], {{"CustomerLabel", kDrop}});
    EXPECT_EQ(8u, MakeX(Save(idf)));
    EXPECT_EQ("[Previous]\nKey=Value\n", ReadFile(plan));
    EXPECT_NE(Log().find("Error: GetSoftwareModules function return error."), std::string::npos);
    EXPECT_EQ(Log().find("MakeIniX End"), std::string::npos);

    EXPECT_EQ(8u, MakeIniFromMcode(plan.c_str(), (dir / "t.xml").c_str(), log.c_str(), 0, nullptr, ""));
    EXPECT_NE(Log().find("Error: error while calling GetSoftwareModules function. Return value: 8"),
              std::string::npos);
    EXPECT_EQ("[Previous]\nKey=Value\n", ReadFile(plan));
}

TEST_F(PlanBuilder, MissingBomFile)
{
    std::string missing = dir / "no-bom.txt";
    EXPECT_EQ(7u, MakeIniX(Save(SoundIdf()).c_str(), missing.c_str(), plan.c_str(), log.c_str(), 1000, 0));
    EXPECT_NE(Log().find("Error: GetComponentPartNumbers function return error."), std::string::npos);
    EXPECT_NE(Log().find("sBomFile: " + missing), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(plan));
}

TEST_F(PlanBuilder, PlanWithoutRecoveryImageIsSavedThenChecked)
{
    TestIdf idf = SoundIdf();
    idf.releases.erase(idf.releases.begin() + 2); // the recovery image
    std::string path = Save(idf);

    EXPECT_EQ(90u, MakeX(path));
    EXPECT_TRUE(std::filesystem::exists(plan));
    EXPECT_NE(Log().find("Error: VerifyIni function return error."), std::string::npos);
    EXPECT_EQ(0u, MakeX(path, kAllowNoRecovery));

    // MakeIniFromMcode checks with options 0: the caller cannot relax it.
    EXPECT_EQ(90u, MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), kAllowNoRecovery, nullptr, ""));
    EXPECT_NE(Log().find("Error: error while calling VerifyIni function. Return value: 90"), std::string::npos);
}

TEST_F(PlanBuilder, CallerStoreKeepsThePlanAlsoAfterAFailingStep)
{
    support::CMemoryIniIO store;
    std::string path = Save(SoundIdf());
    ASSERT_EQ(0u, MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), 0, &store, ""));
    EXPECT_EQ("Mod", std::string(store.GetValue("1", "ReleaseName")));
    EXPECT_EQ("False", std::string(store.GetValue("CleanSweep", "CleanSweep")));
    EXPECT_FALSE(store.SectionExists("McodeInformation"));
    EXPECT_FALSE(store.SectionExists("ExFuncInformation"));

    // A module without TotalSize stops the run after [1] got its first keys.
    TestIdf broken = SoundIdf();
    broken.releases.back().software[0] = With(broken.releases.back().software[0], {{"TotalSize", kDrop}});
    std::string brokenPath = Save(broken, "broken.xml");
    support::CMemoryIniIO partial;
    std::string otherPlan = dir / "other.ini";
    EXPECT_EQ(8u, MakeIniFromMcode(otherPlan.c_str(), brokenPath.c_str(), log.c_str(), 0, &partial, ""));
    EXPECT_FALSE(std::filesystem::exists(otherPlan));
    EXPECT_EQ("TS100", std::string(partial.GetValue("IDF", "Series")));
    EXPECT_EQ("100", std::string(partial.GetValue("Image", "ReleaseID")));
    EXPECT_EQ("Mod", std::string(partial.GetValue("1", "ReleaseName")));
    EXPECT_FALSE(partial.SectionExists("PartitionInformation"));
}

TEST_F(PlanBuilder, RecoveryMediaChecks)
{
    std::string path = Save(SoundIdf());
    std::string media = dir / "nrvhdrcv.ini";

    EXPECT_EQ(116u, MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), 0, nullptr, media.c_str()));
    EXPECT_NE(Log().find("Load nrvhdrcv.ini file failed. (RETURN_MISSING_NRVHDRCVINI)"), std::string::npos);
    EXPECT_NE(Log().find("nrvhdrcv.ini file path: " + media), std::string::npos);

    // An empty path skips both checks, also with bit 37.
    EXPECT_EQ(0u, MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), kCheckDefaultImage, nullptr, ""));

    WriteFile(media, "[MEDIA:1]\nImage=D:\\sources\\sources\\data\\999\\Norv1.nr2\n");
    EXPECT_EQ(0u, MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), 0, nullptr, media.c_str()));
    EXPECT_EQ(114u, MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), kCheckDefaultImage, nullptr,
                                     media.c_str()));
    EXPECT_NE(Log().find("Error: Missing default image."), std::string::npos);

    WriteFile(media, "[MEDIA:1]\nImage=D:\\sources\\sources\\data\\100\\Norv1.nr2\n");
    EXPECT_EQ(0u, MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), kCheckDefaultImage, nullptr,
                                   media.c_str()));
}

TEST_F(PlanBuilder, FormatVersionTurnsOnOsFilteringInMakeIniFromMcode)
{
    auto recoveryKept = [&](const char *version) {
        TestIdf idf = SoundIdf();
        if (version)
            idf.header = With(idf.header, {{"IDFFormatVersion", version}});
        else
            idf.header = With(idf.header, {{"IDFFormatVersion", kDrop}});
        idf.releases[2].software[0] = RecoveryNode("200", "OTHER-OS");
        support::CMemoryIniIO store;
        std::string path = Save(idf, std::string("v") + (version ? version : "none") + ".xml");
        MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), 0, &store, "");
        return store.SectionExists("RecoveryImage");
    };
    EXPECT_FALSE(recoveryKept("1.05.0.20080531.1"));
    EXPECT_FALSE(recoveryKept("1.10.0.1"));
    EXPECT_TRUE(recoveryKept("1.04.9"));
    EXPECT_TRUE(recoveryKept(nullptr));
}

TEST_F(PlanBuilder, MakeIniXIgnoresCallerOsFilterBits)
{
    // MakeIniX has no foundation OS to filter by; a caller's bit 24 or 25
    // must not empty the plan.
    TestIdf idf = SoundIdf();
    idf.releases[3].software[0] = With(idf.releases[3].software[0], {{"OS", "W10P64"}});
    std::string path = Save(idf);
    for (uint64_t bits : {0x1000000ULL, 0x2000000ULL}) {
        support::CMemoryIniIO saved;
        ASSERT_EQ(0u, MakeX(path, bits));
        ASSERT_TRUE(saved.LoadFile(plan));
        EXPECT_EQ("Mod", std::string(saved.GetValue("1", "ReleaseName")));
        EXPECT_TRUE(saved.SectionExists("RecoveryImage"));
    }
}

TEST_F(PlanBuilder, CombinedMcodeRunsSkuMapping)
{
    TestIdf idf = SoundIdf();
    idf.releases[0].dataModules = {{"Create Combined M-Code", ""}};
    idf.mcodes = {{"M-T", {"SKU-T"}}, {"M-T-EXTRA", {"SKU-T", "SKU-EXTRA"}}};
    std::string xml = idf.Xml();
    xml.insert(xml.find("  <Release"), "  <SkuMap From=\"SKU-T\" To=\"SKU-EXTRA\"/>\n");
    std::string path = dir / "combined.xml";
    WriteFile(path, xml);
    ASSERT_EQ(0u, MakeX(path));
    EXPECT_NE(Log().find("GetSkuFromSku End"), std::string::npos);
    support::CMemoryIniIO saved;
    ASSERT_TRUE(saved.LoadFile(plan));
    EXPECT_EQ("M-T", std::string(saved.GetValue("McodeInformation", "MCODE")));
}

TEST_F(PlanBuilder, UnsafeValuesAreRefusedNotWrittenBroken)
{
    TestIdf idf = SoundIdf();
    idf.releases.back().software[0] =
        With(idf.releases.back().software[0], {{"CmdLineArgs", kDrop}, {"CommandLineArguments", "a\nEnd=True"}});
    std::string xml = idf.Xml();
    // Attribute values keep an encoded line break.
    size_t at = xml.find("a\nEnd=True");
    ASSERT_NE(at, std::string::npos);
    xml.replace(at, 10, "a&#10;End=True");
    std::string path = dir / "newline.xml";
    WriteFile(path, xml);
    EXPECT_EQ(8u, MakeX(path));
    EXPECT_FALSE(std::filesystem::exists(plan));
}

TEST(ReleaseMerge, ChildrenAppendedUpTo999Entries)
{
    using support::StringList1000;
    std::vector<std::string> ids;
    for (int i = 0; i < 998; ++i)
        ids.push_back(std::to_string(1000 + i));
    StringList1000 releases = StringList1000::From(ids);
    StringList1000 one = StringList1000::From({"42"});
    ASSERT_EQ(0, plan::MergeChildReleases(releases, one));
    EXPECT_EQ(999u, releases.Count());
    EXPECT_EQ("42", releases[998]);
    EXPECT_EQ("NULL", releases[999]);

    EXPECT_EQ(104, plan::MergeChildReleases(releases, one));

    StringList1000 small = StringList1000::From({"1", "2"});
    StringList1000 dup = StringList1000::From({"2", "3"});
    ASSERT_EQ(0, plan::MergeChildReleases(small, dup));
    EXPECT_EQ((std::vector<std::string>{"1", "2", "2", "3"}), small.Entries());

    StringList1000 lowerEnd = StringList1000::From({"1"});
    lowerEnd[1] = "null"; // the release list's end is found in any case
    ASSERT_EQ(0, plan::MergeChildReleases(lowerEnd, StringList1000::From({"9"})));
    EXPECT_EQ((std::vector<std::string>{"1", "9"}), lowerEnd.Entries());
}

TEST_F(PlanBuilder, TooManyReleasesStopsBothBuilders)
{
    // 999 selected releases plus one child release of the foundation image.
    TestIdf idf;
    TestRelease &f = idf.Add(FoundationNode("100"));
    f.children = {{"150"}};
    idf.Add(ApplicationNode("150", "App", 1), {});
    for (int i = 0; i < 998; ++i)
        idf.Add(ModuleNode(std::to_string(1000 + i), "M", "Module", i));
    std::string path = Save(idf);
    EXPECT_EQ(104u, MakeX(path));
    EXPECT_NE(Log().find("Error: Too many releases."), std::string::npos);
    EXPECT_EQ(104u, MakeIniFromMcode(plan.c_str(), path.c_str(), log.c_str(), 0, nullptr, ""));
    EXPECT_NE(Log().find("Error: there are too many releases. Return value: RETURN_TOO_MANY_RELEASES"),
              std::string::npos);
}

} // namespace
} // namespace halcyon::test

// make-ini, make-ini-from-mcode and plan check: where the plan went and the
// plan check's verdict.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#include "tests/common/halcyon_command.h"
#include "tests/common/test_env.h"

using namespace halcyon;

namespace {

int RunPlanCommand(const std::string &arguments, std::string &output)
{
    return test::RunHalcyon(arguments, output);
}

const std::string kSample = std::string(HALCYON_SOURCE_DIR) + "/tests/plan/data/";

TEST(PlanCommands, BuildersReportThePlanAndItsCheck)
{
    test::MachineScope machine;
    test::TempDir dir("plan-cli");
    std::string plan = dir / "halcyon.ini";
    std::string out;
    ASSERT_EQ(0, RunPlanCommand("make-ini --idf " + kSample + "nx500.xml --bom " + kSample + "nx500.bom --plan " + plan,
                                out))
        << out;
    EXPECT_NE(out.find("Plan written to: " + plan), std::string::npos) << out;
    EXPECT_NE(out.find("Plan check: passed"), std::string::npos) << out;

    out.clear();
    EXPECT_EQ(0, RunPlanCommand("plan check " + plan, out)) << out;
    EXPECT_NE(out.find("Plan check: passed"), std::string::npos) << out;

    // A plan without [RecoveryImage] is saved, and the check's code shown.
    std::string text = test::ReadFile(plan);
    size_t at = text.find("[RecoveryImage]");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 15, "[SomethingElse]");
    test::WriteFile(dir / "edited.ini", text);
    out.clear();
    EXPECT_EQ(1, RunPlanCommand("plan check " + (dir / "edited.ini"), out));
    EXPECT_NE(out.find("Plan check: failed with code 90"), std::string::npos) << out;
    out.clear();
    EXPECT_EQ(0, RunPlanCommand("plan check --allow-no-recovery-image " + (dir / "edited.ini"), out)) << out;

    out.clear();
    std::string mcodePlan = dir / "mcode.ini";
    EXPECT_EQ(0, RunPlanCommand("make-ini-from-mcode --idf " + kSample + "nx500.xml --plan " + mcodePlan, out)) << out;
    EXPECT_NE(out.find("Plan written to: " + mcodePlan), std::string::npos) << out;
}

TEST(PlanCommands, NoPlanWhenAStepFails)
{
    test::MachineScope machine;
    test::TempDir dir("plan-cli");
    std::string plan = dir / "halcyon.ini";
    test::WriteFile(plan, "[Old]\nKey=1\n");
    std::string out;
    EXPECT_EQ(1, RunPlanCommand("make-ini --idf " + (dir / "missing.xml") + " --bom " + kSample + "nx500.bom --plan " +
                                    plan,
                                out));
    EXPECT_NE(out.find("no plan was written"), std::string::npos) << out;
    EXPECT_EQ("[Old]\nKey=1\n", test::ReadFile(plan));

    out.clear();
    EXPECT_EQ(2, RunPlanCommand("make-ini --idf x.xml", out));
    out.clear();
    EXPECT_EQ(1, RunPlanCommand("plan check " + (dir / "none.ini"), out));
}

} // namespace

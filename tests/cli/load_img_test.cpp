// The load-img command: runs the verb and reports its progress and result.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/wim/wim_builder.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/test_env.h"

using namespace halcyon;

namespace {

using test::RunHalcyon;

TEST(LoadImgCommandTest, AppliesWithPlainProgressLinesAndReportsFailures)
{
    test::MachineScope machine;
    test::TempDir dir("load-img-cli");
    support::wim::WimImageSpec spec;
    spec.sourceFolder = dir / "content";
    spec.description = "FOUNDATION IMAGE 1";
    test::WriteFile(dir / "content/readme.txt", "hello\n");
    std::filesystem::create_directories(dir / "src");
    std::filesystem::create_directories(dir / "dst");
    ASSERT_EQ(support::wim::CreateWim(dir / "src/img.wim", spec), 0);
    test::WriteFile(dir / "plan.ini", "[Image]\nReleaseName=R1\n");

    const std::string common = "load-img --plan " + (dir / "plan.ini") + " --source " + (dir / "src") +
                               " --wim img.wim --options 0x8 --log " + (dir / "load.log");
    std::string out;
    ASSERT_EQ(RunHalcyon(common + " --dest " + (dir / "dst"), out), 0) << out;
    EXPECT_NE(out.find("100% ("), std::string::npos) << out; // plain line with the byte figures
    EXPECT_NE(out.find("Image applied."), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(dir / "dst/readme.txt"));

    out.clear();
    EXPECT_EQ(RunHalcyon(common + " --dest " + (dir / "nowhere"), out), 1) << out;
    EXPECT_NE(out.find("LoadImgX failed: 35"), std::string::npos) << out;

    out.clear();
    EXPECT_EQ(RunHalcyon("load-img --source " + (dir / "src"), out), 2) << out;
}

} // namespace

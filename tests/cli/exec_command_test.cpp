// halcyon exec: runs a program as the engine does and prints its exit code.
#include <gtest/gtest.h>

#include <string>

#include "tests/common/halcyon_command.h"
#include "tests/common/exec_script.h"
#include "tests/common/test_env.h"

using namespace halcyon;

namespace {

const test::HalcyonVerb Exec{"exec"};

} // namespace

TEST(ExecCommand, PrintsExitCodeArgvAndStartFailures)
{
    test::TempDir dir("halcyon-exec-cli");
    test::WriteScript(dir / "Install.sh", "for a in \"$@\"; do echo \"[$a]\"; done; exit 9");
    std::string out;
    ASSERT_EQ(Exec("--dir " + dir.path() + R"( install.sh '/s "a b" c\"d')", out), 0) << out;
    EXPECT_EQ(out, "ExecuteProgram Start\n[/s]\n[a b]\n[c\"d]\nExecuteProgram End\nExit code: 9\n");

    ASSERT_EQ(Exec("--dry-run --dir " + dir.path() + R"( install.sh '"unbalanced x')", out), 0) << out;
    EXPECT_NE(out.find("argv[2]: [unbalanced x]"), std::string::npos) << out;

    EXPECT_EQ(Exec("--dir " + dir.path() + " missing.exe", out), 1);
    EXPECT_NE(out.find("ExecuteProgram returned: 2"), std::string::npos) << out;
    EXPECT_EQ(Exec("--dir " + dir.path() + "/gone install.sh", out), 1);
    EXPECT_NE(out.find("ExecuteProgram returned: 3"), std::string::npos) << out;
    EXPECT_EQ(Exec("a b c", out), 2); // parameters must be one text
}

// halcyon exec: runs a program as the engine does and prints its exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/common/exec_script.h"
#include "tests/common/test_env.h"

using namespace halcyon;

namespace {

int Exec(const std::string &arguments, std::string &output)
{
    const char *binDir = std::getenv("HALCYON_TEST_BIN_DIR");
    std::string command =
        std::string(binDir ? binDir : HALCYON_TEST_BIN_DIR) + "/halcyon exec " + arguments + " 2>&1 </dev/null";
    output.clear();
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        output.append(buf, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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

// What the operator's command refuses, and how: unknown options by name,
// usage errors and read-only queries without writing anything, one exit
// status table, runs that are never stuck on what they recorded — and where
// the engine's own console lines go.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tests/common/halcyon_command.h"
#include "tests/common/halcyon_run.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;
using test::ReadFile;
using test::TempDir;

namespace {

struct Expect {
    std::string args; // %w: the test's folder
    int status;
    std::vector<std::string> said; // texts the output holds
    std::vector<std::string> unsaid = {};
};

std::string Fill(std::string text, const std::string &w)
{
    for (size_t at = text.find("%w"); at != std::string::npos; at = text.find("%w", at + w.size()))
        text.replace(at, 2, w);
    return text;
}

// Runs "halcyon ARGS" with its two outputs apart; the exit status.
int RunSplit(const std::string &args, const std::string &dir, std::string &out, std::string &err)
{
    const int status = std::system(("'" + test::HalcyonBinary() + "' " + args + " >'" + dir + "/stdout' 2>'" + dir +
                                    "/stderr' </dev/null")
                                       .c_str());
    out = ReadFile(dir + "/stdout");
    err = ReadFile(dir + "/stderr");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs each case and checks its status and output.
void Check(const std::vector<Expect> &cases, const std::string &w)
{
    for (const Expect &c : cases) {
        std::string out;
        const std::string args = Fill(c.args, w);
        EXPECT_EQ(c.status, test::RunHalcyon(args, out)) << args << "\n" << out;
        for (const auto &text : c.said)
            EXPECT_NE(std::string::npos, out.find(Fill(text, w))) << args << "\n" << out;
        for (const auto &text : c.unsaid)
            EXPECT_EQ(std::string::npos, out.find(Fill(text, w))) << args << "\n" << out;
    }
}

} // namespace

TEST(RunRefusals, UnknownOptionsAndUsageErrorsExitTwoAndWriteNothing)
{
    TempDir w("halcyon-refusals");
    // The default machine lies below HOME; none may appear.
    const std::string home = w / "home";
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("HALCYON_MACHINE");
    ::unsetenv("XDG_STATE_HOME");
    test::WriteFile(w / "p.ini", "[1]\nEnd=True\n");
    Check(
        {
            {"plan check %w/p.ini --bogus", 2, {"unknown option --bogus"}},
            {"plan check --bogus %w/p.ini", 2, {"unknown option --bogus"}},
            {"factory-run --sampel", 2, {"unknown option --sampel (did you mean --sample?)"}},
            {"recovery-run --sample --fersh", 2, {"did you mean --fresh?"}},
            {"factory-run", 2, {"--media DIR or --sample is required"}},
            {"exec --params --x --dry-run", 2, {"usage:"}, {"unknown option"}}, // a value, not an option
            {"--machine %w/r reg add 'HKLM\\SOFTWARE\\T' /v V /d --silent /f", 0, {}}, // the reg tool's syntax
            {"crc check", 2, {"usage:"}},
            {"wim frobnicate", 2, {"usage:"}},
            {"version bogus x", 2, {"usage:"}},
            {"verify", 2, {"usage:"}},
            {"mui select x --id nine", 2, {"usage:"}},
            // Queries of a machine that does not exist.
            {"--machine %w/nosuch reg query 'HKLM\\SOFTWARE'", 1, {"no machine at %w/nosuch"}},
            {"--machine %w/nosuch verify registry --plan %w/p.ini", 1, {"no machine at %w/nosuch"}},
            // Failures are 1, whatever the routine's code.
            {"crc check %w", 1, {"result 2 (manifest missing or unreadable)"}},
            {"wim scramble %w/p.ini --check", 1, {"not a WIM"}, {"scrambled"}},
        },
        w.path());
    // A refused run prints JSON on standard output too.
    std::string out, err;
    EXPECT_EQ(1, RunSplit("factory-run --json --media " + w / "nosuch" + " --machine " + w / "m", w.path(), out, err));
    EXPECT_EQ("{\"schemaVersion\":1,\"result\":1,\"error\":\"the media folder " + w / "nosuch" +
                  " does not exist\"}\n",
              out);
    EXPECT_EQ("halcyon factory-run: the media folder " + w / "nosuch" + " does not exist\n", err);
    EXPECT_EQ(2, RunSplit("factory-run --json --sampel", w.path(), out, err));
    EXPECT_EQ("{\"schemaVersion\":1,\"result\":2,\"error\":\"unknown option --sampel (did you mean --sample?)\"}\n",
              out);
    EXPECT_FALSE(fs::exists(home));
    EXPECT_FALSE(fs::exists(w / "nosuch"));
    EXPECT_EQ(0, RunSplit("--machine " + w / "r" + " reg query 'HKLM\\SOFTWARE\\T' /v V", w.path(), out, err));
    EXPECT_NE(std::string::npos, out.find("--silent")) << out;
    EXPECT_FALSE(fs::exists(w / "m/factory/factory-run.ini")) << "a run that never started records nothing";
    ::unsetenv("HOME");
}

// The default layout from one folder: a run, a fresh start over it (the
// default target lies below the current folder), a resume after the folder's
// media and target are gone (refused, naming --fresh), and --fresh again.
TEST(RunRefusals, AMachineIsNeverStuckOnWhatItRecorded)
{
    TempDir w("halcyon-unstuck"), machines("halcyon-unstuck-m");
    const std::string m = machines / "m";
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"factory-run", "--machine", m});
        fs::remove(w / "run.out");
        return test::WaitHalcyon(test::StartHalcyon(w.path(), args, w / "run.out"));
    };
    EXPECT_EQ(1, run({"--media", w / "nonexistent"}));
    EXPECT_NE(std::string::npos, ReadFile(w / "run.out").find("the media folder " + w / "nonexistent" +
                                                                " does not exist"));
    ASSERT_EQ(0, run({"--sample"})) << ReadFile(w / "run.out");
    ASSERT_EQ(0, run({"--sample", "--fresh"})) << ReadFile(w / "run.out");
    // Never a target that holds the current folder.
    EXPECT_EQ(1, run({"--sample", "--fresh", "--target", w.path()}));
    EXPECT_NE(std::string::npos, ReadFile(w / "run.out").find("--fresh would delete " + w.path() + " whole"));
    EXPECT_TRUE(fs::is_directory(w / "halcyon-sample/target/Windows"));

    // Another machine without the sample's identity: the image refuses it.
    std::string out, err;
    EXPECT_EQ(1, RunSplit("factory-run --json --media '" + (w / "halcyon-sample/media") + "' --machine '" +
                              (machines / "other") + "' --target '" + (machines / "t2") + "'",
                          machines.path(), out, err));
    EXPECT_NE(std::string::npos, out.find("\"failedStage\":\"image\",\"why\":\"It is not same between wim blid and "
                                          "dmi blid.\",\"codeMeaning\":\"the machine's BLID could not be read\""))
        << out;
    EXPECT_NE(std::string::npos, err.find("Stage image failed with code 47 (")) << err;
    EXPECT_NE(std::string::npos, err.find("fails the same way")) << err;
    EXPECT_EQ(std::string::npos, err.find("to resume")) << err;

    fs::remove_all(w / "halcyon-sample");
    EXPECT_EQ(1, run({"--sample"}));
    EXPECT_NE(std::string::npos, ReadFile(w / "run.out").find("which no longer exists; give --fresh"))
        << ReadFile(w / "run.out");
    ASSERT_EQ(0, run({"--sample", "--fresh"})) << ReadFile(w / "run.out");
    // Started again, the finished run reports what it installed, data modules named.
    ASSERT_EQ(0, run({"--sample"})) << ReadFile(w / "run.out");
    for (const char *said : {"modules installed: 8", "data module  Factory Switches"})
        EXPECT_NE(std::string::npos, ReadFile(w / "run.out").find(said)) << ReadFile(w / "run.out");
}

// The engine's console lines go to standard output unless HALCYON_ECHO
// routes them to standard error or turns them off.
TEST(RunRefusals, TheEnginesConsoleLinesFollowHalcyonEcho)
{
    TempDir w("halcyon-echo");
    test::WriteFile(w / "F/a.txt", "a\n");
    std::string out, err;
    ASSERT_EQ(0, RunSplit("crc create " + w / "F", w.path(), out, err)) << err;
    struct Case {
        const char *echo;
        bool onOut, onErr;
    } cases[] = {{"", true, false}, {"stdout", true, false}, {"stderr", false, true}, {"off", false, false}};
    for (const Case &c : cases) {
        ::setenv("HALCYON_ECHO", c.echo, 1);
        EXPECT_EQ(0, RunSplit("crc check " + w / "F", w.path(), out, err)) << c.echo;
        EXPECT_EQ(c.onOut, out.find("Calculated CRC: ") != std::string::npos) << c.echo << ": " << out;
        EXPECT_EQ(c.onErr, err.find("Calculated CRC: ") != std::string::npos) << c.echo << ": " << err;
        EXPECT_NE(std::string::npos, out.find("OK\n")) << c.echo;
    }
    ::unsetenv("HALCYON_ECHO");
}

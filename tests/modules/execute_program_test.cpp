// ExecuteProgram: start failures, exit codes, the child-process wait and its
// log lines; ExpandProgramFilesTokens for every process kind.
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/modules/program_runner.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/process.h"
#include "support/general/general.h"
#include "tests/common/exec_script.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using namespace halcyon::test;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

class ExecuteProgramTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        platform::SetStartHook({});
        support::SetMessagePump({});
    }
    std::string Log() const { return ReadFile(log_); }
    // Runs the script `body` as bg.sh (which leaves children behind) with
    // the child wait of `waitSeconds`; returns the seconds the call took.
    double RunBackground(std::string_view body, uint32_t waitSeconds, uint32_t &code)
    {
        WriteScript(dir_ / "bg.sh", body);
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(::ExecuteProgram(dir_.path().c_str(), "bg.sh", "", 1, waitSeconds, &code, log_.c_str()), 0);
        return Seconds(t0);
    }

    TempDir dir_{"halcyon-exec"};
    std::string log_ = dir_ / "exec.log";
    test::OwnChildrenSnapshots own_;
};

} // namespace

TEST_F(ExecuteProgramTest, HandsBackExitCodesAndLogs)
{
    WriteScript(dir_ / "ok.bat", "exit 0");
    WriteScript(dir_ / "seven.sh", "exit 7");
    std::atomic<int> pumped{0};
    support::SetMessagePump([&] { ++pumped; });
    uint32_t code = 99;
    EXPECT_EQ(::ExecuteProgram(dir_.path().c_str(), "ok.bat", "", 1, 0, &code, log_.c_str()), 0);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(::ExecuteProgram(dir_.path().c_str(), "seven.sh", nullptr, 1, 0, &code, log_.c_str()), 0);
    EXPECT_EQ(code, 7u);
    EXPECT_GE(pumped.load(), 2); // messages are pumped after every program
    const std::string log = Log();
    EXPECT_NE(log.find("ExecuteProgram Start"), std::string::npos);
    EXPECT_NE(log.find("ExecuteProgram End"), std::string::npos);
    // No exit-code pointer is fine too.
    EXPECT_EQ(::ExecuteProgram(dir_.path().c_str(), "ok.bat", "", 1, 0, nullptr, nullptr), 0);
}

TEST_F(ExecuteProgramTest, CodesAboveByteRangeComeThroughTheFake)
{
    platform::SetStartHook([](const platform::StartRequest &r) -> std::optional<platform::FakeStart> {
        if (r.file == "setup.exe")
            return platform::FakeStart{0, false, 3010};
        if (r.file == "active.exe")
            return platform::FakeStart{0, false, platform::STILL_ACTIVE};
        if (r.file == "odd.exe")
            return platform::FakeStart{1234, false, 0};
        if (r.file == "share.exe")
            return platform::FakeStart{platform::SE_ERR_SHARE, false, 0};
        return std::nullopt;
    });
    uint32_t code = 0;
    EXPECT_EQ(::ExecuteProgram(dir_.path().c_str(), "setup.exe", "/s", 1, 0, &code, log_.c_str()), 0);
    EXPECT_EQ(code, 3010u);
    // A program that really ended with 259 does not keep the call spinning.
    EXPECT_EQ(::ExecuteProgram(dir_.path().c_str(), "active.exe", "", 1, 0, &code, log_.c_str()), 0);
    EXPECT_EQ(code, platform::STILL_ACTIVE);
    code = 5;
    EXPECT_EQ(::ExecuteProgram(dir_.path().c_str(), "odd.exe", "", 1, 0, &code, log_.c_str()), -1);
    EXPECT_EQ(::ExecuteProgram(dir_.path().c_str(), "share.exe", "", 1, 0, &code, log_.c_str()), 26);
    EXPECT_EQ(code, 5u);
}

TEST_F(ExecuteProgramTest, StartFailuresStoreNoExitCode)
{
    test::WriteFile(dir_ / "folder/x.txt", "x");
    test::WriteFile(dir_ / "setup.exe", "MZ");
    ::chmod((dir_ / "setup.exe").c_str(), 0644);
    uint32_t code = 12345;
    const char *d = dir_.path().c_str();
    EXPECT_EQ(::ExecuteProgram(d, "missing.exe", "", 1, 0, &code, log_.c_str()), 2);
    EXPECT_EQ(::ExecuteProgram((dir_ / "gone").c_str(), "setup.exe", "", 1, 0, &code, log_.c_str()), 3);
    EXPECT_EQ(::ExecuteProgram(d, "setup.exe", "", 1, 0, &code, log_.c_str()), 5);
    EXPECT_EQ(::ExecuteProgram(d, "folder", "", 1, 0, &code, log_.c_str()), 31);
    EXPECT_EQ(::ExecuteProgram(d, "folder\\x.txt", "", 1, 0, &code, log_.c_str()), 31);
    EXPECT_EQ(::ExecuteProgram(nullptr, nullptr, nullptr, 1, 0, &code, nullptr), 2);
    EXPECT_EQ(code, 12345u);
    // Start failures are the caller's to log.
    EXPECT_EQ(Log().find("ExecuteProgram End"), std::string::npos);
}

TEST_F(ExecuteProgramTest, WaitZeroTakesNoSnapshot)
{
    std::atomic<int> looked{0};
    platform::SetSnapshotFilter([&](const platform::ProcessInfo &) { return ++looked, true; });
    uint32_t code = 1;
    EXPECT_LT(RunBackground("sleep 3 & echo $! > pid.txt", 0, code), 0.9); // neither the pause nor the child wait
    EXPECT_EQ(looked.load(), 0);
    test::KillPidFromFile(dir_ / "pid.txt");
}

TEST_F(ExecuteProgramTest, ChildThatOutlivesTheWaitIsLoggedAndIgnored)
{
    uint32_t code = 1;
    const double took = RunBackground("sleep 5 & echo $! > pid.txt", 1, code);
    EXPECT_EQ(code, 0u);
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 4.0);
    const std::string pid = ReadTrimmed(dir_ / "pid.txt");
    EXPECT_NE(Log().find("Timed out while waiting for child process, PID: " + pid), std::string::npos) << Log();
    EXPECT_NE(Log().find("ExecuteProgram End"), std::string::npos);
    test::KillPidFromFile(dir_ / "pid.txt");
}

TEST_F(ExecuteProgramTest, ChildrenThatEndInTimeAreWaitedFor)
{
    uint32_t code = 1;
    const double took = RunBackground("(sleep 1.4; echo done > child.txt) &", 2, code);
    EXPECT_EQ(ReadTrimmed(dir_ / "child.txt"), "done"); // returned only after the child
    EXPECT_LT(took, 3.0);
    EXPECT_EQ(Log().find("Timed out"), std::string::npos) << Log();
}

TEST_F(ExecuteProgramTest, OverallTimeOutEndsTheWait)
{
    // Each child ends within the per-process limit of 2 s of the one before
    // (1.6 s apart, so a slow start of the wait still finds them in time),
    // together they take over 3 s after the first pause: past the limit
    // even at the whole seconds the clock is read in.
    uint32_t code = 1;
    RunBackground("sleep 2.6 & sleep 4.2 & sleep 5.8 &", 2, code);
    EXPECT_NE(Log().find("Timed out while waiting for child processes, overall timeout"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("Timed out while waiting for child process, PID"), std::string::npos) << Log();
}

TEST_F(ExecuteProgramTest, LogFailureDuringTheWaitIsReturned)
{
    WriteScript(dir_ / "bg.sh", "sleep 4 & echo $! > pid.txt; exit 4");
    const std::string badLog = dir_ / "no/such/folder/exec.log";
    uint32_t code = 0;
    EXPECT_EQ(::ExecuteProgram(dir_.path().c_str(), "bg.sh", "", 1, 1, &code, badLog.c_str()), 27);
    EXPECT_EQ(code, 4u); // the program ran; its code is stored
    test::KillPidFromFile(dir_ / "pid.txt");
}

TEST(ExpandProgramFilesTokens, EveryProcessKind)
{
    struct Case {
        platform::ProcessKind kind;
        const char *in;
        bool ok;
        const char *out;
    };
    const platform::ProcessKind wow64{false, true, 9}, native64{false, false, 9}, native32{false, false, 0},
        arm64{false, false, 12}, failing{true, false, 9};
    const Case cases[] = {
        {wow64, "%PROGRAMFILES32%\\App\\a.exe", true, "%ProgramFiles(x86)%\\App\\a.exe"},
        {wow64, "%PROGRAMFILES64%\\App", true, "%ProgramW6432%\\App"},
        {native64, "%PROGRAMFILES32%\\App", true, "%ProgramFiles(x86)%\\App"},
        {native64, "%PROGRAMFILES64%\\App", true, "%ProgramFiles%\\App"},
        {native32, "%PROGRAMFILES32%\\App", true, "%ProgramFiles%\\App"},
        {native32, "%PROGRAMFILES64%\\App", true, "%ProgramFiles%\\App"},
        {arm64, "%PROGRAMFILES32%\\App", false, "%PROGRAMFILES32%\\App"},
        {arm64, "%PROGRAMFILES64%\\App", true, "%ProgramFiles%\\App"},
        {failing, "%PROGRAMFILES64%\\App", false, "%PROGRAMFILES64%\\App"},
        // Only one kind per call, "%PROGRAMFILES32%" first; all its occurrences.
        {native64, "%PROGRAMFILES64%;%PROGRAMFILES32%;%PROGRAMFILES32%", true,
         "%PROGRAMFILES64%;%ProgramFiles(x86)%;%ProgramFiles(x86)%"},
        // Tokens are case-sensitive; other text is left alone.
        {native64, "%ProgramFiles32%\\App", true, "%ProgramFiles32%\\App"},
        {native64, "C:\\Tools", true, "C:\\Tools"},
    };
    for (const auto &c : cases) {
        platform::SetProcessKind(c.kind);
        std::string out = "stale";
        EXPECT_EQ(modules::ExpandProgramFilesTokens(c.in, out), c.ok) << c.in;
        EXPECT_EQ(out, c.out) << c.in;
    }
    platform::SetProcessKind(std::nullopt);
}

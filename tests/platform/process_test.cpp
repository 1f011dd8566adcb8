// The process layer: argv splitting, shell-style starts and their errors,
// exit codes, waits on children and other processes, snapshots, the fake.
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/process.h"
#include "tests/common/exec_script.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using namespace halcyon::platform;
using halcyon::test::ReadTrimmed;
using halcyon::test::TempDir;
using halcyon::test::WriteScript;
using Args = std::vector<std::string>;

TEST(SplitCommandLine, WindowsRules)
{
    struct Case {
        const char *text;
        Args expected;
    };
    const Case cases[] = {
        {"", {}},
        {" \t ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"  /s   /v  ", {"/s", "/v"}},
        {"\"C:\\Program Files\\x\" /q", {"C:\\Program Files\\x", "/q"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        {"\\\"x\\\"", {"\"x\""}},              // \" is a literal quote
        {"a\\\\\"b c\"", {"a\\b c"}},          // \\" : one backslash, quote acts
        {"a\\\\\\\"b", {"a\\\"b"}},            // \\\" : backslash and literal quote
        {"C:\\dir\\ x", {"C:\\dir\\", "x"}},   // backslashes before no quote stay
        {"\"C:\\dir\\\\\" x", {"C:\\dir\\", "x"}},
        {"\"a\"\"b\"", {"a\"b"}},              // "" inside quotes
        {"\"unbalanced quote here", {"unbalanced quote here"}},
        {"x \"tail ", {"x", "tail "}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SplitCommandLine(c.text), c.expected) << "text: " << c.text;
}

class ProcessTest : public ::testing::Test {
protected:
    void TearDown() override { SetStartHook({}); }

    // Starts and waits; returns the shell error or 0, and the exit code.
    int32_t Run(const std::string &dir, const std::string &file, const std::string &params, uint32_t *code)
    {
        ProcessHandle h;
        int32_t err = ShellExecute(dir, file, params, h);
        if (err != 0)
            return err;
        EXPECT_EQ(h.Wait(-1), WaitResult::Signaled);
        EXPECT_TRUE(h.GetExitCode(code));
        return 0;
    }

    TempDir dir_{"halcyon-proc"};
};

TEST_F(ProcessTest, ExitCodesOfScriptsAndExecutables)
{
    WriteScript(dir_ / "zero.sh", "exit 0", 0644); // scripts need no execute bit
    WriteScript(dir_ / "seven.cmd", "exit 7", 0644);
    WriteScript(dir_ / "tool", "exit 300"); // an executable: 8-bit status
    WriteScript(dir_ / "killed.sh", "kill -9 $$");
    uint32_t code = 99;
    EXPECT_EQ(Run(dir_.path(), "zero.sh", "", &code), 0);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(Run(dir_.path(), "seven.cmd", "", &code), 0);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(Run(dir_.path(), "tool", "", &code), 0);
    EXPECT_EQ(code, 300u % 256);
    EXPECT_EQ(Run(dir_.path(), "killed.sh", "", &code), 0);
    EXPECT_EQ(code, 128u + SIGKILL);
}

TEST_F(ProcessTest, ArgumentsFolderAndCaseInsensitiveLookup)
{
    test::WriteFile(dir_ / "work/.keep", "");
    WriteScript(dir_ / "work/Setup.sh", "pwd > out.txt; for a in \"$@\"; do echo \"[$a]\" >> out.txt; done");
    uint32_t code = 1;
    ASSERT_EQ(Run(dir_ / "work", "SETUP.SH", "/s \"two words\" a\\\"b", &code), 0);
    EXPECT_EQ(code, 0u);
    char real[4096];
    ASSERT_TRUE(::realpath((dir_ / "work").c_str(), real));
    EXPECT_EQ(ReadTrimmed(dir_ / "work/out.txt"), std::string(real) + "\n[/s]\n[two words]\n[a\"b]");

    // A full path runs from anywhere; the working folder is still the one given.
    ASSERT_EQ(Run(dir_ / "work", dir_ / "work/Setup.sh", "", &code), 0);
    EXPECT_EQ(ReadTrimmed(dir_ / "work/out.txt"), std::string(real));
}

TEST_F(ProcessTest, StartFailuresHaveShellErrorValues)
{
    test::WriteFile(dir_ / "sub/readme.txt", "text");
    test::WriteFile(dir_ / "setup.exe", "not executable");
    ::chmod((dir_ / "setup.exe").c_str(), 0644);
    WriteScript(dir_ / "ok.sh", "exit 0");
    ProcessHandle h;
    EXPECT_EQ(ShellExecute(dir_.path(), "missing.exe", "", h), SE_ERR_FNF);
    EXPECT_FALSE(h);
    EXPECT_EQ(ShellExecute(dir_.path(), "", "", h), SE_ERR_FNF);
    EXPECT_EQ(ShellExecute(dir_.path(), "nofolder\\setup.exe", "", h), SE_ERR_PNF);
    EXPECT_EQ(ShellExecute(dir_ / "nofolder", "ok.sh", "", h), SE_ERR_PNF);
    EXPECT_EQ(ShellExecute(dir_.path(), "ok.sh\\x", "", h), SE_ERR_PNF);
    EXPECT_EQ(ShellExecute(dir_.path(), "setup.exe", "", h), SE_ERR_ACCESSDENIED);
    EXPECT_EQ(ShellExecute(dir_.path(), "sub", "", h), SE_ERR_NOASSOC);
    EXPECT_EQ(ShellExecute(dir_.path(), "sub\\readme.txt", "", h), SE_ERR_NOASSOC);
    // An executable file that is no program the kernel knows.
    test::WriteFile(dir_ / "garbage.bin", "\x01\x02garbage");
    ::chmod((dir_ / "garbage.bin").c_str(), 0755);
    EXPECT_EQ(ShellExecute(dir_.path(), "garbage.bin", "", h), SE_ERR_NOASSOC);
    EXPECT_FALSE(h);
}

TEST_F(ProcessTest, TimedWaitsAndStillActive)
{
    WriteScript(dir_ / "slow.sh", "sleep 0.4; exit 3");
    ProcessHandle h;
    ASSERT_EQ(ShellExecute(dir_.path(), "slow.sh", "", h), 0);
    uint32_t code = 0;
    EXPECT_EQ(h.Wait(50), WaitResult::Timeout);
    EXPECT_TRUE(h.GetExitCode(&code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_FALSE(h.HasEnded());
    EXPECT_EQ(h.Wait(5000), WaitResult::Signaled);
    EXPECT_TRUE(h.GetExitCode(&code));
    EXPECT_EQ(code, 3u);
    EXPECT_EQ(ProcessHandle().Wait(10), WaitResult::Failed);
}

TEST_F(ProcessTest, FakeReportsCodesLinuxCannotProduce)
{
    std::vector<StartRequest> seen;
    SetStartHook([&](const StartRequest &r) -> std::optional<FakeStart> {
        seen.push_back(r);
        if (r.file == "reboot.exe")
            return FakeStart{0, false, 3010};
        if (r.file == "busy.exe")
            return FakeStart{0, false, STILL_ACTIVE};
        if (r.file == "locked.exe")
            return FakeStart{SE_ERR_SHARE, false, 0};
        if (r.file == "real.sh")
            return FakeStart{0, true, 3010};
        return std::nullopt;
    });
    WriteScript(dir_ / "real.sh", "echo ran > ran.txt");
    uint32_t code = 0;
    EXPECT_EQ(Run(dir_.path(), "reboot.exe", "/x", &code), 0);
    EXPECT_EQ(code, 3010u);
    EXPECT_EQ(Run(dir_.path(), "busy.exe", "", &code), 0);
    EXPECT_EQ(code, STILL_ACTIVE);
    ProcessHandle h;
    EXPECT_EQ(ShellExecute(dir_.path(), "locked.exe", "", h), SE_ERR_SHARE);
    EXPECT_EQ(Run(dir_.path(), "real.sh", "", &code), 0);
    EXPECT_EQ(code, 3010u);
    EXPECT_EQ(ReadTrimmed(dir_ / "ran.txt"), "ran");
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].parameters, "/x");
    EXPECT_EQ(seen[0].workDir, dir_.path());
}

class ProcessWaitTest : public ProcessTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override { SetPidFdAvailable(GetParam()); }
    void TearDown() override
    {
        SetPidFdAvailable(true);
        ProcessTest::TearDown();
    }
};

INSTANTIATE_TEST_SUITE_P(PidFdAndPolling, ProcessWaitTest, ::testing::Values(true, false));

TEST_P(ProcessWaitTest, TimedWaitOnChild)
{
    WriteScript(dir_ / "slow.sh", "sleep 0.3; exit 5");
    ProcessHandle h;
    ASSERT_EQ(ShellExecute(dir_.path(), "slow.sh", "", h), 0);
    EXPECT_EQ(h.Wait(30), WaitResult::Timeout);
    EXPECT_EQ(h.Wait(5000), WaitResult::Signaled);
    uint32_t code = 0;
    EXPECT_TRUE(h.GetExitCode(&code));
    EXPECT_EQ(code, 5u);
}

TEST_P(ProcessWaitTest, WaitsOnProcessesThatAreNotOurChildren)
{
    // The script leaves a grandchild behind and ends.
    WriteScript(dir_ / "spawn.sh", "sleep 0.5 & echo $! > pid.txt");
    uint32_t code = 1;
    ASSERT_EQ(Run(dir_.path(), "spawn.sh", "", &code), 0);
    pid_t pid = static_cast<pid_t>(std::stol(ReadTrimmed(dir_ / "pid.txt")));
    auto info = ReadProcessInfo(pid);
    for (int i = 0; i < 100 && info && info->name != "sleep"; ++i) { // until the fork has run sleep
        ::usleep(5000);
        info = ReadProcessInfo(pid);
    }
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "sleep");
    EXPECT_NE(info->parentPid, ::getpid());

    // A stale start time means the pid now names another process.
    EXPECT_FALSE(ProcessHandle::Open(pid, info->startTime + 1));
    ProcessHandle h = ProcessHandle::Open(pid, info->startTime);
    ASSERT_TRUE(h);
    uint32_t ignored = 0;
    EXPECT_FALSE(h.GetExitCode(&ignored)); // not ours to read
    EXPECT_EQ(h.Wait(20), WaitResult::Timeout);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(h.Wait(5000), WaitResult::Signaled);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    EXPECT_FALSE(ProcessHandle::Open(0));
}

TEST(ProcessSnapshot, SeesThisProcessAndHonoursTheFilter)
{
    auto all = SnapshotProcesses();
    bool found = false;
    for (size_t i = 0; i < all.size(); ++i) {
        if (i > 0) {
            EXPECT_LT(all[i - 1].pid, all[i].pid);
        }
        if (all[i].pid == ::getpid()) {
            found = true;
            EXPECT_EQ(all[i].parentPid, ::getppid());
            EXPECT_EQ(all[i].processGroup, ::getpgrp());
            EXPECT_GT(all[i].startTime, 0u);
        }
    }
    EXPECT_TRUE(found);
    {
        test::OwnChildrenSnapshots own;
        for (const auto &p : SnapshotProcesses())
            EXPECT_EQ(p.parentPid, ::getpid());
    }
    EXPECT_FALSE(ReadProcessInfo(-1));
}

TEST(ProcessKindQuery, DefaultsAndOverrides)
{
    bool wow64 = true;
    EXPECT_TRUE(IsWow64Process(&wow64));
    EXPECT_FALSE(wow64);
    EXPECT_EQ(NativeProcessorArchitecture(), 9);
    SetProcessKind(ProcessKind{false, true, 0});
    EXPECT_TRUE(IsWow64Process(&wow64));
    EXPECT_TRUE(wow64);
    EXPECT_EQ(NativeProcessorArchitecture(), 0);
    SetProcessKind(ProcessKind{true, false, 9});
    EXPECT_FALSE(IsWow64Process(&wow64));
    SetProcessKind(std::nullopt);
    EXPECT_EQ(NativeProcessorArchitecture(), 9);
}

// Programs started through the shell on Windows: exit codes of .cmd files,
// the shell's errors, the start hook, waits and snapshots.
#include <gtest/gtest.h>

#include "platform/process.h"
#include "windows_api.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using namespace halcyon::test;

namespace {

struct Started {
    int32_t error;
    uint32_t code;
};

Started Start(const std::string &workDir, const std::string &file, const std::string &parameters = {})
{
    platform::ProcessHandle process;
    int32_t error = platform::ShellExecute(workDir, file, parameters, process);
    uint32_t code = 0;
    if (error == 0) {
        EXPECT_EQ(process.Wait(30000), platform::WaitResult::Signaled);
        EXPECT_TRUE(process.GetExitCode(&code));
    }
    return {error, code};
}

} // namespace

TEST(WindowsProcess, ExitCodesAndShellErrors)
{
    TempDir dir("halcyon-process");
    WriteFile(dir.path() + "\\three.cmd", "@exit /b 3\r\n");
    WriteFile(dir.path() + "\\args.cmd", "@if \"%~1\"==\"a b\" exit /b 7\r\n@exit /b 1\r\n");
    struct Case {
        const char *what;
        std::string workDir, file, parameters;
        Started want;
    } cases[] = {
        {"a .cmd file's exit code", dir.path(), "three.cmd", "", {0, 3}},
        {"a full path, quoted parameter", "", dir.path() + "\\args.cmd", "\"a b\"", {0, 7}},
        {"missing file", dir.path(), "absent.cmd", "", {platform::SE_ERR_FNF, 0}},
        {"missing working folder", dir.path() + "\\nowhere", "three.cmd", "", {platform::SE_ERR_PNF, 0}},
        // The same numbers as on the emulated machine for the same input.
        {"no file", dir.path(), "", "", {platform::SE_ERR_FNF, 0}},
        {"file in a missing folder", dir.path(), "nowhere\\three.cmd", "", {platform::SE_ERR_PNF, 0}},
        {"full path in a missing folder", "", dir.path() + "\\nowhere\\three.cmd", "", {platform::SE_ERR_PNF, 0}},
    };
    for (const Case &c : cases) {
        Started got = Start(c.workDir, c.file, c.parameters);
        EXPECT_EQ(got.error, c.want.error) << c.what;
        EXPECT_EQ(got.code, c.want.code) << c.what;
    }
}

TEST(WindowsProcess, StartHookFailsFakesOrReplacesTheCode)
{
    TempDir dir("halcyon-process");
    WriteFile(dir.path() + "\\three.cmd", "@exit /b 3\r\n");
    struct Case {
        platform::FakeStart fake;
        Started want;
    } cases[] = {
        {{platform::SE_ERR_ACCESSDENIED, false, 0}, {platform::SE_ERR_ACCESSDENIED, 0}},
        {{0, false, 9}, {0, 9}},
        {{0, true, 42}, {0, 42}},
    };
    for (const Case &c : cases) {
        platform::SetStartHook([&](const platform::StartRequest &) { return c.fake; });
        Started got = Start(dir.path(), "three.cmd");
        EXPECT_EQ(got.error, c.want.error);
        EXPECT_EQ(got.code, c.want.code);
    }
    platform::SetStartHook({});
}

TEST(WindowsProcess, WaitsAndSnapshots)
{
    platform::ProcessHandle none;
    EXPECT_EQ(none.Wait(0), platform::WaitResult::Failed);

    pid_t self = static_cast<pid_t>(::GetCurrentProcessId());
    auto info = platform::ReadProcessInfo(self);
    ASSERT_TRUE(info.has_value());
    EXPECT_NE(info->startTime, 0u);
    platform::ProcessHandle me = platform::ProcessHandle::Open(self, info->startTime);
    ASSERT_TRUE(me);
    EXPECT_EQ(me.Wait(0), platform::WaitResult::Timeout);
    uint32_t code = 0;
    EXPECT_FALSE(me.GetExitCode(&code)); // not our child
    // Another start time: a pid reused since the snapshot.
    EXPECT_FALSE(platform::ProcessHandle::Open(self, info->startTime + 1));

    bool found = false;
    for (const auto &p : platform::SnapshotProcesses())
        found = found || p.pid == self;
    EXPECT_TRUE(found);
}

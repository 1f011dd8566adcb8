#include "engine/modules/program_runner.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "engine/frame/log.h"
#include "platform/process.h"
#include "support/general/general.h"

namespace halcyon::modules {

namespace {

bool IsTabledShellError(int32_t v)
{
    switch (v) {
    case 2: case 3: case 5: case 8: case 26: case 27: case 28: case 29: case 30: case 31: case 32:
        return true;
    default:
        return false;
    }
}

bool Contains(const ProcessIdList &list, const platform::ProcessInfo &p)
{
    for (const auto &e : list) {
        if (e.pid == static_cast<uint32_t>(p.pid) && e.startTime == p.startTime)
            return true;
    }
    return false;
}

void ReplaceAll(std::string &text, std::string_view from, std::string_view to)
{
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

} // namespace

void SnapshotProcessIds(ProcessIdList &out)
{
    out.clear();
    for (const auto &p : platform::SnapshotProcesses())
        out.push_back(ProcessId{static_cast<uint32_t>(p.pid), p.startTime});
}

int32_t WaitForSetup(const ProcessIdList &before, std::string_view logPath, uint32_t waitSeconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    std::vector<platform::ProcessHandle> handles;
    std::vector<uint32_t> ids;
    for (const auto &p : platform::SnapshotProcesses()) {
        if (Contains(before, p))
            continue;
        // A process that cannot be opened keeps its (invalid) handle: its
        // wait fails at once and the next one is taken.
        handles.push_back(platform::ProcessHandle::Open(p.pid, p.startTime));
        ids.push_back(static_cast<uint32_t>(p.pid));
    }

    const int64_t perProcessMs = static_cast<int64_t>(waitSeconds) * 1000;
    const std::time_t start = std::time(nullptr);
    for (size_t i = 0; i < handles.size(); ++i) {
        platform::WaitResult r = handles[i].Wait(perProcessMs);
        const std::time_t now = std::time(nullptr);
        if (r == platform::WaitResult::Timeout) {
            return WriteLog("Timed out while waiting for child process, PID: " + std::to_string(static_cast<int32_t>(ids[i])),
                            logPath, 1);
        }
        if (now - start > static_cast<std::time_t>(waitSeconds))
            return WriteLog("Timed out while waiting for child processes, overall timeout", logPath, 1);
    }
    return 0;
}

int32_t ExecuteProgram(std::string_view workDir, std::string_view file, std::string_view parameters,
                       int32_t showCommand, uint32_t waitSeconds, uint32_t *exitCode, std::string_view logPath)
{
    (void)showCommand;
    WriteLog("ExecuteProgram Start", logPath, 1);

    ProcessIdList before;
    if (waitSeconds != 0)
        SnapshotProcessIds(before);

    platform::ProcessHandle process;
    int32_t err = platform::ShellExecute(workDir, file, parameters, process);
    if (err != 0)
        return IsTabledShellError(err) ? err : -1;

    process.Wait(-1);
    // The process has ended, so its code is final even when it is 259: the
    // loop cannot spin on a program that really exited with that value.
    uint32_t code = platform::STILL_ACTIVE;
    do {
        support::DoEvents();
        if (!process.GetExitCode(&code))
            code = 0xFFFFFFFFu;
    } while (code == platform::STILL_ACTIVE && !process.HasEnded());
    if (exitCode)
        *exitCode = code;
    process = platform::ProcessHandle(); // release the handle before the child wait

    if (waitSeconds != 0) {
        int32_t r = WaitForSetup(before, logPath, waitSeconds);
        if (r != 0) {
            WriteLog("Error: call WaitForSetup function error.", logPath, 1);
            return r;
        }
    }
    WriteLog("ExecuteProgram End", logPath, 1);
    return 0;
}

bool ExpandProgramFilesTokens(std::string_view in, std::string &out)
{
    out.assign(in);
    bool wow64 = false;
    if (!platform::IsWow64Process(&wow64))
        return false;
    const uint16_t arch = platform::NativeProcessorArchitecture();
    constexpr uint16_t kX86 = 0, kX64 = 9;

    if (out.find("%PROGRAMFILES32%") != std::string::npos) {
        std::string_view replacement;
        if (wow64)
            replacement = "%ProgramFiles(x86)%";
        else if (arch == kX86)
            replacement = "%ProgramFiles%";
        else if (arch == kX64)
            replacement = "%ProgramFiles(x86)%";
        else
            return false;
        ReplaceAll(out, "%PROGRAMFILES32%", replacement);
    } else if (out.find("%PROGRAMFILES64%") != std::string::npos) {
        ReplaceAll(out, "%PROGRAMFILES64%", wow64 ? "%ProgramW6432%" : "%ProgramFiles%");
    }
    return true;
}

} // namespace halcyon::modules

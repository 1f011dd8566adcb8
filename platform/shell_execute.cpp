// ShellExecute: the test hook first, which may settle the call or replace the
// exit code, then the host's start of the program (StartProgram).
#include <mutex>

#include "platform/process.h"
#include "platform/process_internal.h"

namespace halcyon::platform {

namespace {

std::mutex g_hookMutex;
StartHook g_hook;

// The hook's answer to a ShellExecute call: true when it settled the call
// (`*result` to return, `process` a fake or invalid); false to start the
// program, with `*reportedCode` set when the hook replaces its exit code.
bool StartSettledByHook(std::string_view workDir, std::string_view file, std::string_view parameters,
                        ProcessHandle &process, std::optional<uint32_t> *reportedCode, int32_t *result)
{
    StartHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    if (!hook)
        return false;
    auto fake = hook(StartRequest{std::string(workDir), std::string(file), std::string(parameters)});
    if (!fake)
        return false;
    if (fake->shellError != 0) {
        *result = fake->shellError;
        return true;
    }
    if (!fake->runReal) {
        process = ProcessHandleAccess::Fake(fake->exitCode);
        *result = 0;
        return true;
    }
    *reportedCode = fake->exitCode;
    return false;
}

} // namespace

void SetStartHook(StartHook hook)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(hook);
}

int32_t ShellExecute(std::string_view workDir, std::string_view file, std::string_view parameters,
                     ProcessHandle &process)
{
    process = ProcessHandle();
    std::optional<uint32_t> reportedCode;
    if (int32_t settled = 0; StartSettledByHook(workDir, file, parameters, process, &reportedCode, &settled))
        return settled;
    return StartProgram(workDir, file, parameters, reportedCode, process);
}

} // namespace halcyon::platform

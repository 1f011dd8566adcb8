// Internal access to ProcessHandle for the files of the process layer.
#pragma once

#include "platform/process.h"

namespace halcyon::platform {

struct ProcessHandleAccess {
    // A child we started; `reportedCode` replaces its real exit code.
    static ProcessHandle Child(pid_t pid, std::optional<uint32_t> reportedCode);
    // A process that was never started and has "ended" with `code`.
    static ProcessHandle Fake(uint32_t code);
#if defined(_WIN32)
    // A child we started, around the process HANDLE the start gave (owned).
    static ProcessHandle ChildFromHandle(void *process, std::optional<uint32_t> reportedCode);
#endif
};

// The host's part of ShellExecute, once the start hook let the call go on:
// starts the program into `process` (an invalid handle on entry);
// `reportedCode` replaces its exit code when set. 0 or a shell error value.
int32_t StartProgram(std::string_view workDir, std::string_view file, std::string_view parameters,
                     std::optional<uint32_t> reportedCode, ProcessHandle &process);

// pidfd_open(2); -1 with errno when unavailable.
int OpenPidFd(pid_t pid);

} // namespace halcyon::platform

// Running installer programs: start one the way the shell opens it, wait for
// it, hand back its exit code and, when asked, wait for the processes that
// appeared while it ran. Used by the exported ExecuteProgram and by the
// installation verbs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halcyon::modules {

// One process of a snapshot: its ID and start time (so that a reused ID
// does not pass for the old process).
struct ProcessId {
    uint32_t pid = 0;
    uint64_t startTime = 0;
};
using ProcessIdList = std::vector<ProcessId>;

// Empties `out` and fills it from a fresh snapshot, in snapshot order.
void SnapshotProcessIds(ProcessIdList &out);

// Waits for the processes that are not in `before` (after a first pause of
// one second): at most `waitSeconds` each, and stops when more than
// `waitSeconds` have passed overall. A time-out is logged and is no error.
// 0, or the log's code when a time-out line could not be written.
int32_t WaitForSetup(const ProcessIdList &before, std::string_view logPath, uint32_t waitSeconds);

// Starts `file` with `parameters` in `workDir`, waits for it and stores its
// exit code in `*exitCode` (when not null). With `waitSeconds` != 0 the
// processes started meanwhile are waited for too (WaitForSetup).
// 0; a shell error value (2, 3, 5, 8, 26-32) or -1 when the program could
// not be started (nothing stored, nothing logged); else WaitForSetup's code.
// `showCommand` has no meaning for Linux programs and is ignored.
int32_t ExecuteProgram(std::string_view workDir, std::string_view file, std::string_view parameters,
                       int32_t showCommand, uint32_t waitSeconds, uint32_t *exitCode, std::string_view logPath);

// Rewrites the plan tokens "%PROGRAMFILES32%" (which wins when both are
// present) or "%PROGRAMFILES64%" into the Windows variable naming the 32- or
// 64-bit program folder for this process and machine. False (out = in) when
// the process kind cannot be queried or a "%PROGRAMFILES32%" text meets an
// architecture other than x86 and x64.
bool ExpandProgramFilesTokens(std::string_view in, std::string &out);

} // namespace halcyon::modules

// Programs and processes of the emulated machine.
//
// Starting a file the way the Windows shell "opens" it in a working folder:
// an executable file runs directly, ".bat", ".cmd" and ".sh" files run under
// /bin/sh, anything else has no association. Parameters are split into argv
// by the Windows command-line rules and never pass through a shell.
//
// Exit codes: the 8-bit exit status, or 128 + signal number for a process
// killed by a signal. STILL_ACTIVE (259) is what a running process reports.
//
// Process snapshots come from /proc; processes that are not our children are
// waited for through pidfd (polling /proc where pidfd is not available).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "platform/non_copyable.h"

namespace halcyon::platform {

// Shell error values (the hInstApp numbers of a failed shell execute).
constexpr int32_t SE_ERR_FNF = 2;              // file not found
constexpr int32_t SE_ERR_PNF = 3;              // path not found
constexpr int32_t SE_ERR_ACCESSDENIED = 5;     // access denied
constexpr int32_t SE_ERR_OOM = 8;              // out of memory
constexpr int32_t SE_ERR_SHARE = 26;           // sharing violation
constexpr int32_t SE_ERR_ASSOCINCOMPLETE = 27; // association incomplete
constexpr int32_t SE_ERR_DDETIMEOUT = 28;
constexpr int32_t SE_ERR_DDEFAIL = 29;
constexpr int32_t SE_ERR_DDEBUSY = 30;
constexpr int32_t SE_ERR_NOASSOC = 31;         // no association
constexpr int32_t SE_ERR_DLLNOTFOUND = 32;

constexpr uint32_t STILL_ACTIVE = 259;

// Results of waiting on a process (the Windows wait results).
enum class WaitResult : uint32_t {
    Signaled = 0,     // WAIT_OBJECT_0: the process has ended
    Timeout = 258,    // WAIT_TIMEOUT
    Failed = 0xFFFFFFFF // WAIT_FAILED: no process behind the handle
};

// Splits a parameters text into arguments by the Windows command-line rules:
// white space separates arguments outside quotes; '"' toggles quoting; "" in
// a quoted part is a literal quote; 2n backslashes before a quote give n
// backslashes and the quote acts; 2n+1 give n backslashes and a literal
// quote; backslashes not followed by a quote are literal. An unbalanced quote
// runs to the end of the text.
std::vector<std::string> SplitCommandLine(std::string_view parameters);

// One running (or ended) process. Owns what it needs to wait for it (a pidfd,
// or the child's pid until it is reaped) and releases it on destruction.
// A default-constructed handle is invalid: waits on it fail at once.
class ProcessHandle : NonCopyable {
public:
    ProcessHandle() = default;
    ~ProcessHandle();
    ProcessHandle(ProcessHandle &&o) noexcept;
    ProcessHandle &operator=(ProcessHandle &&o) noexcept;

    explicit operator bool() const { return kind_ != Kind::None; }
    pid_t Pid() const { return pid_; }

    // Waits until the process has ended or `timeoutMs` has passed (negative:
    // no limit).
    WaitResult Wait(int64_t timeoutMs);
    // The exit code, STILL_ACTIVE while the process runs. False for an
    // invalid handle, or for a process that is not our child (its code is
    // not ours to read; it still waits fine).
    bool GetExitCode(uint32_t *code);
    // True once the process is known to have ended.
    bool HasEnded();

    // Opens a process that is not necessarily our child, for waiting only.
    // `startTime` (from a snapshot; 0 = do not check) guards against a pid
    // reused since the snapshot. Invalid handle when it cannot be opened.
    static ProcessHandle Open(pid_t pid, uint64_t startTime = 0);

private:
    friend struct ProcessHandleAccess;
    enum class Kind { None, Child, Other, Fake };
    void Close();
    void ReapIfEnded(bool block);
    void TakeFrom(ProcessHandle &o); // o is left invalid
    // The host's part of Wait and HasEnded, for a process started or opened
    // and not yet seen to have ended.
    WaitResult WaitRunning(int64_t timeoutMs);
    bool EndedByNow();

    Kind kind_ = Kind::None;
    pid_t pid_ = 0;
    int pidfd_ = -1;
    uint64_t startTime_ = 0;
    bool ended_ = false;
    uint32_t exitCode_ = STILL_ACTIVE;
    std::optional<uint32_t> reportedCode_; // fake: the code reported at exit
    void *handle_ = nullptr; // the process HANDLE (Windows hosts)
};

// Starts `file` (Windows or host path text) with `parameters` in working
// folder `workDir` (empty: the current folder). A relative file is looked up
// in the working folder, then (bare names only) along PATH. Returns 0 and
// the process, or a shell error value: SE_ERR_FNF missing file,
// SE_ERR_PNF missing folder (working folder or the file's folder),
// SE_ERR_ACCESSDENIED not permitted, SE_ERR_OOM out of resources,
// SE_ERR_NOASSOC neither executable nor a script (folders included).
int32_t ShellExecute(std::string_view workDir, std::string_view file, std::string_view parameters,
                     ProcessHandle &process);

// The program and arguments ShellExecute would run (for logs and tests).
// 0 and `argv` filled, or the shell error value it would return.
int32_t ResolveShellCommand(std::string_view workDir, std::string_view file, std::string_view parameters,
                            std::string &hostWorkDir, std::vector<std::string> &argv);

// Fault injection for tests: the hook sees every ShellExecute call before a
// process is started. Returning nullopt lets the call go on untouched.
struct StartRequest {
    std::string workDir;
    std::string file;
    std::string parameters;
};
struct FakeStart {
    int32_t shellError = 0;  // non-zero: the start fails with this value
    bool runReal = false;    // start the real program, but report exitCode when it ends
    uint32_t exitCode = 0;   // the exit code the process reports
};
using StartHook = std::function<std::optional<FakeStart>(const StartRequest &)>;
void SetStartHook(StartHook hook); // empty function: no hook

// Test hook: with false, pidfd counts as missing from the kernel and waits
// fall back to polling (waitpid for children, /proc for other processes).
void SetPidFdAvailable(bool available);

// A process of a snapshot.
struct ProcessInfo {
    pid_t pid = 0;
    pid_t parentPid = 0;
    pid_t processGroup = 0;
    uint64_t startTime = 0; // clock ticks after boot (/proc/<pid>/stat field 22)
    char state = 0;         // 'R', 'S', 'Z' (ended, not yet reaped), ...
    bool kernelThread = false; // kernel threads never appear in snapshots
    std::string name;       // the comm name
};

// All processes visible in /proc, in ascending pid order (kernel threads
// left out: they are no programs anybody started).
std::vector<ProcessInfo> SnapshotProcesses();
// Test hook: when set, only processes it accepts appear in snapshots.
using SnapshotFilter = std::function<bool(const ProcessInfo &)>;
void SetSnapshotFilter(SnapshotFilter filter);
// Reads one process; nullopt when it does not exist.
std::optional<ProcessInfo> ReadProcessInfo(pid_t pid);

// The kind of the running process and the machine's processor architecture
// as the emulated Windows reports them: by default a native 64-bit process
// on architecture 9 (x64). Tests can set them, or make the query fail.
struct ProcessKind {
    bool queryFails = false;           // IsWow64Process fails
    bool wow64 = false;                // 32-bit process on 64-bit Windows
    uint16_t nativeArchitecture = 9;   // 0 x86, 9 x64, 12 ARM64, ...
};
// IsWow64Process: false when the query fails.
bool IsWow64Process(bool *wow64);
// GetNativeSystemInfo's processor architecture.
uint16_t NativeProcessorArchitecture();
void SetProcessKind(std::optional<ProcessKind> kind); // nullopt: defaults

} // namespace halcyon::platform

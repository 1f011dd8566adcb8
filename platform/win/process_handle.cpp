// Process handles on Windows: the system's process HANDLE, waited for with
// WaitForSingleObject. As on every host, only a process we started tells
// its exit code.
#include "platform/process.h"
#include "platform/process_internal.h"

#include "platform/win/windows_api.h"

namespace halcyon::platform {

namespace {

uint64_t CreationTime(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

} // namespace

ProcessHandle ProcessHandleAccess::Child(pid_t pid, std::optional<uint32_t> reportedCode)
{
    ProcessHandle h;
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return h;
    h.kind_ = ProcessHandle::Kind::Child;
    h.pid_ = pid;
    h.handle_ = process;
    h.reportedCode_ = reportedCode;
    return h;
}

ProcessHandle ProcessHandleAccess::ChildFromHandle(void *process, std::optional<uint32_t> reportedCode)
{
    ProcessHandle h;
    if (!process)
        return h;
    h.kind_ = ProcessHandle::Kind::Child;
    h.pid_ = static_cast<pid_t>(::GetProcessId(static_cast<HANDLE>(process)));
    h.handle_ = process;
    h.reportedCode_ = reportedCode;
    return h;
}

void ProcessHandle::Close()
{
    if (handle_)
        ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    kind_ = Kind::None;
}

void ProcessHandle::ReapIfEnded(bool block)
{
    if (ended_ || !handle_)
        return;
    if (::WaitForSingleObject(static_cast<HANDLE>(handle_), block ? INFINITE : 0) != WAIT_OBJECT_0)
        return;
    ended_ = true;
    DWORD code = 0xFFFFFFFFu;
    if (kind_ == Kind::Child && !::GetExitCodeProcess(static_cast<HANDLE>(handle_), &code))
        code = 0xFFFFFFFFu;
    exitCode_ = reportedCode_ ? *reportedCode_ : code;
}

ProcessHandle ProcessHandle::Open(pid_t pid, uint64_t startTime)
{
    ProcessHandle h;
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return h;
    // A pid reused since the snapshot is another process.
    if (startTime != 0 && CreationTime(process) != startTime) {
        ::CloseHandle(process);
        return h;
    }
    h.kind_ = Kind::Other;
    h.pid_ = pid;
    h.startTime_ = startTime;
    h.handle_ = process;
    return h;
}

WaitResult ProcessHandle::WaitRunning(int64_t timeoutMs)
{
    DWORD ms = timeoutMs < 0 ? INFINITE
               : timeoutMs >= static_cast<int64_t>(INFINITE) ? INFINITE - 1
                                                              : static_cast<DWORD>(timeoutMs);
    DWORD r = ::WaitForSingleObject(static_cast<HANDLE>(handle_), ms);
    if (r == WAIT_TIMEOUT)
        return WaitResult::Timeout;
    if (r != WAIT_OBJECT_0)
        return WaitResult::Failed;
    ReapIfEnded(false);
    return WaitResult::Signaled;
}

bool ProcessHandle::EndedByNow()
{
    ReapIfEnded(false);
    return ended_;
}

// pidfd is a Linux facility.
int OpenPidFd(pid_t) { return -1; }

void SetPidFdAvailable(bool) {}

} // namespace halcyon::platform

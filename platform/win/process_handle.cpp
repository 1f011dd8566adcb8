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

ProcessHandle ProcessHandleAccess::Fake(uint32_t code)
{
    ProcessHandle h;
    h.kind_ = ProcessHandle::Kind::Fake;
    h.ended_ = true;
    h.exitCode_ = code;
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

ProcessHandle::~ProcessHandle() { Close(); }

ProcessHandle::ProcessHandle(ProcessHandle &&o) noexcept
    : kind_(o.kind_), pid_(o.pid_), pidfd_(o.pidfd_), startTime_(o.startTime_), ended_(o.ended_),
      exitCode_(o.exitCode_), reportedCode_(o.reportedCode_), handle_(o.handle_)
{
    o.kind_ = Kind::None;
    o.handle_ = nullptr;
}

ProcessHandle &ProcessHandle::operator=(ProcessHandle &&o) noexcept
{
    if (this != &o) {
        Close();
        kind_ = o.kind_;
        pid_ = o.pid_;
        pidfd_ = o.pidfd_;
        startTime_ = o.startTime_;
        ended_ = o.ended_;
        exitCode_ = o.exitCode_;
        reportedCode_ = o.reportedCode_;
        handle_ = o.handle_;
        o.kind_ = Kind::None;
        o.handle_ = nullptr;
    }
    return *this;
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

WaitResult ProcessHandle::Wait(int64_t timeoutMs)
{
    switch (kind_) {
    case Kind::None:
        return WaitResult::Failed;
    case Kind::Fake:
        return WaitResult::Signaled;
    case Kind::Child:
    case Kind::Other: {
        if (ended_)
            return WaitResult::Signaled;
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
    }
    return WaitResult::Failed;
}

bool ProcessHandle::HasEnded()
{
    switch (kind_) {
    case Kind::None:
        return false;
    case Kind::Fake:
        return true;
    case Kind::Child:
    case Kind::Other:
        ReapIfEnded(false);
        return ended_;
    }
    return false;
}

bool ProcessHandle::GetExitCode(uint32_t *code)
{
    if (!code)
        return false;
    if (kind_ == Kind::Fake) {
        *code = exitCode_;
        return true;
    }
    if (kind_ != Kind::Child)
        return false;
    ReapIfEnded(false);
    *code = ended_ ? exitCode_ : STILL_ACTIVE;
    return true;
}

// pidfd is a Linux facility.
int OpenPidFd(pid_t) { return -1; }

void SetPidFdAvailable(bool) {}

} // namespace halcyon::platform

// The host-neutral part of a process handle: moving it, the handles that
// never ran, and the answers that need no look at the system. The waits
// themselves are the host's (linux/, win/ process_handle.cpp).
#include "platform/process.h"
#include "platform/process_internal.h"

namespace halcyon::platform {

ProcessHandle ProcessHandleAccess::Fake(uint32_t code)
{
    ProcessHandle h;
    h.kind_ = ProcessHandle::Kind::Fake;
    h.ended_ = true;
    h.exitCode_ = code;
    return h;
}

ProcessHandle::~ProcessHandle() { Close(); }

ProcessHandle::ProcessHandle(ProcessHandle &&o) noexcept { TakeFrom(o); }

ProcessHandle &ProcessHandle::operator=(ProcessHandle &&o) noexcept
{
    if (this != &o) {
        Close();
        TakeFrom(o);
    }
    return *this;
}

void ProcessHandle::TakeFrom(ProcessHandle &o)
{
    kind_ = o.kind_;
    pid_ = o.pid_;
    pidfd_ = o.pidfd_;
    startTime_ = o.startTime_;
    ended_ = o.ended_;
    exitCode_ = o.exitCode_;
    reportedCode_ = o.reportedCode_;
    handle_ = o.handle_;
    o.kind_ = Kind::None;
    o.pid_ = 0;
    o.pidfd_ = -1;
    o.handle_ = nullptr;
}

WaitResult ProcessHandle::Wait(int64_t timeoutMs)
{
    if (kind_ == Kind::None)
        return WaitResult::Failed;
    if (kind_ == Kind::Fake || ended_)
        return WaitResult::Signaled;
    return WaitRunning(timeoutMs);
}

bool ProcessHandle::HasEnded()
{
    if (kind_ == Kind::None)
        return false;
    if (kind_ == Kind::Fake)
        return true;
    return EndedByNow();
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

} // namespace halcyon::platform

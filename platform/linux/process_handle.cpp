// Waiting on processes: our children through waitpid (and a pidfd for timed
// waits), other processes through a pidfd, or by polling /proc where pidfd
// is not available.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/process.h"
#include "platform/process_internal.h"

namespace halcyon::platform {

namespace {

using Clock = std::chrono::steady_clock;

uint32_t DecodeStatus(int status)
{
    if (WIFEXITED(status))
        return static_cast<uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return 128u + static_cast<uint32_t>(WTERMSIG(status));
    return 0xFFFFFFFFu;
}

// Waits for `fd` to become readable; true when it did.
bool PollReadable(int fd, int64_t timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (true) {
        int slice = -1;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left < 0)
                left = 0;
            slice = static_cast<int>(left > INT_MAX ? INT_MAX : left);
        }
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, slice);
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            return true; // treat a broken descriptor as ended rather than block forever
        if (r == 0 && timeoutMs >= 0 && Clock::now() >= deadline)
            return false;
    }
}

// True when the process behind `pid` (started at `startTime`, 0 = any) has
// ended: gone from /proc, replaced by another, or a zombie.
bool ProcEntryEnded(pid_t pid, uint64_t startTime)
{
    auto info = ReadProcessInfo(pid);
    if (!info)
        return true;
    if (startTime != 0 && info->startTime != startTime)
        return true;
    return info->state == 'Z' || info->state == 'X';
}

} // namespace

namespace {
std::atomic<bool> g_pidFdAvailable{true};
} // namespace

void SetPidFdAvailable(bool available) { g_pidFdAvailable = available; }

int OpenPidFd(pid_t pid)
{
    if (!g_pidFdAvailable) {
        errno = ENOSYS;
        return -1;
    }
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

ProcessHandle ProcessHandleAccess::Child(pid_t pid, std::optional<uint32_t> reportedCode)
{
    ProcessHandle h;
    h.kind_ = ProcessHandle::Kind::Child;
    h.pid_ = pid;
    h.pidfd_ = OpenPidFd(pid);
    h.reportedCode_ = reportedCode;
    return h;
}

ProcessHandle ProcessHandle::Open(pid_t pid, uint64_t startTime)
{
    ProcessHandle h;
    if (pid <= 0)
        return h;
    int fd = OpenPidFd(pid);
    if (fd < 0 && errno == ESRCH)
        return h;
    // A pid reused since the snapshot is another process: refuse it.
    auto info = ReadProcessInfo(pid);
    if (startTime != 0 && info && info->startTime != startTime) {
        if (fd >= 0)
            ::close(fd);
        return h;
    }
    if (fd < 0 && !info)
        return h;
    h.kind_ = Kind::Other;
    h.pid_ = pid;
    h.pidfd_ = fd;
    h.startTime_ = info ? info->startTime : startTime;
    return h;
}

void ProcessHandle::Close()
{
    if (pidfd_ >= 0)
        ::close(pidfd_);
    pidfd_ = -1;
    // A child still running when its handle goes away is left to run, as a
    // closed handle leaves a process running; its zombie is collected by
    // the next wait on it or by init once we exit.
    if (kind_ == Kind::Child && !ended_)
        ReapIfEnded(false);
    kind_ = Kind::None;
}

void ProcessHandle::ReapIfEnded(bool block)
{
    if (kind_ != Kind::Child || ended_)
        return;
    int status = 0;
    while (true) {
        pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
        if (r == pid_) {
            ended_ = true;
            exitCode_ = reportedCode_ ? *reportedCode_ : DecodeStatus(status);
            return;
        }
        if (r == 0)
            return; // still running
        if (errno == EINTR)
            continue;
        // ECHILD: reaped by someone else; the code is lost.
        ended_ = true;
        exitCode_ = reportedCode_ ? *reportedCode_ : 0xFFFFFFFFu;
        return;
    }
}

WaitResult ProcessHandle::WaitRunning(int64_t timeoutMs)
{
    if (kind_ == Kind::Child) {
        if (timeoutMs < 0) {
            ReapIfEnded(true);
            return WaitResult::Signaled;
        }
        if (pidfd_ >= 0) {
            if (!PollReadable(pidfd_, timeoutMs))
                return WaitResult::Timeout;
            ReapIfEnded(true);
            return WaitResult::Signaled;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            ReapIfEnded(false);
            if (ended_)
                return WaitResult::Signaled;
            if (Clock::now() >= deadline)
                return WaitResult::Timeout;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (pidfd_ >= 0) {
        if (!PollReadable(pidfd_, timeoutMs))
            return WaitResult::Timeout;
        ended_ = true;
        return WaitResult::Signaled;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (true) {
        if (ProcEntryEnded(pid_, startTime_)) {
            ended_ = true;
            return WaitResult::Signaled;
        }
        if (timeoutMs >= 0 && Clock::now() >= deadline)
            return WaitResult::Timeout;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool ProcessHandle::EndedByNow()
{
    if (kind_ == Kind::Child) {
        ReapIfEnded(false);
        return ended_;
    }
    return Wait(0) == WaitResult::Signaled;
}

} // namespace halcyon::platform

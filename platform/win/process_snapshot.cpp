// Process snapshots through the Toolhelp API. Start times are the processes'
// creation times (100-ns ticks since 1601), 0 where the process cannot be
// opened; they tell a reused pid from the process that had it.
#include "platform/process.h"

#include <algorithm>
#include <mutex>

#include "platform/win/wide_text.h"
#include "platform/win/windows_api.h"

namespace halcyon::platform {

namespace {

std::mutex g_filterMutex;
SnapshotFilter g_filter;

uint64_t CreationTime(DWORD pid)
{
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return 0;
    FILETIME created{}, exited{}, kernel{}, user{};
    uint64_t ticks = 0;
    if (::GetProcessTimes(process, &created, &exited, &kernel, &user))
        ticks = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    ::CloseHandle(process);
    return ticks;
}

std::vector<ProcessInfo> AllProcesses()
{
    std::vector<ProcessInfo> out;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = ::Process32FirstW(snap, &entry); ok; ok = ::Process32NextW(snap, &entry)) {
        if (entry.th32ProcessID == 0)
            continue; // the idle process
        ProcessInfo info;
        info.pid = static_cast<pid_t>(entry.th32ProcessID);
        info.parentPid = static_cast<pid_t>(entry.th32ParentProcessID);
        info.processGroup = 0;
        info.startTime = CreationTime(entry.th32ProcessID);
        info.state = 'R';
        info.name = win::Narrow(entry.szExeFile);
        out.push_back(std::move(info));
    }
    ::CloseHandle(snap);
    std::sort(out.begin(), out.end(), [](const ProcessInfo &a, const ProcessInfo &b) { return a.pid < b.pid; });
    return out;
}

} // namespace

std::vector<ProcessInfo> SnapshotProcesses()
{
    std::vector<ProcessInfo> all = AllProcesses();
    SnapshotFilter filter;
    {
        std::lock_guard<std::mutex> lock(g_filterMutex);
        filter = g_filter;
    }
    if (filter)
        all.erase(std::remove_if(all.begin(), all.end(), [&](const ProcessInfo &p) { return !filter(p); }),
                  all.end());
    return all;
}

void SetSnapshotFilter(SnapshotFilter filter)
{
    std::lock_guard<std::mutex> lock(g_filterMutex);
    g_filter = std::move(filter);
}

std::optional<ProcessInfo> ReadProcessInfo(pid_t pid)
{
    for (auto &p : AllProcesses())
        if (p.pid == pid)
            return p;
    return std::nullopt;
}

} // namespace halcyon::platform

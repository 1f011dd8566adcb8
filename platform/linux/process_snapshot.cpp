// Process snapshots from /proc.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "platform/process.h"

namespace halcyon::platform {

namespace {

std::mutex g_filterMutex;
SnapshotFilter g_filter;

struct DirCloser {
    void operator()(DIR *d) const { ::closedir(d); }
};

bool ParsePid(const char *s, pid_t *pid)
{
    if (!*s)
        return false;
    long v = 0;
    for (const char *p = s; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + (*p - '0');
        if (v > 0x7FFFFFFF)
            return false;
    }
    *pid = static_cast<pid_t>(v);
    return v > 0;
}

} // namespace

std::optional<ProcessInfo> ReadProcessInfo(pid_t pid)
{
    if (pid <= 0)
        return std::nullopt;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    // "pid (comm) state ppid pgrp session tty tpgid flags minflt cminflt
    //  majflt cmajflt utime stime cutime cstime priority nice threads
    //  itrealvalue starttime ..."; comm may hold spaces and ')'.
    size_t open = line.find('(');
    size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return std::nullopt;
    ProcessInfo info;
    info.pid = pid;
    info.name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 1));
    std::string field;
    std::vector<std::string> fields;
    while (rest >> field && fields.size() < 20)
        fields.push_back(field);
    // fields[0] = state (field 3), fields[19] = starttime (field 22)
    if (fields.size() < 20)
        return std::nullopt;
    info.state = fields[0].empty() ? '?' : fields[0][0];
    info.parentPid = static_cast<pid_t>(std::strtol(fields[1].c_str(), nullptr, 10));
    info.processGroup = static_cast<pid_t>(std::strtol(fields[2].c_str(), nullptr, 10));
    info.startTime = std::strtoull(fields[19].c_str(), nullptr, 10);
    constexpr unsigned long kKernelThreadFlag = 0x00200000; // PF_KTHREAD
    info.kernelThread = (std::strtoul(fields[6].c_str(), nullptr, 10) & kKernelThreadFlag) != 0;
    return info;
}

std::vector<ProcessInfo> SnapshotProcesses()
{
    SnapshotFilter filter;
    {
        std::lock_guard<std::mutex> lock(g_filterMutex);
        filter = g_filter;
    }
    std::vector<ProcessInfo> out;
    std::unique_ptr<DIR, DirCloser> d(::opendir("/proc"));
    if (!d)
        return out;
    while (dirent *e = ::readdir(d.get())) {
        pid_t pid = 0;
        if (!ParsePid(e->d_name, &pid))
            continue;
        auto info = ReadProcessInfo(pid); // a process that ended meanwhile is left out
        if (!info || info->kernelThread)
            continue;
        if (filter && !filter(*info))
            continue;
        out.push_back(std::move(*info));
    }
    std::sort(out.begin(), out.end(), [](const ProcessInfo &a, const ProcessInfo &b) { return a.pid < b.pid; });
    return out;
}

void SetSnapshotFilter(SnapshotFilter filter)
{
    std::lock_guard<std::mutex> lock(g_filterMutex);
    g_filter = std::move(filter);
}

} // namespace halcyon::platform

#include "tests/common/exec_script.h"

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/process.h"
#include "tests/common/test_env.h"

namespace halcyon::test {

void WriteScript(const std::string &path, std::string_view body, unsigned mode)
{
    WriteFile(path, "#!/bin/sh\n" + std::string(body) + "\n");
    ::chmod(path.c_str(), mode);
}

std::string ReadTrimmed(const std::string &path)
{
    std::string s = ReadFile(path);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

OwnProcessGroupSnapshots::OwnProcessGroupSnapshots()
{
    const pid_t group = ::getpgrp();
    platform::SetSnapshotFilter([group](const platform::ProcessInfo &p) { return p.processGroup == group; });
}

OwnProcessGroupSnapshots::~OwnProcessGroupSnapshots() { platform::SetSnapshotFilter({}); }

void KillPidFromFile(const std::string &pidFile)
{
    std::string text = ReadTrimmed(pidFile);
    long pid = std::strtol(text.c_str(), nullptr, 10);
    if (pid > 1)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

} // namespace halcyon::test

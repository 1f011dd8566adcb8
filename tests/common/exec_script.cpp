#include "tests/common/exec_script.h"

#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

OwnChildrenSnapshots::OwnChildrenSnapshots()
{
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t self = ::getpid();
    platform::SetSnapshotFilter([self](const platform::ProcessInfo &p) { return p.parentPid == self; });
}

OwnChildrenSnapshots::~OwnChildrenSnapshots()
{
    platform::SetSnapshotFilter({});
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    int status = 0;
    while (::waitpid(-1, &status, WNOHANG) > 0) {
    }
}

void KillPidFromFile(const std::string &pidFile)
{
    std::string text = ReadTrimmed(pidFile);
    long pid = std::strtol(text.c_str(), nullptr, 10);
    if (pid > 1)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

} // namespace halcyon::test

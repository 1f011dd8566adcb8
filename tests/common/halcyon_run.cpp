#include "tests/common/halcyon_run.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/common/halcyon_command.h"

namespace halcyon::test {

pid_t StartHalcyon(const std::string &workDir, const std::vector<std::string> &args, const std::string &outputFile)
{
    const std::string bin = HalcyonBinary();
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(bin.c_str()));
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        if (::chdir(workDir.c_str()) != 0)
            ::_exit(126);
        int in = ::open("/dev/null", O_RDONLY);
        int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in < 0 || out < 0)
            ::_exit(126);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::execv(bin.c_str(), argv.data());
        ::_exit(127);
    }
    if (pid > 0)
        ::setpgid(pid, pid);
    return pid;
}

int WaitHalcyon(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void KillHalcyon(pid_t pid)
{
    ::killpg(pid, SIGKILL);
    WaitHalcyon(pid);
}

} // namespace halcyon::test

#include "platform/sleep_inhibitor.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace halcyon::platform {

namespace {

std::string FindProgram(const char *name)
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!dir.empty()) {
            std::string candidate = dir + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return {};
}

bool Disabled()
{
    const char *v = std::getenv("HALCYON_NO_INHIBIT");
    return v && *v && std::string(v) != "0";
}

} // namespace

bool SleepInhibitor::Acquire(std::string_view reason)
{
    if (Held())
        return true;
    if (Disabled())
        return false;
    std::string inhibit = FindProgram("systemd-inhibit");
    std::string cat = FindProgram("cat");
    if (inhibit.empty() || cat.empty())
        return false;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    ::posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    std::vector<std::string> args = {inhibit, "--what=sleep:idle", "--who=Halcyon",
                                     "--why=" + std::string(reason), "--mode=block", cat};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (rc != 0) {
        ::close(fds[1]);
        return false;
    }
    pid_ = pid;
    pipeWrite_ = fds[1];
    return true;
}

void SleepInhibitor::Release()
{
    if (pipeWrite_ >= 0)
        ::close(pipeWrite_);
    pipeWrite_ = -1;
    if (pid_ <= 0)
        return;
    // The helper ends once its input closes; give it a moment, then insist.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int status = 0;
    while (true) {
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR))
            break;
        if (r == 0 && std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGTERM);
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        if (r == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
}

} // namespace halcyon::platform

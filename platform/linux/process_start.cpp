// Starting a file the way the shell "opens" it: executables directly,
// ".bat", ".cmd" and ".sh" under /bin/sh, never through a shell command line.
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path_map.h"
#include "platform/process.h"
#include "platform/process_internal.h"
#include "platform/non_copyable.h"

extern char **environ;

namespace halcyon::platform {

namespace {

bool IsDirectory(const std::string &p)
{
    struct stat st{};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Absolute(const std::string &p)
{
    if (p.empty() || p[0] == '/')
        return p;
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf))
        return p;
    std::string cwd(buf);
    return cwd == "/" ? "/" + p : cwd + "/" + p;
}

std::string ParentOf(const std::string &p)
{
    size_t slash = p.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return p.substr(0, slash);
}

std::string Extension(const std::string &hostPath)
{
    size_t slash = hostPath.find_last_of('/');
    std::string name = slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : ToLowerAscii(name.substr(dot + 1));
}

bool IsBareName(std::string_view file)
{
    return file.find_first_of("/\\:") == std::string_view::npos;
}

bool IsAbsoluteText(std::string_view file)
{
    return (!file.empty() && (file[0] == '/' || file[0] == '\\')) || HasDrive(file);
}

// A bare program name along PATH; empty when not found.
std::string SearchPath(std::string_view name)
{
    const char *path = std::getenv("PATH");
    if (!path)
        return {};
    std::string_view rest(path);
    while (true) {
        size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        if (dir.empty())
            dir = ".";
        std::string candidate = dir + "/" + std::string(name);
        struct stat st{};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return {};
}

int32_t ShellErrorFromErrno(int err)
{
    switch (err) {
    case ENOENT:
    case ENAMETOOLONG:
    case ELOOP:
        return SE_ERR_FNF;
    case ENOTDIR:
        return SE_ERR_PNF;
    case EACCES:
    case EPERM:
        return SE_ERR_ACCESSDENIED;
    case ENOMEM:
    case EAGAIN:
    case E2BIG:
        return SE_ERR_OOM;
    case ETXTBSY:
        return SE_ERR_SHARE;
    case ENOEXEC:
        return SE_ERR_NOASSOC;
    default:
        return -1;
    }
}

// posix_spawn attributes that give the program default signal handling and
// an empty signal mask, whatever the caller had.
struct SpawnSetup : NonCopyable {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    bool attrOk = false;
    bool actionsOk = false;
    SpawnSetup()
    {
        attrOk = ::posix_spawnattr_init(&attr) == 0;
        actionsOk = ::posix_spawn_file_actions_init(&actions) == 0;
    }
    ~SpawnSetup()
    {
        if (attrOk)
            ::posix_spawnattr_destroy(&attr);
        if (actionsOk)
            ::posix_spawn_file_actions_destroy(&actions);
    }
};

} // namespace

int32_t ResolveShellCommand(std::string_view workDir, std::string_view fileText, std::string_view parameters,
                            std::string &hostWorkDir, std::vector<std::string> &argv)
{
    argv.clear();
    hostWorkDir.clear();
    std::string_view file = fileText;
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
        file = file.substr(1, file.size() - 2);
    if (!workDir.empty()) {
        hostWorkDir = Absolute(HostPath(workDir));
        if (!IsDirectory(hostWorkDir))
            return SE_ERR_PNF;
    }
    if (file.empty())
        return SE_ERR_FNF;

    std::string host;
    if (IsAbsoluteText(file) || workDir.empty()) {
        host = HostPath(file);
    } else {
        std::string joined(workDir);
        if (joined.back() != '\\' && joined.back() != '/')
            joined += '\\';
        joined += file;
        host = HostPath(joined);
    }
    struct stat st{};
    if (::stat(host.c_str(), &st) != 0) {
        int err = errno;
        if (err == ENOENT && IsBareName(file)) {
            std::string found = SearchPath(file);
            if (!found.empty() && ::stat(found.c_str(), &st) == 0) {
                host = found;
                err = 0;
            }
        }
        if (err == ENOENT)
            return IsDirectory(ParentOf(host)) ? SE_ERR_FNF : SE_ERR_PNF;
        if (err != 0)
            return ShellErrorFromErrno(err);
    }
    if (S_ISDIR(st.st_mode))
        return SE_ERR_NOASSOC;
    host = Absolute(host);

    std::vector<std::string> args = SplitCommandLine(parameters);
    const std::string ext = Extension(host);
    if (ext == "bat" || ext == "cmd" || ext == "sh") {
        if (::access(host.c_str(), R_OK) != 0)
            return SE_ERR_ACCESSDENIED;
        argv.push_back("/bin/sh");
        argv.push_back(host);
    } else if ((st.st_mode & 0111) != 0 || ext == "exe" || ext == "com") {
        if (!S_ISREG(st.st_mode))
            return SE_ERR_NOASSOC;
        if (::access(host.c_str(), X_OK) != 0)
            return SE_ERR_ACCESSDENIED;
        argv.push_back(host);
    } else {
        return SE_ERR_NOASSOC;
    }
    for (auto &a : args)
        argv.push_back(std::move(a));
    return 0;
}

int32_t StartProgram(std::string_view workDir, std::string_view file, std::string_view parameters,
                     std::optional<uint32_t> reportedCode, ProcessHandle &process)
{
    std::string hostWorkDir;
    std::vector<std::string> argv;
    if (int32_t err = ResolveShellCommand(workDir, file, parameters, hostWorkDir, argv))
        return err;

    SpawnSetup setup;
    if (!setup.attrOk || !setup.actionsOk)
        return SE_ERR_OOM;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&setup.attr, &none);
    ::posix_spawnattr_setsigdefault(&setup.attr, &all);
    ::posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (!hostWorkDir.empty() && ::posix_spawn_file_actions_addchdir_np(&setup.actions, hostWorkDir.c_str()) != 0)
        return SE_ERR_OOM;

    std::vector<char *> cargv;
    cargv.reserve(argv.size() + 1);
    for (auto &a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);

    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, cargv[0], &setup.actions, &setup.attr, cargv.data(), environ);
    if (rc != 0)
        return ShellErrorFromErrno(rc);
    process = ProcessHandleAccess::Child(pid, reportedCode);
    return 0;
}

} // namespace halcyon::platform

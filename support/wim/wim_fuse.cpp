// The FUSE side of WIM mounts on Linux: /proc/self/mountinfo, /dev/fuse and
// the mount daemon started in a child process.
#include "support/wim/wim_fuse.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wimlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/wim/wim_api.h"
#include "support/wim/wimlib_session.h"

namespace halcyon::support::wim {

namespace {

// Undoes the octal escapes of /proc/self/mountinfo ("\040" for a blank).
std::string Unescape(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string oct = s.substr(i + 1, 3);
            if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string::npos) {
                out.push_back(static_cast<char>(std::stoi(oct, nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

} // namespace

// The file-system type mounted at `folder`, empty when none.
std::string MountType(const std::string &folder)
{
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, point;
        fields >> id >> parent >> dev >> root >> point;
        if (Unescape(point) != folder)
            continue;
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            continue;
        std::istringstream rest(line.substr(dash + 3));
        std::string type;
        rest >> type;
        found = type; // the last mount over the folder is the visible one
    }
    return found;
}

bool FuseDeviceUsable()
{
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Mounts read-only in a child process: wimlib daemonizes, and the child
// returns once the mount is in place. True when the folder then shows the
// mount.
bool TryFuseMount(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                  const std::string &stagingFolder)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // Only the mount daemon's own descriptors may stay open in it.
        if (::close_range(3, ~0u, 0) != 0) {
            for (int fd = 3; fd < 4096; ++fd)
                ::close(fd);
        }
        EnsureWimlibReady();
        WIMStruct *wim = nullptr;
        int ret = wimlib_open_wim(wimPath.c_str(), 0, &wim);
        if (ret == 0)
            ret = wimlib_mount_image(wim, static_cast<int>(index), mountFolder.c_str(), 0,
                                     stagingFolder.empty() ? nullptr : stagingFolder.c_str());
        // Reached in the daemon after the unmount, or on an early failure.
        ::_exit(ret == 0 ? 0 : 100 + (ret & 0x7F));
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    if (MountType(mountFolder) == "fuse.wimfs")
        return true;
    // Reported as mounted but not seen where asked: leave nothing behind.
    FuseUnmount(mountFolder);
    return false;
}

int FuseUnmount(const std::string &mountFolder) { return wimlib_unmount_image(mountFolder.c_str(), 0); }

bool WimMountOffered() { return true; }

} // namespace halcyon::support::wim

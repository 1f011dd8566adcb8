#include "support/wim/wim_mount.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wimlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "support/wim/wim_api.h"
#include "support/wim/wimlib_session.h"

namespace fs = std::filesystem;

namespace halcyon::support::wim {

namespace {

enum class MountKind { Fuse, Extracted };

struct MountRecord {
    MountKind kind;
    std::string wimPath; // canonical
};

std::mutex g_mountMutex;
std::map<std::string, MountRecord> g_mounts; // by canonical mount folder

int g_fuseAllowed = -1; // -1: not decided yet

std::string Canonical(const std::string &path)
{
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    std::string s = (ec ? fs::path(path) : p).string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

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

bool FuseUsable()
{
    if (g_fuseAllowed >= 0)
        return g_fuseAllowed != 0;
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
    wimlib_unmount_image(mountFolder.c_str(), 0);
    return false;
}

// Removes everything below `folder`, keeping the folder.
bool ClearFolder(const std::string &folder, std::string &text)
{
    std::error_code ec;
    // Folders laid down without write permission must become writable to
    // be emptied.
    for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sec;
        if (it->is_directory(sec) && !it->is_symlink(sec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, sec);
    }
    ec.clear();
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        std::error_code rec;
        fs::remove_all(entry.path(), rec);
        if (rec) {
            text = "cannot remove " + entry.path().string() + ": " + rec.message();
            return false;
        }
    }
    if (ec) {
        text = "cannot read " + folder + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace

void SetFuseMountAllowed(bool allowed)
{
    std::lock_guard<std::mutex> lock(g_mountMutex);
    g_fuseAllowed = allowed ? 1 : 0;
}

bool FuseMountAllowed()
{
    std::lock_guard<std::mutex> lock(g_mountMutex);
    return FuseUsable();
}

bool IsWimFuseMount(const std::string &hostFolder)
{
    return MountType(Canonical(hostFolder)) == "fuse.wimfs";
}

bool MountWimImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                   const std::string &tempFolder, uint32_t &error, std::string &text)
{
    std::error_code ec;
    if (mountFolder.empty() || !fs::is_directory(mountFolder, ec)) {
        error = WIM_ERROR_PATH_NOT_FOUND;
        text = "mount folder " + mountFolder + " does not exist";
        return false;
    }
    if (wimPath.empty() || !fs::is_regular_file(wimPath, ec)) {
        error = WIM_ERROR_FILE_NOT_FOUND;
        text = "image file " + wimPath + " does not exist";
        return false;
    }
    if (index == 0) {
        error = WIM_ERROR_INVALID_INDEX;
        text = "image index 0";
        return false;
    }
    const std::string folder = Canonical(mountFolder);
    const std::string wim = Canonical(wimPath);
    {
        std::lock_guard<std::mutex> lock(g_mountMutex);
        if (g_mounts.count(folder) || !MountType(folder).empty()) {
            error = WIM_ERROR_ALREADY_EXISTS;
            text = folder + " is already a mount point";
            return false;
        }
    }
    // Opening the image first gives a clear error for a bad file or index
    // before either way of mounting is tried.
    EnsureWimlibReady();
    WIMStruct *handle = nullptr;
    errno = 0;
    int ret = wimlib_open_wim(wim.c_str(), 0, &handle);
    bool unixData = false;
    if (ret == 0) {
        struct wimlib_wim_info info {};
        wimlib_get_wim_info(handle, &info);
        ret = index > info.image_count ? WIMLIB_ERR_INVALID_IMAGE
                                       : ImageHasUnixData(handle, static_cast<int>(index), unixData);
    }
    if (ret != 0) {
        error = MapWimlibError(ret, errno);
        text = "cannot mount image " + std::to_string(index) + " of " + wim + ": wimlib: " + WimlibErrorText(ret);
        if (handle)
            wimlib_free(handle);
        return false;
    }

    bool useFuse = false;
    {
        std::lock_guard<std::mutex> lock(g_mountMutex);
        useFuse = FuseUsable();
    }
    MountKind kind = MountKind::Extracted;
    if (useFuse && TryFuseMount(folder, wim, index, tempFolder)) {
        kind = MountKind::Fuse;
    } else {
        const std::vector<std::pair<WimMessageCallback, void *>> none;
        if (!ExtractImage(handle, index, unixData, folder, none, error, text)) {
            std::string ignored;
            ClearFolder(folder, ignored);
            wimlib_free(handle);
            return false;
        }
    }
    wimlib_free(handle);
    std::lock_guard<std::mutex> lock(g_mountMutex);
    g_mounts[folder] = MountRecord{kind, wim};
    return true;
}

bool UnmountWimImage(const std::string &mountFolder, const std::string &wimPath, uint32_t &error,
                     std::string &text)
{
    const std::string folder = Canonical(mountFolder);
    MountRecord record{MountKind::Extracted, std::string()};
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(g_mountMutex);
        auto it = g_mounts.find(folder);
        if (it != g_mounts.end()) {
            record = it->second;
            known = true;
        }
    }
    const bool fuse = MountType(folder) == "fuse.wimfs";
    if (!known && !fuse) {
        error = WIM_ERROR_INVALID_PARAMETER;
        text = "no image is mounted at " + folder;
        return false;
    }
    if (known && !wimPath.empty() && Canonical(wimPath) != record.wimPath) {
        error = WIM_ERROR_INVALID_PARAMETER;
        text = folder + " holds an image of " + record.wimPath + ", not of " + wimPath;
        return false;
    }
    if (fuse) {
        EnsureWimlibReady();
        const int ret = wimlib_unmount_image(folder.c_str(), 0);
        if (ret != 0) {
            error = MapWimlibError(ret, errno);
            text = "cannot unmount " + folder + ": wimlib: " + WimlibErrorText(ret);
            return false;
        }
        // The mount daemon takes the file system away after it answered;
        // callers delete the folder next, so wait until it is gone.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (MountType(folder) == "fuse.wimfs") {
            if (std::chrono::steady_clock::now() > deadline) {
                error = WIM_ERROR_GEN_FAILURE;
                text = "the mount at " + folder + " did not go away";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } else if (!ClearFolder(folder, text)) {
        error = WIM_ERROR_ACCESS_DENIED;
        return false;
    }
    std::lock_guard<std::mutex> lock(g_mountMutex);
    g_mounts.erase(folder);
    return true;
}

} // namespace halcyon::support::wim

#include "support/wim/wim_mount.h"

#include <wimlib.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/fs_path.h"
#include "platform/mount_table.h"
#include "support/wim/wim_api.h"
#include "support/wim/wim_fuse.h"
#include "support/wim/wim_tchar.h"
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
    fs::path p = fs::weakly_canonical(fs::absolute(platform::FsPath(path), ec), ec);
    std::string s = ec ? path : platform::PathUtf8(p);
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

bool FuseUsable()
{
    if (g_fuseAllowed >= 0)
        return g_fuseAllowed != 0;
    return platform::FuseDeviceUsable();
}

// Removes everything below `folder`, keeping the folder.
bool ClearFolder(const std::string &folder, std::string &text)
{
    std::error_code ec;
    // Folders laid down without write permission must become writable to
    // be emptied.
    for (auto it = fs::recursive_directory_iterator(platform::FsPath(folder), fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sec;
        if (it->is_directory(sec) && !it->is_symlink(sec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, sec);
    }
    ec.clear();
    for (const auto &entry : fs::directory_iterator(platform::FsPath(folder), ec)) {
        std::error_code rec;
        fs::remove_all(entry.path(), rec);
        if (rec) {
            text = "cannot remove " + platform::PathUtf8(entry.path()) + ": " + rec.message();
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
    return platform::MountedFileSystemType(Canonical(hostFolder)) == "fuse.wimfs";
}

bool MountWimImage(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                   const std::string &tempFolder, uint32_t &error, std::string &text)
{
    std::error_code ec;
    if (mountFolder.empty() || !fs::is_directory(platform::FsPath(mountFolder), ec)) {
        error = WIM_ERROR_PATH_NOT_FOUND;
        text = "mount folder " + mountFolder + " does not exist";
        return false;
    }
    if (wimPath.empty() || !fs::is_regular_file(platform::FsPath(wimPath), ec)) {
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
        if (g_mounts.count(folder) || !platform::MountedFileSystemType(folder).empty()) {
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
    int ret = wimlib_open_wim(ToWimText(wim).c_str(), 0, &handle);
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
    const bool fuse = platform::MountedFileSystemType(folder) == "fuse.wimfs";
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
        const int ret = FuseUnmount(folder);
        if (ret != 0) {
            error = MapWimlibError(ret, errno);
            text = "cannot unmount " + folder + ": wimlib: " + WimlibErrorText(ret);
            return false;
        }
        // The mount daemon takes the file system away after it answered;
        // callers delete the folder next, so wait until it is gone.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (platform::MountedFileSystemType(folder) == "fuse.wimfs") {
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

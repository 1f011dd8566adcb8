#include "cli/media_changer.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/path_map.h"
#include "platform/fs_path.h"

namespace fs = std::filesystem;

namespace halcyon::cli {

MediaChanger::MediaChanger(std::vector<std::string> dirs) : dirs_(std::move(dirs))
{
    // A new folder of this user's only, under a name no one else holds.
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    std::random_device random;
    for (int attempt = 0; attempt < 100 && !ec; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "halcyon-media-%08x", static_cast<unsigned>(random()));
        const fs::path folder = temp / name;
        if (fs::create_directory(folder, ec)) {
            fs::permissions(folder, fs::perms::owner_all, ec);
            folder_ = platform::PathUtf8(folder);
            return;
        }
    }
}

MediaChanger::~MediaChanger()
{
    if (folder_.empty())
        return;
    std::error_code ec;
    fs::remove(platform::FsPath(folder_ + "/drive"), ec); // the link, never a medium
    fs::remove(platform::FsPath(folder_ + "/next"), ec);
    fs::remove(platform::FsPath(folder_), ec);
}

bool MediaChanger::Insert(size_t n)
{
    if (n == 0 || n > dirs_.size() || n == current_ || dirs_[n - 1].empty())
        return false;
    return InsertFolder(n, dirs_[n - 1]);
}

bool MediaChanger::InsertFolder(size_t n, const std::string &dir)
{
    std::error_code ec;
    const fs::path target = fs::absolute(platform::FsPath(platform::HostPath(dir)), ec);
    if (!fixed_.empty()) {
        // A drive that cannot be switched shows only what is put into it.
        if (!fs::equivalent(target, platform::FsPath(fixed_), ec))
            return false;
    } else {
        const fs::path next = platform::FsPath(folder_ + "/next");
        fs::remove(next, ec);
        std::error_code linkEc;
        fs::create_directory_symlink(target, next, linkEc);
        if (linkEc && current_ == 0 && fs::is_directory(target, ec)) {
            fixed_ = platform::PathUtf8(target);
        } else {
            if (linkEc)
                return false;
            fs::rename(next, platform::FsPath(Drive()), ec);
            if (ec)
                return false;
        }
    }
    current_ = n;
    if (n > dirs_.size())
        dirs_.resize(n);
    dirs_[n - 1] = dir; // asked for again later, it is put in again
    return true;
}

} // namespace halcyon::cli

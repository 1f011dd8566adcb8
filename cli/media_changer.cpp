#include "cli/media_changer.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/path_map.h"

namespace fs = std::filesystem;

namespace halcyon::cli {

MediaChanger::MediaChanger(std::vector<std::string> dirs) : dirs_(std::move(dirs))
{
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "halcyon-media-XXXXXX").string();
    if (::mkdtemp(pattern.data()))
        folder_ = pattern;
}

MediaChanger::~MediaChanger()
{
    if (folder_.empty())
        return;
    std::error_code ec;
    fs::remove(Drive(), ec);
    fs::remove(folder_ + "/next", ec);
    fs::remove(folder_, ec);
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
    const fs::path target = fs::absolute(platform::HostPath(dir), ec);
    const std::string next = folder_ + "/next";
    fs::remove(next, ec);
    fs::create_directory_symlink(target, next, ec);
    if (ec)
        return false;
    fs::rename(next, Drive(), ec);
    if (ec)
        return false;
    current_ = n;
    if (n > dirs_.size())
        dirs_.resize(n);
    dirs_[n - 1] = dir; // asked for again later, it is put in again
    return true;
}

} // namespace halcyon::cli

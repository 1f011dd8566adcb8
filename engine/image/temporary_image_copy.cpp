#include "engine/image/temporary_image_copy.h"

#include <filesystem>
#include <system_error>

#include "platform/fs_path.h"
#include "platform/host_file_rw.h"
#include "platform/path_map.h"

namespace halcyon::image {

bool TemporaryImageCopy::Make(const std::string &source, const std::string &target)
{
    Remove();
    const std::string from = platform::HostPath(source);
    const std::string to = platform::HostPath(target);
    std::error_code ec;
    // A temporary folder that is the source folder itself would make the
    // "copy" the source: refuse it, and never remove the source.
    if (std::filesystem::equivalent(platform::FsPath(from), platform::FsPath(to), ec))
        return false;
    ec.clear();
    std::filesystem::copy_file(platform::FsPath(from), platform::FsPath(to), std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        platform::RemoveHostFile(to);
        return false;
    }
    path_ = target;
    return true;
}

void TemporaryImageCopy::Remove()
{
    if (path_.empty())
        return;
    platform::RemoveHostFile(platform::HostPath(path_));
    path_.clear();
}

} // namespace halcyon::image

#include "engine/image/temporary_image_copy.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

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
    if (std::filesystem::equivalent(from, to, ec))
        return false;
    ec.clear();
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        ::unlink(to.c_str());
        return false;
    }
    path_ = target;
    return true;
}

void TemporaryImageCopy::Remove()
{
    if (path_.empty())
        return;
    ::unlink(platform::HostPath(path_).c_str());
    path_.clear();
}

} // namespace halcyon::image

#include "engine/image/temporary_image_copy.h"

#include <filesystem>
#include <system_error>

#include "platform/fs_path.h"
#include "platform/host_file.h"
#include "platform/host_file_rw.h"
#include "platform/path_map.h"
#include "support/files/file_ops.h"

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
    const auto status = platform::StatHostPath(from);
    if (!status || !status->regular)
        return false; // only a file is copied (never a pipe or a device)
    // The copy is ours alone: what stands at its place (a file of an earlier
    // run, or a link someone put in a shared temporary folder) is removed,
    // never written through, and the copy is created afresh.
    platform::RemoveHostFile(to);
    platform::HostFile in, out;
    if (in.Open(from, platform::FileAccess::Read, platform::FileCreation::OpenExisting) != 0 ||
        out.Open(to, platform::FileAccess::Write, platform::FileCreation::CreateNew) != 0)
        return false;
    int rc = support::CopyFileData(in, out, to, nullptr, nullptr);
    if (const int closed = out.Close(); rc == 0)
        rc = closed;
    if (rc != 0) {
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

#include "engine/modules/copy_target_check.h"

#include <filesystem>

#include "platform/fs_path.h"
#include "platform/host_file.h"
#include "platform/host_path_text.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"

namespace fs = std::filesystem;

namespace halcyon::modules {

std::string HostNoTrailing(std::string_view path)
{
    // Normalised: "mount/" + "\\300360" must name the mount folder's entry
    // as the confinement check reports it ("mount/300360").
    return platform::TrimHostSeparators(
        platform::PathUtf8(platform::FsPath(platform::HostPath(path)).lexically_normal()));
}

std::string CopyTargetLinkProblem(std::string_view rootText, std::string_view sourceText, std::string_view targetText)
{
    const std::string root = HostNoTrailing(rootText);
    const std::string source = HostNoTrailing(sourceText);
    const std::string target = HostNoTrailing(targetText);
    support::ConfinedCheck check = support::CheckConfinedPath(root, target);
    if (check.result != support::Confinement::Inside)
        return support::DescribeConfinement(check, root, target);
    std::error_code ec;
    const fs::path from = platform::FsPath(source);
    for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string dest = target + "/" + platform::PathUtf8(it->path().lexically_relative(from));
        const auto st = platform::LinkStatHostPath(dest);
        if (st && st->link)
            return dest + " is a symbolic link";
    }
    return std::string();
}

} // namespace halcyon::modules

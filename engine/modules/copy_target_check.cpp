#include "engine/modules/copy_target_check.h"

#include <sys/stat.h>

#include <filesystem>

#include "platform/path_map.h"
#include "support/files/confined_path.h"

namespace fs = std::filesystem;

namespace halcyon::modules {

std::string HostNoTrailing(std::string_view path)
{
    std::string host = platform::HostPath(path);
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
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
    for (fs::recursive_directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string dest = target + "/" + it->path().lexically_relative(source).string();
        struct stat st {};
        if (::lstat(dest.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return dest + " is a symbolic link";
    }
    return std::string();
}

} // namespace halcyon::modules

#include "cli/machine_location.h"

#include <filesystem>
#include <system_error>

#include "platform/environment.h"
#include "platform/fs_path.h"
#include "platform/machine_prefix.h"

namespace halcyon::cli {

std::string SelectMachine(const std::optional<std::string> &option)
{
    // Without an option the platform's own rule (variable, then default)
    // decides, so the command and the libraries cannot disagree.
    std::string chosen = option && !option->empty() ? *option : platform::MachineRoot();
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(platform::FsPath(chosen), ec);
    std::filesystem::path normal = absolute.lexically_normal();
    // No trailing separator, except on a root ("/", "C:\").
    if (!normal.has_filename() && normal != normal.root_path())
        normal = normal.parent_path();
    std::string folder = ec ? chosen : platform::PathUtf8(normal);
    platform::SetEnvironmentVariable("HALCYON_MACHINE", folder);
    return folder;
}

std::string MissingMachine()
{
#if defined(_WIN32)
    return {};
#else
    const std::string folder = platform::MachineRoot();
    std::error_code ec;
    if (std::filesystem::is_directory(platform::FsPath(folder), ec))
        return {};
    return "no machine at " + folder + " (give --machine DIR, or set one up with a run)";
#endif
}

} // namespace halcyon::cli

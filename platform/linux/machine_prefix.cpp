#include "platform/machine_prefix.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace halcyon::platform {

std::string MachineRoot()
{
    if (const char *m = std::getenv("HALCYON_MACHINE"); m && *m)
        return m;
    if (const char *x = std::getenv("XDG_STATE_HOME"); x && *x)
        return std::string(x) + "/halcyon/machine";
    const char *home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/halcyon/machine";
}

std::string DriveFolder(char letter)
{
    return MachineRoot() + "/drives/" + static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

bool EnsureMachine()
{
    std::error_code ec;
    std::filesystem::create_directories(DriveFolder('c'), ec);
    return std::filesystem::is_directory(DriveFolder('c'), ec);
}

} // namespace halcyon::platform

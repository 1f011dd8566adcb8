#include "cli/machine_location.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/machine_prefix.h"

namespace halcyon::cli {

std::string SelectMachine(const std::optional<std::string> &option)
{
    // Without an option the platform's own rule (variable, then default)
    // decides, so the command and the libraries cannot disagree.
    std::string chosen = option && !option->empty() ? *option : platform::MachineRoot();
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(chosen, ec);
    std::string folder = ec ? chosen : absolute.lexically_normal().string();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    ::setenv("HALCYON_MACHINE", folder.c_str(), 1);
    return folder;
}

} // namespace halcyon::cli

#include "platform/program.h"

#include <filesystem>
#include <system_error>

namespace halcyon::platform {

std::vector<std::string> ProgramArguments(int argc, char **argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

std::string ProgramFile()
{
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

} // namespace halcyon::platform

// On Windows the machine is the real one: its "folder" only holds the
// override file (machine.ini) of test machines, and drives are drives.
#include "platform/machine_prefix.h"

#include "platform/environment.h"
#include "platform/win/wide_text.h"
#include "platform/win/windows_api.h"

namespace halcyon::platform {

std::string MachineRoot()
{
    if (auto dir = GetEnvironmentVariable("HALCYON_MACHINE"); dir && !dir->empty())
        return *dir;
    auto data = GetEnvironmentVariable("ProgramData");
    return (data ? *data : std::string("C:\\ProgramData")) + "\\Halcyon";
}

std::string DriveFolder(char letter) { return std::string(1, letter) + ":"; }

bool EnsureMachine()
{
    std::wstring folder = win::FileApiPath(MachineRoot());
    return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

} // namespace halcyon::platform

#include "platform/machine.h"
#include "platform/machine_internal.h"

#include <sys/statvfs.h>
#include <sys/sysinfo.h>

#include "platform/machine_prefix.h"
#include "platform/path_map.h"
#include "platform/profile.h"

namespace halcyon::platform {

namespace {

std::string MachineIni() { return MachineRoot() + "/machine.ini"; }

} // namespace

std::optional<std::string> MachineSetting(std::string_view section, std::string_view key)
{
    return GetPrivateProfileValue(section, key, MachineIni());
}

bool SetMachineSetting(std::string_view section, std::string_view key, std::string_view value)
{
    if (!EnsureMachine())
        return false;
    return WritePrivateProfileString(section, key, value, MachineIni());
}

uint64_t SystemPhysicalMemoryMB()
{
    struct sysinfo si{};
    if (::sysinfo(&si) != 0)
        return 0;
    return static_cast<uint64_t>(si.totalram) * si.mem_unit / (1024 * 1024);
}

std::optional<uint64_t> SystemFreeDiskSpace(const std::string &host)
{
    struct statvfs st{};
    if (::statvfs(host.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

} // namespace halcyon::platform

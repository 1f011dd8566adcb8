#include "platform/machine.h"

#include <sys/statvfs.h>
#include <sys/sysinfo.h>

#include <cstdlib>
#include <mutex>

#include "platform/machine_prefix.h"
#include "platform/path_map.h"
#include "platform/profile.h"

namespace halcyon::platform {

namespace {

std::string MachineIni() { return MachineRoot() + "/machine.ini"; }

struct DiskOverride {
    std::mutex mutex;
    std::optional<uint64_t> bytes;
};

DiskOverride &Override()
{
    static DiskOverride *o = new DiskOverride;
    return *o;
}

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

uint64_t PhysicalMemoryMB()
{
    if (auto v = MachineSetting("Identity", "PhysicalMemoryMB")) {
        char *end = nullptr;
        unsigned long long mb = std::strtoull(v->c_str(), &end, 10);
        if (!v->empty() && end && *end == '\0' && (*v)[0] != '-')
            return mb;
    }
    struct sysinfo si{};
    if (::sysinfo(&si) != 0)
        return 0;
    return static_cast<uint64_t>(si.totalram) * si.mem_unit / (1024 * 1024);
}

std::optional<uint64_t> FreeDiskSpace(std::string_view path)
{
    {
        DiskOverride &o = Override();
        std::lock_guard<std::mutex> lock(o.mutex);
        if (o.bytes)
            return o.bytes;
    }
    std::string host = HostPath(path);
    struct statvfs st{};
    if (host.empty() || ::statvfs(host.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

void SetFreeDiskSpaceOverride(std::optional<uint64_t> bytes)
{
    DiskOverride &o = Override();
    std::lock_guard<std::mutex> lock(o.mutex);
    o.bytes = bytes;
}

} // namespace halcyon::platform

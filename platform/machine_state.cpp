// The machine's memory and free space: a machine.ini value or a test's
// override first, the system's answer (machine_internal.h) after.
#include "platform/machine.h"
#include "platform/machine_internal.h"

#include <cstdlib>
#include <mutex>

#include "platform/path_map.h"

namespace halcyon::platform {

namespace {

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

uint64_t PhysicalMemoryMB()
{
    if (auto v = MachineSetting("Identity", "PhysicalMemoryMB")) {
        char *end = nullptr;
        unsigned long long mb = std::strtoull(v->c_str(), &end, 10);
        if (!v->empty() && end && *end == '\0' && (*v)[0] != '-')
            return mb;
    }
    return SystemPhysicalMemoryMB();
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
    if (host.empty())
        return std::nullopt;
    return SystemFreeDiskSpace(host);
}

void SetFreeDiskSpaceOverride(std::optional<uint64_t> bytes)
{
    DiskOverride &o = Override();
    std::lock_guard<std::mutex> lock(o.mutex);
    o.bytes = bytes;
}

} // namespace halcyon::platform

#include "support/general/general.h"

#include <mutex>

#include "platform/machine.h"

namespace halcyon::support {

namespace {
std::mutex g_pumpMutex;
MessagePump g_pump;
} // namespace

void SetMessagePump(MessagePump pump)
{
    std::lock_guard<std::mutex> lock(g_pumpMutex);
    g_pump = std::move(pump);
}

void DoEvents()
{
    MessagePump pump;
    {
        std::lock_guard<std::mutex> lock(g_pumpMutex);
        pump = g_pump;
    }
    if (pump)
        pump();
}

bool GetPhysicalMemorySize(int64_t &bytes)
{
    uint64_t mb = platform::PhysicalMemoryMB();
    if (mb == 0 || mb > (static_cast<uint64_t>(INT64_MAX) >> 20))
        return false;
    bytes = static_cast<int64_t>(mb << 20);
    return true;
}

} // namespace halcyon::support

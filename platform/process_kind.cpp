// The process kind and processor architecture the emulated Windows reports.
#include <mutex>

#include "platform/process.h"

namespace halcyon::platform {

namespace {
std::mutex g_kindMutex;
std::optional<ProcessKind> g_kind;

ProcessKind Current()
{
    std::lock_guard<std::mutex> lock(g_kindMutex);
    return g_kind.value_or(ProcessKind{});
}
} // namespace

bool IsWow64Process(bool *wow64)
{
    ProcessKind k = Current();
    if (k.queryFails || !wow64)
        return false;
    *wow64 = k.wow64;
    return true;
}

uint16_t NativeProcessorArchitecture() { return Current().nativeArchitecture; }

void SetProcessKind(std::optional<ProcessKind> kind)
{
    std::lock_guard<std::mutex> lock(g_kindMutex);
    g_kind = kind;
}

} // namespace halcyon::platform

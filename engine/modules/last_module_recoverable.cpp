#include "engine/modules/last_module_recoverable.h"

#include <atomic>

namespace halcyon::modules {

namespace {
// Written by the setup verb on its thread and read after it returned; the
// atomic only keeps a stray concurrent reader well defined.
std::atomic<int32_t> g_lastModuleRecoverable{0};
} // namespace

void SetLastModuleRecoverable(bool recoverable)
{
    g_lastModuleRecoverable.store(recoverable ? 1 : 0, std::memory_order_relaxed);
}

int32_t LastModuleRecoverable() { return g_lastModuleRecoverable.load(std::memory_order_relaxed); }

} // namespace halcyon::modules

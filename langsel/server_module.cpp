#include "langsel/server_module.h"

#include <atomic>

#include "platform/module_path.h"

namespace halcyon::langsel {

namespace {
std::atomic<long> g_locks{0};
}

void LockModule() { ++g_locks; }
void UnlockModule() { --g_locks; }
long ModuleLockCount() { return g_locks.load(); }

std::string ServerPath() { return platform::ModulePathOf(reinterpret_cast<const void *>(&ServerPath)); }

} // namespace halcyon::langsel

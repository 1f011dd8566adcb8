#include "langsel/server_module.h"

#include <atomic>
#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace halcyon::langsel {

namespace {
std::atomic<long> g_locks{0};
}

void LockModule() { ++g_locks; }
void UnlockModule() { --g_locks; }
long ModuleLockCount() { return g_locks.load(); }

std::string ServerPath()
{
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void *>(&ServerPath), &info) || !info.dli_fname)
        return {};
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(info.dli_fname, ec);
    if (ec)
        return info.dli_fname;
    return full.lexically_normal().string();
}

} // namespace halcyon::langsel

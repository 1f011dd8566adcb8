#include "platform/module_path.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace halcyon::platform {

std::string ModulePathOf(const void *address)
{
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname)
        return {};
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(info.dli_fname, ec);
    if (ec)
        return info.dli_fname;
    return full.lexically_normal().string();
}

} // namespace halcyon::platform

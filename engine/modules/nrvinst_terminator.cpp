#include "engine/modules/nrvinst_terminator.h"

#include <string>

#include "engine/modules/nrvinst_oem.h"
#include "platform/path_map.h"
#include "platform/profile.h"
#include "support/files/file_ops.h"

namespace halcyon::modules {

void EnsureNrvinstTerminator(std::string_view nrvinstPath)
{
    const std::string path = nrvinstPath.empty() ? DefaultNrvinstPath() : std::string(nrvinstPath);
    if (path.empty() || !support::FileExist(path))
        return;
    for (uint32_t n = 1;; ++n) {
        const std::string key = std::to_string(n);
        const std::string value = platform::GetPrivateProfileString("Module", key, "", path);
        if (platform::EqualsNoCase(value, "End"))
            return;
        if (value.empty()) {
            if (n > 1)
                platform::WritePrivateProfileString("Module", key, std::string_view("End"), path);
            return;
        }
    }
}

} // namespace halcyon::modules

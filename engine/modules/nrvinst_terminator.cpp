#include "engine/modules/nrvinst_terminator.h"

#include <string>

#include "engine/modules/nrvinst_oem.h"
#include "platform/path_map.h"
#include "platform/profile.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

namespace halcyon::modules {

void EnsureNrvinstTerminator(std::string_view nrvinstPath)
{
    const std::string path = nrvinstPath.empty() ? DefaultNrvinstPath() : std::string(nrvinstPath);
    support::CMemoryIniIO file;
    if (path.empty() || !support::FileExist(path) || !file.LoadFile(path))
        return;
    // One read of the file, then the same walk as the record writer's.
    for (uint32_t n = 1;; ++n) {
        const std::string key = std::to_string(n);
        const std::string value = file.GetString("Module", key, "", 261);
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

// Linux shows each SMBIOS structure as /sys/firmware/dmi/entries/<type>-<n>/raw
// (usually readable by root only).
#include "platform/firmware_table.h"

#include <fstream>
#include <iterator>
#include <system_error>
#include <filesystem>

namespace halcyon::platform {

std::optional<std::string> SmbiosStructure(uint8_t type)
{
    const std::string prefix = "/sys/firmware/dmi/entries/" + std::to_string(type) + "-";
    for (int n = 0; n < 64; ++n) {
        std::string dir = prefix + std::to_string(n);
        std::error_code ec;
        if (!std::filesystem::exists(dir, ec))
            break;
        std::ifstream in(dir + "/raw", std::ios::binary);
        if (!in)
            continue;
        std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!raw.empty())
            return raw;
    }
    return std::nullopt;
}

} // namespace halcyon::platform

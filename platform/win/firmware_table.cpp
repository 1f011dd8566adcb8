// The SMBIOS table through GetSystemFirmwareTable('RSMB'): an 8-byte header,
// then the structures, each a formatted part of the length it states and a
// string set that ends in two NULs. Every length is checked against the table.
#include "platform/firmware_table.h"

#include <vector>

#include "platform/win/windows_api.h"

namespace halcyon::platform {

namespace {

constexpr DWORD kRawSmbios = 'R' << 24 | 'S' << 16 | 'M' << 8 | 'B';
constexpr size_t kHeaderSize = 8; // calling method, versions, table length
constexpr uint8_t kEndOfTable = 127;

} // namespace

std::optional<std::string> SmbiosStructure(uint8_t type)
{
    UINT size = ::GetSystemFirmwareTable(kRawSmbios, 0, nullptr, 0);
    if (size <= kHeaderSize)
        return std::nullopt;
    std::vector<char> data(size);
    if (::GetSystemFirmwareTable(kRawSmbios, 0, data.data(), size) != size)
        return std::nullopt;
    uint32_t stated = static_cast<uint8_t>(data[4]) | static_cast<uint8_t>(data[5]) << 8 |
                      static_cast<uint8_t>(data[6]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(data[7])) << 24;
    std::string_view table(data.data() + kHeaderSize, size - kHeaderSize);
    if (stated < table.size())
        table = table.substr(0, stated);
    size_t pos = 0;
    while (pos + 4 <= table.size()) {
        uint8_t kind = static_cast<uint8_t>(table[pos]);
        size_t length = static_cast<uint8_t>(table[pos + 1]);
        if (length < 4 || pos + length > table.size())
            return std::nullopt;
        size_t end = table.find(std::string_view("\0\0", 2), pos + length);
        if (end == std::string_view::npos)
            return std::nullopt;
        end += 2;
        if (kind == type)
            return std::string(table.substr(pos, end - pos));
        if (kind == kEndOfTable)
            break;
        pos = end;
    }
    return std::nullopt;
}

} // namespace halcyon::platform

// The firmware's SMBIOS table, where the machine identity (the OEM strings
// of structure type 11) comes from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace halcyon::platform {

// The raw bytes of the first structure of `type` (its formatted part and its
// string set, ending in two NULs); nothing when the table has none or cannot
// be read.
std::optional<std::string> SmbiosStructure(uint8_t type);

} // namespace halcyon::platform

// The firmware's OEM strings (SMBIOS structure type 11) as Linux shows them
// under /sys/firmware/dmi/entries/11-*/raw.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halcyon::support {

// The strings of the first type 11 structure in `entriesDir` that is
// readable and well formed; empty when there is none.
std::vector<std::string> ReadOemStrings(const std::string &entriesDir = "/sys/firmware/dmi/entries");

// The strings of one raw type 11 structure (formatted part and string set);
// empty when the bytes are not one.
std::vector<std::string> ParseOemStrings(std::string_view raw);

} // namespace halcyon::support

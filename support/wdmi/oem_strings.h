// The firmware's OEM strings (SMBIOS structure type 11).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halcyon::support {

// The strings of the firmware's type 11 structure (platform/firmware_table.h);
// empty when there is none or it is malformed.
std::vector<std::string> ReadOemStrings();
// The strings of the first type 11 structure in a folder laid out as Linux
// shows the table (`11-<n>/raw`) that is readable and well formed; empty when
// there is none.
std::vector<std::string> ReadOemStrings(const std::string &entriesDir);

// The strings of one raw type 11 structure (formatted part and string set);
// empty when the bytes are not one.
std::vector<std::string> ParseOemStrings(std::string_view raw);

} // namespace halcyon::support

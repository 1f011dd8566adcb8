// GUIDs as registry text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <string>
#include <string_view>

#include "halcyon/MuiChooser.h"

namespace halcyon::langsel {

std::string GuidToString(const GUID &guid);
// Braces required, hex digits of either case; false when malformed.
bool GuidFromString(std::string_view text, GUID *guid);

} // namespace halcyon::langsel

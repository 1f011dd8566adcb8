// BSTRs made from and read as the engine's UTF-8 text (inside the server).
#pragma once

#include <string_view>

#include "halcyon/MuiChooser.h"

namespace halcyon::langsel {

// The text of a BSTR (a null BSTR is empty).
std::u16string_view BstrView(BSTR text);
// A new BSTR holding `utf8`; null when out of memory.
BSTR MakeBstr(std::string_view utf8);

} // namespace halcyon::langsel

// UTF-16 text of the COM boundary: conversions to and from the engine's UTF-8
// and BSTR making.
#pragma once

#include <string>
#include <string_view>

#include "halcyon/MuiChooser.h"

namespace halcyon::langsel {

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);
// The text of a BSTR (a null BSTR is empty).
std::u16string_view BstrView(BSTR text);
// A new BSTR holding `utf8`; null when out of memory.
BSTR MakeBstr(std::string_view utf8);

} // namespace halcyon::langsel

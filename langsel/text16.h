// UTF-16 text of the COM boundary: conversions to and from the engine's UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::langsel {

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

} // namespace halcyon::langsel

// UTF-16LE bytes (as WIM metadata stores text) to UTF-8 and back.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::support::wim {

// Decodes little-endian UTF-16 bytes; an odd last byte is dropped, unpaired
// surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

// Encodes UTF-8 text as little-endian UTF-16 bytes; malformed bytes become
// U+FFFD.
std::string Utf8ToUtf16Le(std::string_view text);

} // namespace halcyon::support::wim

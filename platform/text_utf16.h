// UTF-8 <-> UTF-16LE byte conversions for text stored the Windows way
// (profile and .reg files, INI files, version resources). Unpaired surrogates and malformed UTF-8
// become U+FFFD; NUL characters are kept.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::platform {

std::string Utf16LeToUtf8(std::string_view bytes);
std::string Utf8ToUtf16Le(std::string_view text);
// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

} // namespace halcyon::platform

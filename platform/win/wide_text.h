// UTF-8 text of the platform interfaces to the UTF-16 of the Win32 API and
// back. Malformed input becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::platform::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// A path for the file API: "/" becomes "\", and an absolute path too long
// for MAX_PATH gets the "\\?\" prefix so that it still opens.
std::wstring FileApiPath(std::string_view utf8Path);

} // namespace halcyon::platform::win

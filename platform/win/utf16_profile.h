// Profile files that keep any text.
#pragma once

#include <string>

namespace halcyon::platform::win {

// Creates `file` holding only a UTF-16 byte order mark, so that the profile
// API keeps it in UTF-16; an existing file is left as it is.
void StartUtf16Profile(const std::wstring &file);

} // namespace halcyon::platform::win

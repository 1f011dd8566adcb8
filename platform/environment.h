// "%NAME%" expansion as on Windows: the process environment first (names
// compared without regard to case); windir/SystemRoot default to
// "C:\Windows", ProgramFiles/ProgramW6432 to "C:\Program Files",
// ProgramFiles(x86) to "C:\Program Files (x86)"; unknown names stay as
// written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace halcyon::platform {

// The value of an environment variable (case-insensitive name), with the
// Windows folder defaults above.
std::optional<std::string> GetEnvironmentVariable(std::string_view name);

// Sets a variable of this process (and of the processes it starts from
// now on). False when the name is empty or holds '='.
bool SetEnvironmentVariable(std::string_view name, std::string_view value);

// Expands `in` into `out`. False (out unchanged) when the result has more
// than `maxChars` characters.
bool ExpandEnvironmentStrings(std::string_view in, std::string &out, size_t maxChars = 32767);

// This computer's network name ("" when it cannot be told).
std::string HostName();

} // namespace halcyon::platform

// Text rules of host paths (what HostPath() returns): which characters
// separate components, how long the root is, how a path is written without
// trailing separators. One place per host: Linux takes "/" and the root "/";
// Windows takes "\" and "/", drive roots ("C:") and UNC shares
// ("\\server\share").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace halcyon::platform {

bool IsHostSeparator(char c);

// The length of the root prefix without its separator: "C:" (2) or
// "\\server\share" on Windows; 0 on Linux, where the root is the leading
// "/" itself. 0 also for a relative path.
size_t HostRootLength(std::string_view hostPath);

// True for a path that names its volume and starts at its root: "/x" on
// Linux; "C:\x", "C:" or "\\server\share\x" on Windows (not "\x", which
// depends on the current drive).
bool IsFullHostPath(std::string_view hostPath);

// The path without trailing separators; a root keeps its own ("/", "C:\").
std::string TrimHostSeparators(std::string_view hostPath);

// The path text in the form used to compare it with another: on Windows the
// drive letter in upper case ("c:\x" lies below "C:\"); unchanged on Linux.
std::string ComparableHostPath(std::string_view hostPath);

} // namespace halcyon::platform

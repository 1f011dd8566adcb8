// Windows path text to host paths. The engine keeps Windows path text
// ("C:\Windows\system32", "sources\data\300100") and maps it only at the
// moment the file system is touched.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::platform {

// Pure text mapping: every "\" becomes "/", a leading drive "X:" becomes the
// machine's drive folder; POSIX absolute and relative paths pass through.
std::string MapPathText(std::string_view windowsPath);

// MapPathText, then each component that does not exist as written is
// resolved without regard to case against the names present (an exact match
// is preferred). Components that match nothing keep their case.
std::string HostPath(std::string_view windowsPath);

// True when `part` may be joined below a folder without leaving it: not
// empty, no ".." component, not absolute ("\x", "/x"), no drive ("C:").
bool IsSafeRelativePart(std::string_view part);

// True when the text names a drive ("C:..."): a ':' after the first character.
bool HasDrive(std::string_view path);

// Case-insensitive (ASCII) comparison helpers used for Windows names.
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ToUpperAscii(std::string_view s);
std::string ToLowerAscii(std::string_view s);

// Matches a file name against a Windows wildcard pattern ("*", "?"),
// without regard to case. "*.*" matches every name.
bool WildcardMatch(std::string_view pattern, std::string_view name);

} // namespace halcyon::platform

// Where a "FILE COPY" module goes and where a "File" version check looks:
// program-files tokens rewritten, environment variables expanded, quotes
// removed; a path with a drive is used as it is, anything else is placed
// under DestDir.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::modules {

struct ResolvedTarget {
    std::string path;        // the resolved path
    std::string relative;    // the part joined below DestDir (empty when the path has a drive)
    bool hasDrive = false;   // the path was used unchanged (its root names a drive)
    bool expanded = true;    // the environment expansion succeeded
};

// The full resolution. `keepTokensOnFailure` selects the version-check form:
// when the expansion fails, the token-rewritten text is used as it is
// instead of DestDir + the given path.
ResolvedTarget ResolveTarget(std::string_view path, std::string_view destDir, bool keepTokensOnFailure = false);

// The FILE COPY form: the resolved path.
std::string ResolveTargetPath(std::string_view path, std::string_view destDir);

// The root of a Windows path as the shell's root stripping gives it:
// "C:\" (or "C:"), "\\server\share", "\", or empty for a relative path.
std::string PathRoot(std::string_view path);

// Removes one pair of surrounding double quotes.
std::string UnquoteSpaces(std::string_view path);

} // namespace halcyon::modules

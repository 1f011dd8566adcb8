// Listing a folder by host path without following links: the one place that
// walks directories for the engine's own folder scans.
#pragma once

#include <string>
#include <vector>

namespace halcyon::platform {

enum class EntryKind { File, Folder, Link, Other };

struct FolderEntry {
    std::string name; // UTF-8, no folder part
    EntryKind kind = EntryKind::Other;
};

// The entries of `hostPath` ("." and ".." left out) in the order the file
// system gives them; a symbolic link (a reparse point on Windows) is reported
// as Link, never followed. 0, or an errno value (ENOENT, ENOTDIR, EACCES, ...)
// with `out` left empty.
int ListFolder(const std::string &hostPath, std::vector<FolderEntry> &out);

} // namespace halcyon::platform

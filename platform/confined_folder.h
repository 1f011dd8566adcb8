// Folder services that never follow a symbolic link (a reparse point on
// Windows: symbolic link or junction) below a folder they were handed:
// examining one entry, creating folders below a root, and removing trees.
// The folder handed in (a root, a parent) is followed as given: the caller
// named it. Every call answers 0 or an errno value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/folder_list.h"

namespace halcyon::platform {

// The kind of the entry at `hostPath` itself (a link is a Link). ENOENT when
// absent, ENOTDIR when a component before the last one is not a folder.
int ExamineEntry(const std::string &hostPath, EntryKind &kind);

// Creates the folders `names` one below the other under `root` (created with
// its parents when missing), each component opened without following a
// link. ELOOP when a component is a link, ENOTDIR when it is a file.
int CreateFoldersBelow(const std::string &root, const std::vector<std::string> &names);

// Removes the entry `name` of the folder `parent` and everything below it; a
// link is removed as a link, its target untouched. Read-only entries are made
// writable for their removal. 0 also when the entry is absent. `counter`
// (when given) is raised by each entry removed.
int RemoveEntryTree(const std::string &parent, const std::string &name, uint32_t *counter);

// Removes everything inside the folder `hostPath`, keeping it. ELOOP when
// `hostPath` itself is a link (nothing touched), ENOTDIR when it is no
// folder, 0 when it is absent.
int EmptyFolderTree(const std::string &hostPath, uint32_t *counter);

} // namespace halcyon::platform

// Host paths kept inside a root. A verb that deletes, creates or fills a
// folder below a root it was given asks here first whether the path stays
// inside that root, so that a symbolic link planted on the media, in an
// applied image or in a target folder cannot make it work elsewhere.
//
// All paths are host paths (map Windows path text with platform::HostPath
// first). The root itself may be a symbolic link: it was named by the caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyon::support {

enum class Confinement {
    Inside,    // at or below the root; no link at any existing component below it
    Outside,   // not below the root, or a ".." component
    Link,      // an existing component below the root is a symbolic link
    NotFolder, // an existing component before the last one is not a folder
    Error,     // a component could not be examined (errno in `error`)
};

struct ConfinedCheck {
    Confinement result = Confinement::Error;
    // Host path of the offending component (the link, the file, ...); empty
    // when the path is inside.
    std::string component;
    int error = 0; // errno when result is Error
};

// Examines every component of `path` below `root`. Components that do not
// exist yet are allowed (the caller will create them); the last component
// may be a file. A relative `path` is taken relative to `root`.
ConfinedCheck CheckConfinedPath(std::string_view root, std::string_view path);
bool IsConfinedPath(std::string_view root, std::string_view path);

// One line for a log: "<path> is a symbolic link", "<path> is outside <root>".
std::string DescribeConfinement(const ConfinedCheck &check, std::string_view root, std::string_view path);

// 0 when a file may be written or changed at `path` below `root`: no link
// on the way and none at the file itself. ELOOP when a component (the file
// among them) is a symbolic link, EXDEV when the path is outside the root,
// ENOTDIR when a folder on the way is a file, else the errno of the
// examination. `check` (when given) receives the details for a log line.
int CheckConfinedWrite(std::string_view root, std::string_view path, ConfinedCheck *check = nullptr);

// The folder a write into a machine's file (Windows or host path text) is
// kept within, as a host path: the drive's folder for a drive path
// ("C:\Windows\..." gives the folder of C:), else `target` when given and
// it holds the path, else the file's own folder.
std::string WriteRootOf(std::string_view path, std::string_view target = {});

// Creates the missing folders of `path` below `root`, one component at a
// time without following a link. 0 on success (also when it all exists as
// folders); ELOOP when a component below the root is a symbolic link;
// EXDEV when the path is outside the root; ENOTDIR when a component is a
// file; otherwise the errno of the failure.
int CreateConfinedFolders(std::string_view root, std::string_view path);

// Removes `path` and everything below it without following any link: a link
// (at `path` or anywhere below) is removed as a link, its target untouched.
// 0 when nothing is left (also when `path` did not exist), else the errno of
// the first failure. `counter` (when given) receives the number of entries
// removed.
int RemoveTreeNoFollow(std::string_view path, uint32_t *counter = nullptr);

// Removes everything inside the folder `path`, keeping the folder. Links
// inside are removed as links. When `path` itself is a symbolic link nothing
// is touched and ELOOP is returned; ENOTDIR when it is not a folder; 0 when
// it does not exist.
int EmptyFolderNoFollow(std::string_view path, uint32_t *counter = nullptr);

} // namespace halcyon::support

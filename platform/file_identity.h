// Which file a path names and when it was last written, finely enough to
// tell that a program replaced or rewrote it (the same name, another file or
// a later write within the same second).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace halcyon::platform {

struct FileIdentity {
    uint64_t device = 0;     // the volume
    uint64_t file = 0;       // the file on the volume (inode, file index)
    int64_t writtenNs = 0;   // last write, nanoseconds since the host's epoch
    bool operator==(const FileIdentity &) const = default;
};

// Nothing when `hostPath` does not exist or cannot be examined.
std::optional<FileIdentity> IdentifyFile(const std::string &hostPath);

} // namespace halcyon::platform

// What tells one version of a file from another, for caches of parsed files
// and for noticing that a program replaced or rewrote a file (the same name,
// another file, or a later write within the same second): size, last write
// and last change in nanoseconds, and the file's identity on its volume.
// Links are followed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace halcyon::platform {

struct FileVersion {
    bool regular = false;
    uint64_t size = 0;
    int64_t writeNs = 0;
    int64_t changeNs = 0;    // metadata or content change
    uint64_t identity = 0;   // inode number / file index
    uint64_t device = 0;     // the volume (device number / volume serial number)
    bool operator==(const FileVersion &) const = default;
};

// Nothing when the path does not exist (or cannot be examined).
std::optional<FileVersion> FileVersionOf(const std::string &hostPath);

} // namespace halcyon::platform

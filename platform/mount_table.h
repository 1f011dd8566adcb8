// File systems that a process of this machine serves into a folder (FUSE):
// whether the host has them, whether the device opens, and what is mounted
// where. Linux has them; Windows does not (nothing is ever mounted there).
#pragma once

#include <string>

namespace halcyon::platform {

// Whether the host can mount a file system served by a process at all.
bool UserMountsOffered();

// Whether the FUSE device opens for this process.
bool FuseDeviceUsable();

// The file-system type mounted at `folder` (a canonical host path; the last
// mount over it, the one seen), empty when none.
std::string MountedFileSystemType(const std::string &folder);

} // namespace halcyon::platform

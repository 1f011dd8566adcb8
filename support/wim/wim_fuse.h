// WIM images mounted through wimlib's FUSE support, where the host has FUSE
// (platform/mount_table.h). Where it does not (Windows), nothing is ever
// mounted and MountWimImage always uses its extraction stand-in.
#pragma once

#include <cstdint>
#include <string>

namespace halcyon::support::wim {

// Mounts image `index` of `wimPath` read-only at `mountFolder` (a canonical
// host path); true when the folder then shows the mount.
bool TryFuseMount(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                  const std::string &stagingFolder);
// Ends a FUSE mount: 0 or a wimlib error code.
int FuseUnmount(const std::string &mountFolder);

} // namespace halcyon::support::wim

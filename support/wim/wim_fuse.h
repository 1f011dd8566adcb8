// The FUSE side of WIM mounts (wim_fuse.cpp on Linux). Windows has no FUSE:
// there nothing is ever mounted (win/wim_fuse.cpp) and MountWimImage always
// uses its extraction stand-in.
#pragma once

#include <cstdint>
#include <string>

namespace halcyon::support::wim {

// The file-system type mounted at `folder` (a canonical host path), empty
// when none.
std::string MountType(const std::string &folder);
// Whether the FUSE device opens.
bool FuseDeviceUsable();
// Mounts image `index` of `wimPath` read-only at `mountFolder`; true when the
// folder then shows the mount.
bool TryFuseMount(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                  const std::string &stagingFolder);
// Ends a FUSE mount: 0 or a wimlib error code.
int FuseUnmount(const std::string &mountFolder);

} // namespace halcyon::support::wim

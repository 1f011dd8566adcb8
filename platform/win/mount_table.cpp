// No FUSE on Windows: nothing is ever mounted by a process.
#include "platform/mount_table.h"

namespace halcyon::platform {

bool UserMountsOffered() { return false; }

bool FuseDeviceUsable() { return false; }

std::string MountedFileSystemType(const std::string &) { return {}; }

} // namespace halcyon::platform

// No FUSE on Windows: nothing is mounted, and the mount call of the imaging
// interface is not offered (the extraction stand-in takes its place).
#include <wimlib.h>

#include "support/wim/wim_api.h"
#include "support/wim/wim_fuse.h"

namespace halcyon::support::wim {

std::string MountType(const std::string &) { return {}; }

bool FuseDeviceUsable() { return false; }

bool TryFuseMount(const std::string &, const std::string &, uint32_t, const std::string &) { return false; }

int FuseUnmount(const std::string &) { return WIMLIB_ERR_UNSUPPORTED; }

bool WimMountOffered() { return false; }

} // namespace halcyon::support::wim

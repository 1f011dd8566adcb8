// WIM images mounted through wimlib's FUSE support. wimlib turns the
// mounting process into the mount's daemon, so the mount is made in a forked
// child that returns once the mount is in place.
#include "support/wim/wim_fuse.h"

#include <wimlib.h>

#include "platform/forked_call.h"
#include "platform/mount_table.h"
#include "support/wim/wim_api.h"
#include "support/wim/wim_tchar.h"
#include "support/wim/wimlib_session.h"

namespace halcyon::support::wim {

bool TryFuseMount(const std::string &mountFolder, const std::string &wimPath, uint32_t index,
                  const std::string &stagingFolder)
{
    if (!platform::UserMountsOffered())
        return false;
    const int status = platform::RunForked(
        [&] {
            EnsureWimlibReady();
            WIMStruct *wim = nullptr;
            int ret = wimlib_open_wim(ToWimText(wimPath).c_str(), 0, &wim);
            if (ret == 0)
                ret = wimlib_mount_image(wim, static_cast<int>(index), ToWimText(mountFolder).c_str(), 0,
                                         stagingFolder.empty() ? nullptr : ToWimText(stagingFolder).c_str());
            // Reached in the daemon after the unmount, or on an early failure.
            return ret == 0 ? 0 : 100 + (ret & 0x7F);
        },
        30);
    if (status != 0)
        return false;
    if (platform::MountedFileSystemType(mountFolder) == "fuse.wimfs")
        return true;
    // Reported as mounted but not seen where asked: leave nothing behind.
    FuseUnmount(mountFolder);
    return false;
}

int FuseUnmount(const std::string &mountFolder)
{
    if (!platform::UserMountsOffered())
        return WIMLIB_ERR_UNSUPPORTED;
    return wimlib_unmount_image(ToWimText(mountFolder).c_str(), 0);
}

bool WimMountOffered() { return platform::UserMountsOffered(); }

} // namespace halcyon::support::wim

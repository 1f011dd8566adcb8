#include "cli/lock_state.h"

#if !defined(_WIN32)
#include <fcntl.h>
#endif

#include "cli/machine_lock.h"
#include "platform/host_file.h"
#include "platform/host_file_rw.h"

namespace halcyon::cli {

LockState QueryMachineLock(const std::string &machineFolder)
{
    LockState state;
    const std::string path = MachineLockPath(machineFolder);
    if (const auto status = platform::LinkStatHostPath(path); !status || status->link)
        return state;
    platform::HostFile file;
    if (file.Open(path, platform::FileAccess::Read, platform::FileCreation::OpenExisting) != 0)
        return state;
    char buf[512];
    size_t got = 0;
    if (file.ReadAt(0, buf, sizeof buf, &got) == 0)
        state.holder.assign(buf, got);
    while (!state.holder.empty() && (state.holder.back() == '\n' || state.holder.back() == '\r'))
        state.holder.pop_back();
#if defined(_WIN32)
    state.held = !state.holder.empty();
#else
    // The byte MachineLock locks, past the holder's text.
    constexpr uint64_t kLockByte = uint64_t{1} << 40;
    struct flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(kLockByte);
    lock.l_len = 1;
    state.held = ::fcntl(static_cast<int>(file.Native()), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    if (!state.held)
        state.holder.clear(); // what a killed run left behind
#endif
    return state;
}

} // namespace halcyon::cli

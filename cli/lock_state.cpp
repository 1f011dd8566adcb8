#include "cli/lock_state.h"

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
    // The byte MachineLock locks, past the holder's text. Where the host
    // cannot ask about a lock without taking it, the holder's text decides.
    constexpr uint64_t kLockByte = uint64_t{1} << 40;
    bool held = false;
    if (file.RangeLockedElsewhere(kLockByte, 1, &held) != 0) {
        state.held = !state.holder.empty();
        return state;
    }
    state.held = held;
    if (!state.held)
        state.holder.clear(); // what a killed run left behind
    return state;
}

} // namespace halcyon::cli

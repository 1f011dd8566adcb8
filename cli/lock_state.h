// Who holds a machine, asked without taking its lock: "halcyon status" and
// "halcyon log -f" look while a run may be starting.
#pragma once

#include <string>

namespace halcyon::cli {

struct LockState {
    bool held = false;
    std::string holder; // "halcyon factory-run (pid 12, started ...)"; empty when free
};

// On Windows, where a lock cannot be asked about without taking it, a
// holder's text counts as held (a killed run leaves it behind).
LockState QueryMachineLock(const std::string &machineFolder);

} // namespace halcyon::cli

// Keeps the real Linux machine from sleeping or idling while held: a logind
// inhibitor taken through systemd-inhibit. Harmlessly inactive where that
// program or logind is missing, or when HALCYON_NO_INHIBIT is set. On
// Windows it is a system power request object (system and display
// required).
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

#include "platform/non_copyable.h"

namespace halcyon::platform {

class SleepInhibitor : NonCopyable {
public:
    SleepInhibitor() = default;
    ~SleepInhibitor() { Release(); }

    // Takes the inhibitor (no-op when already held). False when it could not
    // be started; that is no error for callers.
    bool Acquire(std::string_view reason);
    // Lets go of it and collects the helper process.
    void Release();
#if defined(_WIN32)
    bool Held() const { return request_ != nullptr; }

private:
    void *request_ = nullptr; // the power request HANDLE
#else
    bool Held() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int pipeWrite_ = -1; // the helper holds the inhibitor until this closes
#endif
};

} // namespace halcyon::platform

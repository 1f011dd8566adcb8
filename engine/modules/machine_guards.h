// Machine-state guards of the module installation and two small queries.
//
// The installation verb creates the guards in the order screen saver, power
// request, System Restore, hibernation, and they are destroyed in reverse
// order on every return:
//   ScreenSaverGuard    switches an active screen saver off; afterwards the
//                       screen saver is on, whatever it was before.
//   PowerRequestGuard   keeps the system and display awake (and away mode)
//                       while it lives.
//   SystemRestoreGuard  switches System Restore off (unless option
//                       0x400000); it stays off afterwards.
//   HibernationGuard    removes a present hibernation file (unless option
//                       0x2000000) and re-creates it afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/non_copyable.h"
#include "platform/power_request.h"

namespace halcyon::modules {

class ScreenSaverGuard : NonCopyable {
public:
    ScreenSaverGuard();
    ~ScreenSaverGuard();
};

class PowerRequestGuard : NonCopyable {
public:
    PowerRequestGuard();
    ~PowerRequestGuard();

private:
    platform::PowerRequestHandle request_ = 0;
};

class SystemRestoreGuard : NonCopyable {
public:
    SystemRestoreGuard(uint64_t options, std::string_view logPath);

private:
    uint64_t options_;
    std::string logPath_;
};

class HibernationGuard : NonCopyable {
public:
    explicit HibernationGuard(uint64_t options);
    ~HibernationGuard();

private:
    uint32_t state_ = 0; // 1: a hibernation file was present and has been removed
};

// True when System Protection has no protected volume (the System Restore
// client's value under HKLM\...\SPP\Clients is absent, or the key is).
bool IsSystemProtectionOff();

// True when `releaseId` is one of the tolerated releases (without regard to
// case).
bool IsToleratedRelease(std::string_view releaseId);

} // namespace halcyon::modules

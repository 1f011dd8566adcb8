#include "engine/modules/machine_guards.h"

#include "engine/frame/log.h"
#include "engine/staging/mod_setup_options.h"
#include "platform/path_map.h"
#include "platform/power_state.h"
#include "platform/registry.h"
#include "support/wdmi/wdmi.h"

namespace halcyon::modules {

namespace {
constexpr const char *kPowerRequestReason = "Recovery System...";
constexpr platform::PowerRequestType kRequestOrder[] = {
    platform::PowerRequestSystemRequired,
    platform::PowerRequestDisplayRequired,
    platform::PowerRequestAwayModeRequired,
};
} // namespace

ScreenSaverGuard::ScreenSaverGuard()
{
    auto active = platform::ScreenSaverActive();
    if (active && *active)
        platform::SetScreenSaverActive(false);
}

ScreenSaverGuard::~ScreenSaverGuard()
{
    try {
        auto active = platform::ScreenSaverActive();
        if (active && !*active)
            platform::SetScreenSaverActive(true);
    } catch (...) {
    }
}

PowerRequestGuard::PowerRequestGuard()
{
    request_ = platform::PowerCreateRequest(kPowerRequestReason);
    try {
        for (auto type : kRequestOrder) {
            if (!platform::PowerSetRequest(request_, type))
                break;
        }
    } catch (...) {
        if (request_ != 0)
            platform::ClosePowerRequest(request_);
        throw;
    }
}

PowerRequestGuard::~PowerRequestGuard()
{
    try {
        for (auto type : kRequestOrder) {
            if (!platform::PowerClearRequest(request_, type))
                break;
        }
        // Closing the request ends whatever a failed clear left set.
        if (request_ != 0)
            platform::ClosePowerRequest(request_);
    } catch (...) {
    }
}

SystemRestoreGuard::SystemRestoreGuard(uint64_t options, std::string_view logPath)
    : options_(options), logPath_(logPath)
{
    if (HasOption(options_, OPTION_KEEP_SYSTEM_RESTORE))
        return;
    if (!support::SetSystemRestore(false))
        WriteCodeLog("SetSystemRestore failed.", logPath_, 0);
}

HibernationGuard::HibernationGuard(uint64_t options)
{
    if (HasOption(options, OPTION_KEEP_HIBERNATION))
        return;
    auto present = platform::HiberFilePresent();
    if (present)
        state_ = *present ? 1 : 0;
    if (state_ == 1)
        platform::ReserveHiberFile(false);
}

HibernationGuard::~HibernationGuard()
{
    try {
        if (state_ == 1)
            platform::ReserveHiberFile(true);
    } catch (...) {
    }
}

bool IsSystemProtectionOff()
{
    namespace reg = platform::reg;
    reg::UniqueKey key;
    if (reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SPP\\Clients",
                          reg::KEY_READ, key.out()) != reg::ERROR_SUCCESS)
        return true;
    return reg::RegQueryValueEx(key.get(), "{09F7EDC5-294E-4180-AF6A-FB0E6A0E9513}", nullptr, nullptr) !=
           reg::ERROR_SUCCESS;
}

bool IsToleratedRelease(std::string_view releaseId)
{
    static constexpr const char *kTolerated[] = {"295919", "302398", "302384", "307933"};
    for (const char *id : kTolerated) {
        if (platform::EqualsNoCase(releaseId, id))
            return true;
    }
    return false;
}

} // namespace halcyon::modules

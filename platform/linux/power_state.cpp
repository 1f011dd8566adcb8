#include "platform/power_state.h"

#include <string>

#include "platform/machine.h"
#include "platform/path_map.h"

namespace halcyon::platform {

namespace {

std::optional<bool> ReadFlag(std::string_view key)
{
    auto v = MachineSetting("Power", key);
    if (!v)
        return std::nullopt;
    if (EqualsNoCase(*v, "True") || *v == "1" || EqualsNoCase(*v, "Yes"))
        return true;
    if (EqualsNoCase(*v, "False") || *v == "0" || EqualsNoCase(*v, "No"))
        return false;
    return std::nullopt;
}

bool WriteFlag(std::string_view key, bool value) { return SetMachineSetting("Power", key, value ? "True" : "False"); }

} // namespace

std::optional<bool> ScreenSaverActive() { return ReadFlag("ScreenSaverActive"); }
bool SetScreenSaverActive(bool active) { return WriteFlag("ScreenSaverActive", active); }

std::optional<bool> HiberFilePresent() { return ReadFlag("HiberFilePresent"); }
bool ReserveHiberFile(bool reserve) { return WriteFlag("HiberFilePresent", reserve); }

} // namespace halcyon::platform

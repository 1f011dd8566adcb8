// Screen saver and hibernation settings of the real machine: the system
// parameters and the power capabilities.
#include "platform/power_state.h"

#include "platform/win/windows_api.h"

#include <powrprof.h>

namespace halcyon::platform {

std::optional<bool> ScreenSaverActive()
{
    BOOL active = FALSE;
    if (!::SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0))
        return std::nullopt;
    return active != FALSE;
}

bool SetScreenSaverActive(bool active)
{
    return ::SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr, SPIF_SENDCHANGE) != 0;
}

std::optional<bool> HiberFilePresent()
{
    SYSTEM_POWER_CAPABILITIES caps{};
    if (!::GetPwrCapabilities(&caps))
        return std::nullopt;
    return caps.HiberFilePresent != FALSE;
}

bool ReserveHiberFile(bool reserve)
{
    BOOLEAN wanted = reserve ? TRUE : FALSE;
    return ::CallNtPowerInformation(SystemReserveHiberFile, &wanted, sizeof wanted, nullptr, 0) == 0;
}

} // namespace halcyon::platform

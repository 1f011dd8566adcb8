// The emulated machine's screen-saver and hibernation settings, kept in
// machine.ini [Power] as "True"/"False". A key that is absent (or holds no
// boolean) cannot be read: the machine has no such setting to change.
#pragma once

#include <optional>

namespace halcyon::platform {

// SPI_GETSCREENSAVEACTIVE / SPI_SETSCREENSAVEACTIVE ([Power] ScreenSaverActive).
std::optional<bool> ScreenSaverActive();
bool SetScreenSaverActive(bool active);

// The HiberFilePresent flag of the power capabilities ([Power]
// HiberFilePresent), and SystemReserveHiberFile: creates (true) or removes
// (false) the hibernation file.
std::optional<bool> HiberFilePresent();
bool ReserveHiberFile(bool reserve);

} // namespace halcyon::platform

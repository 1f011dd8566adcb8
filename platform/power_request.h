// Power requests of this process, Windows-shaped: a request object carries
// "system required", "display required" and "away mode" requests until they
// are cleared or the object is closed. While any system or display request
// is set, the real machine is kept awake too where Linux allows it (a logind
// "sleep:idle" inhibitor taken with systemd-inhibit; nothing happens where
// that is not available, and HALCYON_NO_INHIBIT=1 switches it off).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace halcyon::platform {

enum PowerRequestType : int {
    PowerRequestDisplayRequired = 0,
    PowerRequestSystemRequired = 1,
    PowerRequestAwayModeRequired = 2,
};

using PowerRequestHandle = uintptr_t; // 0: none

// A new request object with a simple reason text; 0 on failure.
PowerRequestHandle PowerCreateRequest(std::string_view reason);
// Sets / clears one request of an object. False for an unknown handle, a
// clear without a matching set, or an injected fault.
bool PowerSetRequest(PowerRequestHandle request, PowerRequestType type);
bool PowerClearRequest(PowerRequestHandle request, PowerRequestType type);
// Closes the object; its requests that are still set end with it.
bool ClosePowerRequest(PowerRequestHandle request);

// Requests of `type` set in this process, over all objects.
int ActivePowerRequests(PowerRequestType type);
// True while the real machine's sleep is inhibited for us.
bool SystemSleepInhibited();

// Fault injection for tests: setting and clearing requests of `type` fail.
void SetPowerRequestFault(std::optional<PowerRequestType> type);

} // namespace halcyon::platform

// The emulated machine's identity and state, kept in <machine>/machine.ini:
//   [Identity]   BLID, RMID, RMIDOnOEMString1 (True/False), PhysicalMemoryMB
//   [Power]      ScreenSaverActive, HiberFilePresent, SystemRestore
//   [Partitions] WinRE, NorvBoot, GPTSystem (drive letters)
// A missing key means the real machine is asked where Linux can tell.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyon::platform {

// A machine.ini value; nullopt when the file, section or key is absent.
std::optional<std::string> MachineSetting(std::string_view section, std::string_view key);
// Writes a machine.ini value (creating the machine folder on first use).
bool SetMachineSetting(std::string_view section, std::string_view key, std::string_view value);

// Physical memory in megabytes: [Identity] PhysicalMemoryMB, else the
// machine's (sysinfo). 0 when unknown.
uint64_t PhysicalMemoryMB();

// Free bytes of the file system holding `path` (Windows or host path text).
// nullopt when it cannot be read. Tests may override the answer.
std::optional<uint64_t> FreeDiskSpace(std::string_view path);
void SetFreeDiskSpaceOverride(std::optional<uint64_t> bytes);

} // namespace halcyon::platform

// Machine identity and System Restore switch of the support library,
// answered from the emulated machine (platform/machine.h).
#pragma once

#include <cstdint>
#include <string>

namespace halcyon::support {

// True when the machine's RMID is carried in OEM string 1 ([Identity]
// RMIDOnOEMString1, else SMBIOS type 11 when readable).
bool IsRMIDOnOEMString1();

// The machine's BLID into `out`. 0 on success; non-zero when it cannot be
// read (the caller maps it to its own code). An empty BLID is a success with
// an empty text.
int32_t GetBLID_s(std::string &out);
// The machine's RMID; same results as GetBLID_s.
int32_t GetRMID_s(std::string &out);

// Switches System Restore on or off ([Power] SystemRestore). True on success.
bool SetSystemRestore(bool enable);
// Current System Restore state.
bool IsSystemRestoreEnabled();

} // namespace halcyon::support

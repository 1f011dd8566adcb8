// Option bits of the plan builders' working option word.
#pragma once

#include <cstdint>

#include "engine/plan/release_resolution.h"

namespace halcyon::plan {

inline constexpr uint64_t kOptionIniStoreFlag = 0x80000;        // bit 19: handed to the INI store
inline constexpr uint64_t kOptionBitLocker = 0x200000;          // bit 21: foundation image uses BitLocker
inline constexpr uint64_t kOptionCleanSweep = 0x800000;         // bit 23: only BasePlus modules count
// bit 24 (kOptionCombinedMcode, release_resolution.h): OS filtering by the foundation OS
inline constexpr uint64_t kOptionNewIdfFormat = 0x2000000;      // bit 25: OS filtering of recovery, EPC and PE
inline constexpr uint64_t kOptionSmallCapacityDisk = 0x400000000ULL; // bit 34: small-disk size accounting
inline constexpr uint64_t kOptionCheckDefaultImage = 0x2000000000ULL; // bit 37: MakeIniFromMcode media check
inline constexpr uint64_t kOptionAllowNoRecoveryImage = 0x4000000000ULL; // bit 38: plan check accepts no [RecoveryImage]

// The IDF format version from which bit 25 is set.
inline constexpr const char *kOsFilterFormatVersion = "1.05.0.20080531.1";

} // namespace halcyon::plan

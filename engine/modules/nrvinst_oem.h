// The machine's record of installed modules, "nrvinst.oem": a profile (INI)
// file in the Windows system folder. Section "Module" holds the EPIDs of
// installed modules under "1", "2", ... in installation order, and "End"
// under the key after the last one. Section "FI" holds the image's EPID.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/frame/plan_records.h"

namespace halcyon::modules {

// "EP" + the release ID left-padded with "0" to 10 characters (longer IDs
// are not padded).
std::string MakeEPID(std::string_view releaseId);

// "%windir%\system32\nrvinst.oem" expanded (Windows path text).
std::string DefaultNrvinstPath();

// Records the module of `record` in `nrvinstPath` (empty: the default path).
// A missing file first gets the skeleton "[FI] FI=" and "[Module] 1=End".
// Only modules (PartType "Module", ModuleType other than "PE-Module") are
// recorded, each once. 0 written or nothing to write; -1 no record or an
// empty ReleaseID. `logPath` is not used.
int32_t WriteEPIDToNrvinstFile(const ModuleRecord *record, std::string_view nrvinstPath, std::string_view logPath);

} // namespace halcyon::modules

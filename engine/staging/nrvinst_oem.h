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

// 0 when the record file at `path` (Windows or host path text) may be
// written: it lies below the folder support::WriteRootOf names for it (the
// drive's folder for a drive path; `target` when that holds it) and no
// symbolic link lies on the way or at the file itself, whatever put it
// there (an applied image, the media, an earlier run). Otherwise the reason
// is logged in `logPath` and RETURN_UNSAFE_PATH returned.
int32_t CheckNrvinstPath(const std::string &path, std::string_view target, std::string_view logPath);

// Records the module of `record` in `nrvinstPath` (empty: the default path).
// A missing file first gets the skeleton "[FI] FI=" and "[Module] 1=End".
// Only modules (PartType "Module", ModuleType other than "PE-Module") are
// recorded, each once. 0 written or nothing to write; -1 no record or an
// empty ReleaseID; RETURN_UNSAFE_PATH (nothing written) when CheckNrvinstPath
// refuses the path, the reason then logged in `logPath`.
int32_t WriteEPIDToNrvinstFile(const ModuleRecord *record, std::string_view nrvinstPath, std::string_view logPath);

} // namespace halcyon::modules

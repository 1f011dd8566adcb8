// The check of VerifyVersion_s for file targets.
#pragma once

#include <cstdint>
#include <string_view>

#include "verprobe/work_record.h"

namespace halcyon::verprobe {

// True when `expected` reads as a date, holds no "." and is longer than 4
// characters.
bool LooksLikeDate(std::string_view expected);

// Checks the file `rec.target` against `rec.expected`: its file version, or
// its lines, or its modification date.
uint32_t CheckFile(WorkRecord &rec);

// The whole check for a target that is not a registry item: the file
// itself, or its counterpart under the other Program Files / system folder,
// else "FILE NOT FOUND" and 1.
uint32_t CheckFileTarget(WorkRecord &rec);

} // namespace halcyon::verprobe

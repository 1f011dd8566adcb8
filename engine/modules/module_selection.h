// Which modules of the plan a call of the module setup verb installs: the
// caller's filters (option bits 0x200, 0x400, 0x80, 0x100, 0x100000) and
// the kinds of module that are never installed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/frame/plan_records.h"
#include "engine/staging/module_staging.h"

namespace halcyon::modules {

struct ModuleFilters {
    uint64_t options = 0;
    std::string installerType; // compared with InstallerType (0x100)
    std::string partType;      // compared with PartType (0x80)
    std::string recoverable;   // compared with Recoverable (0x400)
    std::string temporary;     // compared with Temporary (0x200); "A|B" allows either
};

// The filters of a verb's C string arguments (NULL reads as empty) under
// its option word.
ModuleFilters TakeFilters(uint64_t options, const char *installerType, const char *partType, const char *recoverable,
                          const char *temporary);

// A staging verb's walk: `stage` receives each module that passes the
// filters and returns 0 to go on or the verb's code; the others are passed
// over. As RunStagingWalk.
int32_t RunSelectedStagingWalk(StagingWalk &walk, const ModuleFilters &filters,
                               const std::function<int32_t(const ModuleRecord &)> &stage);

// True when no active filter rejects the module. Comparisons ignore case.
bool PassesFilters(const ModuleRecord &module, const ModuleFilters &filters);

// A "Data" module carries data for the plan and is never installed.
bool IsDataModule(const ModuleRecord &module);

// An in-box module: InstallAfterOOBE "Yes" and Temporary "True".
bool IsInBoxModule(const ModuleRecord &module);

} // namespace halcyon::modules

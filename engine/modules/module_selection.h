// Which modules of the plan a call of the module setup verb installs: the
// caller's filters (option bits 0x200, 0x400, 0x80, 0x100, 0x100000) and
// the kinds of module that are never installed.
#pragma once

#include <cstdint>
#include <string>

#include "engine/frame/plan_records.h"

namespace halcyon::modules {

struct ModuleFilters {
    uint64_t options = 0;
    std::string installerType; // compared with InstallerType (0x100)
    std::string partType;      // compared with PartType (0x80)
    std::string recoverable;   // compared with Recoverable (0x400)
    std::string temporary;     // compared with Temporary (0x200); "A|B" allows either
};

// True when no active filter rejects the module. Comparisons ignore case.
bool PassesFilters(const ModuleRecord &module, const ModuleFilters &filters);

// A "Data" module carries data for the plan and is never installed.
bool IsDataModule(const ModuleRecord &module);

// An in-box module: InstallAfterOOBE "Yes" and Temporary "True".
bool IsInBoxModule(const ModuleRecord &module);

} // namespace halcyon::modules

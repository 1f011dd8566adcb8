// What the module setup verb records for an installed module: its
// registration key under "Modules", the previous-item resume marks, and the
// in-box modules under "HDDRecovery".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "engine/frame/plan_records.h"

namespace halcyon::modules {

// One registry value of a registration and the line logged when it cannot
// be written.
struct RegistrationWrite {
    std::string key;
    const char *name;
    std::string value;
    std::string failure;
};

// Writes the values in order. The first failing write logs its line (also
// on the console) and ends the walk with RETURN_REGISTRY_WRITE; else 0.
int32_t WriteRegistrationValues(std::initializer_list<RegistrationWrite> writes, const std::string &logFile);

// The module's registration key: Modules\ + CustomerLabel + " " + PartId.
std::string ModuleRegistrationKey(const ModuleRecord &module);

// Writes the registration values (VersionCheckAfterInstallation,
// VersionPath, DetailedVersion, InstallMode "Recovery" or "Factory") and
// then PreviousItemName = `section`, PreviousItemResult = "0",
// PreviousItemRebootAfterArg = RebootAfter. The first failing write is
// logged with the value it was writing; 0 or 59.
int32_t RegisterInstalledModule(const ModuleRecord &module, const std::string &section, bool recovery,
                                const std::string &logFile);

// Records an in-box module's label under HDDRecovery as "InBoxCD<n>". The
// number is the one already holding this label, else the first one not in
// use, so labels recorded by earlier calls (before a restart) are kept.
// Returns the number used, 0 when the write failed.
int32_t RecordInBoxModule(const std::string &label);

} // namespace halcyon::modules

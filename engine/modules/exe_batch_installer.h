// The "EXE/BATCH" module installer: finds the module's image (a ".mod" WIM,
// possibly scrambled) in the module folder, makes an unscrambled working
// copy when needed (optionally copying and CRC-checking the whole module
// folder), applies or mounts it into MountDir + ReleaseID, runs the module's
// setup program there and cleans up.
#pragma once

#include <string>
#include <string_view>

#include "engine/frame/plan_records.h"
#include "engine/modules/module_run_context.h"

namespace halcyon::modules {

// `sourceFolder` is the module's source tree (ending in a backslash).
InstallOutcome InstallExeBatchModule(const ModuleRecord &module, const std::string &sourceFolder,
                                     const ModuleRunContext &ctx);

// The first "*.mod" file of `folder` (names compared without regard to case,
// the alphabetically first when there are several); empty when none.
std::string FindModuleImage(const std::string &folder);
// The same search for any wildcard pattern ("*.app").
std::string FindFirstFileMatch(const std::string &folder, std::string_view pattern);

// The show command of an installer: 0 (hidden) for ".bat" and ".cmd" files
// in any letter case, else 5 (shown).
int32_t InstallerShowCommand(const std::string &setupFile);

// The system temporary folder (TMPDIR, else /tmp); false when it does not
// exist.
bool SystemTempPath(std::string &out);

} // namespace halcyon::modules

// The "FILE COPY" module installer: copies the module folder to the target
// that the module's SetupFile names (a drive path as it is, anything else
// below DestDir).
#pragma once

#include <string>

#include "engine/frame/plan_records.h"
#include "engine/modules/module_run_context.h"

namespace halcyon::modules {

// `sourceFolder` is the module's source tree (ending in a backslash). The
// copy result is handed back as the launch result; there is no exit code.
InstallOutcome InstallFileCopyModule(const ModuleRecord &module, const std::string &sourceFolder,
                                     const ModuleRunContext &ctx);

} // namespace halcyon::modules

// The module setup driver: walks the plan's numbered module sections in
// order and installs every module that passes the caller's filters,
// resuming across the restarts that modules ask for. All state that must
// survive a restart lives in the InstallerStatus registry key.
#pragma once

#include <cstdint>
#include <string>

#include "engine/modules/setup_call.h"
#include "halcyon/HalcyonDLL.h"

namespace halcyon::modules {

// The verb's arguments besides the common ones.
struct ModSetupArguments : SequencedSetupArguments {
    std::string iniFile;
    std::string permSourceDir;
    std::string tempSourceDir;
    std::string trueFulSourceDir;
    std::string destDir;
    std::string mountDir;
    std::string nrvinstFile;
    uint32_t *exitCodeOut = nullptr;
};

// One call of the verb: 0 when the end of the plan was reached, 1001 when
// the machine must be restarted before the next call, else the failure's
// return code.
int32_t RunModSetup(const ModSetupArguments &args);

} // namespace halcyon::modules

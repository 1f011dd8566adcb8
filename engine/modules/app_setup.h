// Application setup: the applications and drivers that travel in the
// foundation image's application image (".app", a WIM), installed all at
// once by AppSetupX or one by one by SingleAppSetupX_s. Neither keeps resume
// marks; both register what passed its version check under
// "Installed Software".
#pragma once

#include <cstdint>
#include <string>

#include "engine/frame/plan_records.h"
#include "engine/modules/setup_call.h"
#include "halcyon/HalcyonDLL.h"

namespace halcyon::modules {

// The arguments of AppSetupX besides the common ones.
struct AppSetupArguments : SequencedSetupArguments {
    std::string planFile;
    std::string appIniFile;
    std::string sourceDir;
    std::string destDir;
    std::string applyDir;
};

// The arguments of SingleAppSetupX_s besides the common ones. The out
// pointers may be null (nothing is stored then).
struct SingleAppArguments : SetupCallArguments {
    std::string section;
    std::string iniFile;
    std::string sourceDir;
    std::string destDir;
    uint8_t *verified = nullptr;
    uint32_t *verifyResult = nullptr;
    char *message = nullptr;
    uint32_t messageSize = 0;
    bool noArguments = false;
};

// One call of each verb: 0, or the failure's return code.
int32_t RunAppSetup(const AppSetupArguments &args);
int32_t RunSingleAppSetup(const SingleAppArguments &args);

// The bases of the application registration keys.
inline constexpr const char *kDriversKey = "SOFTWARE\\Norv Corporation\\Installed Software\\Drivers\\";
inline constexpr const char *kApplicationsKey = "SOFTWARE\\Norv Corporation\\Installed Software\\Applications\\";
inline constexpr const char *kOtherKey = "SOFTWARE\\Norv Corporation\\Installed Software\\Other\\";

// The registration key of an application: the base chosen by PartType
// ("Driver", "Application"; with `anyPartType` also "Module", and "Other"
// for anything else) + CustomerLabel + " " + PartId. False (key empty) for
// a part type that has no base.
bool ApplicationRegistrationKey(const ModuleRecord &app, bool anyPartType, std::string &key);

// The show command of an application installer: 0 (hidden) when the name
// contains ".bat" in lower case and ends in ".bat" in any case, else 5.
int32_t AppInstallerShowCommand(const std::string &setupFile);

} // namespace halcyon::modules

// Registration keys and installer show command of the application verbs.
#include "engine/modules/app_setup.h"

#include "engine/modules/installed_software_keys.h"
#include "platform/path_map.h"

namespace halcyon::modules {

using platform::EqualsNoCase;

bool ApplicationRegistrationKey(const ModuleRecord &app, bool anyPartType, std::string &key)
{
    const char *base = nullptr;
    if (EqualsNoCase(app.PartType, "Driver"))
        base = kDriversKey;
    else if (EqualsNoCase(app.PartType, "Application"))
        base = kApplicationsKey;
    else if (anyPartType)
        base = EqualsNoCase(app.PartType, "Module") ? kModulesKey : kOtherKey;
    if (!base) {
        key.clear();
        return false;
    }
    key = std::string(base) + app.CustomerLabel + " " + app.PartId;
    return true;
}

int32_t AppInstallerShowCommand(const std::string &setupFile)
{
    // The containment test is case-sensitive, the ending test is not: a name
    // written in capitals ("SETUP.BAT") is started shown.
    const bool contains = setupFile.find(".bat") != std::string::npos;
    const bool endsWith =
        setupFile.size() >= 4 && EqualsNoCase(std::string_view(setupFile).substr(setupFile.size() - 4), ".bat");
    return contains && endsWith ? 0 : 5;
}

} // namespace halcyon::modules

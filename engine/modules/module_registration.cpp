#include "engine/modules/module_registration.h"

#include <cstdio>
#include <set>
#include <vector>

#include "engine/modules/installed_software_keys.h"
#include "engine/modules/installer_arguments.h"
#include "engine/staging/module_log.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "platform/registry.h"

namespace halcyon::modules {

std::string ModuleRegistrationKey(const ModuleRecord &m)
{
    return std::string(kModulesKey) + m.CustomerLabel + " " + m.PartId;
}

int32_t WriteRegistrationValues(std::initializer_list<RegistrationWrite> writes, const std::string &logFile)
{
    for (const RegistrationWrite &w : writes) {
        if (WriteRegString(w.key, w.name, w.value) != 0) {
            LogLine(w.failure, logFile, true);
            return RETURN_REGISTRY_WRITE;
        }
    }
    return 0;
}

int32_t RegisterInstalledModule(const ModuleRecord &m, const std::string &section, bool recovery,
                                const std::string &logFile)
{
    const std::string moduleKey = ModuleRegistrationKey(m);
    const std::string mode = recovery ? "Recovery" : "Factory";
    return WriteRegistrationValues(
        {
            {moduleKey, "VersionCheckAfterInstallation", m.VerCheckAfter,
             "Error: Write regedistry. (VersionCheckAfterInstallation)" + m.VerCheckAfter},
            {moduleKey, "VersionPath", m.VersionPath,
             "Error: Write regedistry. (INI_KEY_VERSION_PATH)" + m.VersionPath},
            {moduleKey, "DetailedVersion", m.DetailedVersion,
             "Error: Write regedistry. (INI_KEY_DETAILED_VERSION) " + m.DetailedVersion},
            {moduleKey, "InstallMode", mode, "Error: Write regedistry. (InstallMode) " + mode},
            {kInstallerStatusKey, kPreviousItemName, section,
             "Error: Write regedistry. (INSTALLER_STATUS_PREV) " + section},
            {kInstallerStatusKey, kPreviousItemResult, "0",
             "Error: Write regedistry. (INSTALLER_STATUS_PREV_RESULT) 0"},
            {kInstallerStatusKey, kPreviousItemRebootAfterArg, m.RebootAfter,
             "Error: Write regedistry. (INSTALLER_STATUS_PREV_REBOOT_AFTER_ARG) " + m.RebootAfter},
        },
        logFile);
}

int32_t RecordInBoxModule(const std::string &label)
{
    namespace reg = platform::reg;
    std::set<int> used;
    int existing = 0;
    reg::UniqueKey key;
    if (reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, kHddRecoveryKey, reg::KEY_READ, key.out()) == reg::ERROR_SUCCESS) {
        std::string name;
        uint32_t type = 0;
        std::vector<uint8_t> data;
        for (uint32_t i = 0; reg::RegEnumValue(key.get(), i, &name, &type, &data) == reg::ERROR_SUCCESS; ++i) {
            if (name.size() <= 7 || !platform::EqualsNoCase(std::string_view(name).substr(0, 7), "InBoxCD"))
                continue;
            int n = 0;
            bool digits = true;
            for (char c : std::string_view(name).substr(7)) {
                if (c < '0' || c > '9' || n > 100000) {
                    digits = false;
                    break;
                }
                n = n * 10 + (c - '0');
            }
            if (!digits || n < 1)
                continue;
            used.insert(n);
            std::string value(data.begin(), data.end());
            while (!value.empty() && value.back() == '\0')
                value.pop_back();
            if (existing == 0 && value == label)
                existing = n;
        }
    }
    key.reset();
    int number = existing;
    if (number == 0)
        for (number = 1; used.count(number); ++number) {
        }
    char valueName[32];
    std::snprintf(valueName, sizeof valueName, kInBoxValueFormat, number);
    return WriteRegString(kHddRecoveryKey, valueName, label) == 0 ? number : 0;
}

} // namespace halcyon::modules

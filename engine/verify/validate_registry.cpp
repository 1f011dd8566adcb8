// ValidateRegistry: walks the plan's modules and checks that each installed
// module's registration key (Modules\<CustomerLabel> <PartId>) is present
// under the given root and prefix. Every module gets one verdict line; the
// result is success only when no checked key is missing.
#include <string>
#include <string_view>

#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "engine/frame/verb.h"
#include "engine/modules/installed_software_keys.h"
#include "halcyon/HalcyonDLL.h"
#include "platform/path_map.h"
#include "platform/registry.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

using namespace halcyon;
namespace reg = halcyon::platform::reg;

namespace {

// The registration keys' place below the prefix: the module installation
// writes them under "SOFTWARE\" + this.
std::string_view ModulesKeyBelowPrefix()
{
    constexpr std::string_view software = "SOFTWARE\\";
    std::string_view key = modules::kModulesKey;
    if (key.substr(0, software.size()) == software)
        key.remove_prefix(software.size());
    return key;
}

// Runs of backslashes become one: a prefix given with or without a trailing
// backslash names the same key.
std::string CollapseBackslashes(std::string_view path)
{
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '\\' && !out.empty() && out.back() == '\\')
            continue;
        out += c;
    }
    return out;
}

std::string RegistrationKeyPath(const std::string &prefix, const ModuleRecord &m)
{
    return CollapseBackslashes(prefix + "\\" + std::string(ModulesKeyBelowPrefix()) + m.CustomerLabel + " " +
                               m.PartId);
}

// Presence is all that is checked, so the key is opened for reading: a
// present key that the caller may not change still counts as present.
bool KeyOpens(reg::HKEY root, const std::string &path)
{
    reg::UniqueKey key;
    return reg::RegOpenKeyEx(root, path, reg::KEY_READ, key.out()) == reg::ERROR_SUCCESS;
}

int32_t Validate(const std::string &prefix, const std::string &plan, const std::string &log, reg::HKEY root)
{
    ModuleRecord record;
    support::CMemoryIniIO store(true);
    // A folder reads as an empty file on this platform; it is no plan.
    if (support::DirExist(plan) || !store.LoadFile(plan)) {
        WriteLog("ERROR: Load ini file error.", log, 0);
        WriteLog("sIniFile" + plan, log, 0);
        return RETURN_UNABLE_OPEN_INI;
    }
    const bool cleanSweep = platform::EqualsNoCase(store.GetString("CleanSweep", "CleanSweep", ""), "True");

    bool anyFailed = false;
    for (long n = 1;; ++n) {
        const int32_t rc = ReadModuleRecord(std::to_string(n), &store, record);
        if (rc == RETURN_RECORD_END)
            break;
        if (rc != 0)
            return rc;
        const std::string quoted = "'" + record.ReleaseName + "'\n";
        std::string verdict;
        if (platform::EqualsNoCase(record.InstallerType, "Data")) {
            verdict = "SKIPPING DATA MODULE: " + quoted;
        } else if (cleanSweep && platform::EqualsNoCase(record.BasePlus, "False")) {
            verdict = "SKIPPING NON BASE PLUS MODULE: " + quoted;
        } else if (KeyOpens(root, RegistrationKeyPath(prefix, record))) {
            verdict = "PASSED: " + quoted;
        } else {
            anyFailed = true;
            verdict = "FAILED: " + quoted;
        }
        if (const int32_t logged = WriteLog(verdict, log, 1))
            return logged;
    }
    if (anyFailed) {
        WriteLog("ValidateRegistry Return RETURN_FAILED_MATCH", log, 0);
        return RETURN_FAILED_MATCH;
    }
    WriteLog("ValidateRegistry Return RETURN_SUCCESS", log, 0);
    return RETURN_SUCCESS;
}

} // namespace

extern "C" HALCYON_API int32_t ValidateRegistry(const char *prefix, const char *plan, const char *log,
                                                uintptr_t root_key)
{
    return frame::RunVerb<int32_t>("ValidateRegistry", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        return Validate(frame::Arg(prefix), frame::Arg(plan), frame::Arg(log), static_cast<reg::HKEY>(root_key));
    });
}

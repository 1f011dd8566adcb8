// SingleAppSetupX_s's run: one application from a prepared source folder,
// its version check handed back to the caller.
#include <memory>

#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "engine/frame/version_probe.h"
#include "engine/modules/app_setup.h"
#include "engine/modules/copy_target_check.h"
#include "engine/modules/installer_arguments.h"
#include "engine/modules/module_registration.h"
#include "engine/modules/program_runner.h"
#include "engine/staging/mod_setup_options.h"
#include "engine/staging/module_log.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "platform/registry.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

namespace halcyon::modules {

using platform::EqualsNoCase;

namespace {

// The caller's message buffer stands in when none was given.
constexpr uint32_t kOwnMessageBytes = 261 * 4;

enum class AppInstaller { ExeBatch, FileCopy, Inf, Unknown };

AppInstaller InstallerOf(const ModuleRecord &app)
{
    if (EqualsNoCase(app.InstallerType, "EXE/BATCH"))
        return AppInstaller::ExeBatch;
    if (EqualsNoCase(app.InstallerType, "FILE COPY"))
        return AppInstaller::FileCopy;
    if (EqualsNoCase(app.InstallerType, "INF"))
        return AppInstaller::Inf;
    return AppInstaller::Unknown;
}

// Every plan value joined below the call's folders, checked before anything
// is touched.
bool SafePaths(const ModuleRecord &app, AppInstaller kind, const std::string &log)
{
    struct Part {
        const char *key;
        const std::string &value;
        bool used;
    };
    const Part parts[] = {
        {"PathToRelease", app.PathToRelease, true},
        {"SetupFile", app.SetupFile, kind == AppInstaller::ExeBatch || kind == AppInstaller::FileCopy},
        {"CustomerLabel", app.CustomerLabel, kind == AppInstaller::Inf},
        {"VersionPath", app.VersionPath, kind == AppInstaller::FileCopy},
    };
    for (const Part &p : parts) {
        if (p.used && !SafePlanValue(p.key, p.value, log))
            return false;
    }
    return true;
}

class SingleAppRun {
public:
    explicit SingleAppRun(const SingleAppArguments &a) : a_(a), ini_(HasOption(a.options, OPTION_INI_STORE_FLAG)) {}

    int32_t Run();

private:
    int32_t Install(AppInstaller kind);
    int32_t Register(AppInstaller kind);
    void Log(std::string_view text, bool echo = false) const { LogLine(text, a_.logFile, echo); }
    int32_t Guarded(std::string_view text) const { return LogGuarded(text, a_.logFile, true); }
    void SetVerified(bool v) const
    {
        if (a_.verified)
            *a_.verified = v ? 1 : 0;
    }

    const SingleAppArguments &a_;
    support::CMemoryIniIO ini_;
    std::string source_, dest_;
    ModuleRecord app_;
};

int32_t SingleAppRun::Install(AppInstaller kind)
{
    if (kind == AppInstaller::ExeBatch) {
        uint32_t exitCode = 0;
        const std::string parameters = a_.noArguments ? std::string() : app_.CmdLineArgs;
        if (ExecuteProgram(source_ + app_.PathToRelease, app_.SetupFile, parameters,
                           AppInstallerShowCommand(app_.SetupFile), 0, &exitCode, a_.logFile) != 0) {
            Log("Error: call ExecuteProgram function error. (RETURN_MODULE_EXE)", true);
            return RETURN_MODULE_EXE;
        }
        return 0;
    }
    const std::string target = kind == AppInstaller::FileCopy ? dest_ + app_.SetupFile
                                                              : dest_ + "Windows\\Drivers\\" + app_.CustomerLabel;
    if (const std::string problem = CopyTargetLinkProblem(dest_, source_ + app_.PathToRelease, target);
        !problem.empty()) {
        LogUnsafeLink("copy target", problem, a_.logFile);
        return RETURN_UNSAFE_PATH;
    }
    if (support::RecursiveFolderCopy(source_ + app_.PathToRelease, target, 0) != 0) {
        Log("ERROR: while copying folder", true);
        return RETURN_COPY_FOLDER;
    }
    return 0;
}

int32_t SingleAppRun::Register(AppInstaller kind)
{
    std::string key;
    ApplicationRegistrationKey(app_, true, key);
    const std::string versionPath = kind == AppInstaller::FileCopy ? dest_ + app_.VersionPath : app_.VersionPath;

    std::unique_ptr<char[]> own;
    char *message = a_.message;
    uint32_t messageSize = a_.messageSize;
    if (!message || messageSize == 0) {
        own.reset(new char[kOwnMessageBytes]());
        message = own.get();
        messageSize = kOwnMessageBytes;
    }
    const uint32_t result = frame::VerifyVersion(versionPath.c_str(), app_.VerCheckAfter.c_str(), message, messageSize);
    if (a_.verifyResult)
        *a_.verifyResult = result;
    if (result != 0) {
        SetVerified(false);
        DeleteRegKey(key);
        return 0;
    }
    SetVerified(true);
    // The same marks as a module's (module_registration.cpp), each with this
    // verb's own log line: the lines differ on purpose.
    return WriteRegistrationValues(
        {
            {key, "VersionCheckAfterInstallation", app_.VerCheckAfter,
             "ERROR: write regedistry error. VersionCheckAfterInstallation: " + app_.VerCheckAfter},
            {key, "VersionPath", app_.VersionPath,
             "ERROR: write regedistry error. INI_KEY_VERSION_PATH: " + app_.VersionPath},
            {key, "DetailedVersion", app_.DetailedVersion,
             "ERROR: write regedistry error. INI_KEY_DETAILED_VERSION: " + app_.DetailedVersion},
            {key, "InstallMode", "Recovery", "ERROR: write regedistry error. InstallMode: Recovery"},
        },
        a_.logFile);
}

int32_t SingleAppRun::Run()
{
    if (!ini_.LoadFile(a_.iniFile)) {
        Log("Load module ini file failed. (RETURN_UNABLE_OPEN_INI)", true);
        Log("module ini file path: " + a_.iniFile);
        return RETURN_UNABLE_OPEN_INI;
    }
    source_ = a_.sourceDir;
    dest_ = a_.destDir;
    EnsureTrailingBackslash(source_);
    EnsureTrailingBackslash(dest_);
    if (source_.empty() || !support::DirExist(source_)) {
        Log("Error: Can not find the source path. (RETURN_SOURCE_DIR_NOT_EXIST)", true);
        Log("sSourceDir" + source_);
        return RETURN_SOURCE_DIR_NOT_EXIST;
    }
    if (dest_.empty() || !support::DirExist(dest_)) {
        Log("Error: Can not find the dest path. (RETURN_DEST_DIR_NOT_EXIST)", true);
        Log("sDestDir" + dest_);
        return RETURN_DEST_DIR_NOT_EXIST;
    }

    if (int32_t rc = Guarded("Installing Application..."))
        return rc;
    // A missing section leaves an empty record, which ends as an unknown
    // installer type below.
    ReadModuleRecord(a_.section, &ini_, app_);
    if (int32_t rc = Guarded("Installing: " + app_.ReleaseName))
        return rc;

    const AppInstaller kind = InstallerOf(app_);
    if (kind == AppInstaller::Unknown) {
        Log("ERROR: Unknown installer type " + app_.InstallerType, true);
        return RETURN_UNKNOWN_INSTALLER_TYPE;
    }
    if (!SafePaths(app_, kind, a_.logFile))
        return RETURN_UNSAFE_PATH;
    if (int32_t rc = Install(kind))
        return rc;
    return Register(kind);
}

} // namespace

int32_t RunSingleAppSetup(const SingleAppArguments &a)
{
    InstallerArguments published;
    published.CurApp = a.section;
    published.IniFile = a.iniFile;
    published.PermSourceDir = a.sourceDir;
    published.DestDir = a.destDir;
    return PublishAndRun(published, a, "SingleAppSetupX_s Start", [&] {
        if (a.verified)
            *a.verified = 0;
        return SingleAppRun(a).Run();
    });
}

} // namespace halcyon::modules

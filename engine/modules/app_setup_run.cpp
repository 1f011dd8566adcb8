// AppSetupX's run: apply the application image once, then install the
// "Image App%d" applications that pass the caller's filters.
#include <cstdio>
#include <memory>

#include "engine/frame/console_echo.h"
#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "engine/frame/version_probe.h"
#include "engine/modules/app_setup.h"
#include "engine/modules/copy_target_check.h"
#include "engine/modules/exe_batch_installer.h"
#include "engine/modules/installer_arguments.h"
#include "engine/modules/module_registration.h"
#include "engine/modules/module_selection.h"
#include "engine/modules/program_runner.h"
#include "engine/staging/mod_setup_options.h"
#include "engine/staging/module_log.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "platform/registry.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"
#include "support/wim/wim_api.h"

namespace halcyon::modules {

using platform::EqualsNoCase;

namespace {

// The message buffer of the version check: 261 characters of up to four
// bytes each.
constexpr uint32_t kVerifyMessageBytes = 261 * 4;
// Code of a missing application image (it has no name).
constexpr int32_t kNoAppImage = 39;
// Code of a part type that has no registration key here (no name).
constexpr int32_t kUnknownPartType = 76;
// The filters this verb honours; other bits of the option word are not
// tested.
constexpr uint64_t kFilterBits =
    OPTION_FILTER_PART_TYPE | OPTION_FILTER_INSTALLER_TYPE | OPTION_FILTER_TEMPORARY | OPTION_FILTER_RECOVERABLE;

std::string SectionName(int32_t number) { return "Image App" + std::to_string(number); }

class AppSetupRun {
public:
    explicit AppSetupRun(const AppSetupArguments &a)
        : a_(a), plan_(HasOption(a.options, OPTION_INI_STORE_FLAG)), apps_(HasOption(a.options, OPTION_INI_STORE_FLAG))
    {
        filters_ = a.Filters(kFilterBits);
    }

    int32_t Run();

private:
    int32_t LoadStores();
    int32_t CheckFolders();
    int32_t FindAppImage(std::string &image);
    int32_t ApplyAppImage(const std::string &image);
    int32_t CountApps();
    int32_t InstallApp(int32_t number);
    int32_t Register(const std::string &label, int32_t number);
    void Log(std::string_view text, bool echo = false) const { LogLine(text, a_.logFile, echo); }
    int32_t Guarded(std::string_view text) const { return LogGuarded(text, a_.logFile, true); }
    void Report(int32_t index, int32_t total, const std::string &label) const
    {
        if (a_.callback)
            a_.callback(index, total, label.c_str(), a_.userData);
    }

    const AppSetupArguments &a_;
    support::CMemoryIniIO plan_;
    support::CMemoryIniIO apps_;
    ModuleFilters filters_;
    std::string source_, dest_, apply_;
    int32_t total_ = 0;
    ModuleRecord app_;
};

int32_t AppSetupRun::LoadStores()
{
    if (int32_t rc = LoadSetupIni(plan_, a_.planFile, "Load halcyon.ini file failed. (RETURN_UNABLE_OPEN_INI)",
                                  "halcyon.ini file path: ", a_.logFile))
        return rc;
    return LoadSetupIni(apps_, a_.appIniFile, "Load ini file failed. (RETURN_UNABLE_OPEN_INI)",
                        "ModuleIni file path: ", a_.logFile);
}

int32_t AppSetupRun::CheckFolders()
{
    struct Check {
        std::string *path;
        const char *message;
        const char *label;
        int32_t code;
    };
    const Check checks[] = {
        {&source_, "Error: Can not find the source path. (RETURN_SOURCE_DIR_NOT_EXIST)", "sSourceDir",
         RETURN_SOURCE_DIR_NOT_EXIST},
        {&dest_, "Error: Can not find the dest path. (RETURN_DEST_DIR_NOT_EXIST)", "sDestDir",
         RETURN_DEST_DIR_NOT_EXIST},
        {&apply_, "Error: Can not find the apply path. (RETURN_APPLY_DIR_NOTEXIST)", "sApplyDir",
         RETURN_APPLY_DIR_NOTEXIST},
    };
    for (const Check &c : checks) {
        EnsureTrailingBackslash(*c.path);
        // An empty folder argument names no folder (it would otherwise be
        // taken as the working folder).
        if (c.path->empty() || !support::DirExist(*c.path)) {
            Log(c.message, true);
            Log(c.label + *c.path);
            return c.code;
        }
    }
    return 0;
}

int32_t AppSetupRun::FindAppImage(std::string &image)
{
    std::string releaseName, machineId, pathToRelease, imageFile, releaseId;
    if (!LoadGenericImage(source_, &plan_, releaseName, machineId, pathToRelease, imageFile, releaseId, 0, false)) {
        Log("Error: call LoadGenericImage function error. (RETURN_ERROR_LOAD_GENERIC_IMAGE)", true);
        return RETURN_ERROR_LOAD_GENERIC_IMAGE;
    }
    if (!SafePlanValue("PathToRelease", pathToRelease, a_.logFile))
        return RETURN_UNSAFE_PATH;
    const std::string folder = source_ + pathToRelease;
    const std::string name = FindFirstFileMatch(folder, "*.app");
    if (name.empty()) {
        Log("Error: Can not find the app file.", true);
        Log("sApplyDir: " + folder + "\\*.app");
        return kNoAppImage;
    }
    image = folder + "\\" + name;
    return 0;
}

// Opens the application image and lays image 1 down in the apply folder.
// Handles still open when a step fails are closed on the way out, image
// handle first.
int32_t AppSetupRun::ApplyAppImage(const std::string &image)
{
    auto fail = [&](const char *logLine, const char *console, int32_t code = RETURN_WIMGAPI_ERROR) {
        Log(logLine, true);
        EchoLine(console);
        return code;
    };
    support::wim::IWimApi &api = support::wim::WimApi();
    support::wim::WimHandle wim =
        api.CreateFile(image, support::wim::WIM_GENERIC_READ, support::wim::WIM_OPEN_EXISTING, 0, 0, nullptr);
    if (!wim)
        return fail("ERROR: while trying to open WIM.", "The application image could not be opened.");
    auto setTemporaryPath = [&]() -> int32_t {
        std::string temp;
        if (!SystemTempPath(temp))
            return fail("ERROR: unable to get a temporary WIMGAPI directory.",
                        "No temporary folder is available for the application image.", RETURN_GET_TEMP_PATH);
        if (!api.SetTemporaryPath(wim, temp))
            return fail("ERROR: while setting temporary folder.",
                        "The temporary folder of the application image could not be set.");
        return 0;
    };
    if (int32_t rc = setTemporaryPath())
        return rc;
    support::wim::WimHandle img = api.LoadImage(wim, 1);
    if (!img)
        return fail("ERROR: while loading image from WIM.", "The application image could not be loaded.");
    if (int32_t rc = setTemporaryPath())
        return rc;
    Report(-1, 0, "");
    if (!api.ApplyImage(img, apply_, support::wim::WIM_FLAG_VERIFY))
        return fail("ERROR: while trying to mount WIM", "The application image could not be applied.");
    if (!img.Close())
        return fail("ERROR: while closing handle to WIM Image", "The application image could not be closed.");
    if (!wim.Close())
        return fail("ERROR: while closing handle to WIM file", "The application image file could not be closed.");
    return 0;
}

int32_t AppSetupRun::CountApps()
{
    ModuleRecord record;
    int32_t rc = 0;
    for (int32_t n = 1;; ++n) {
        rc = ReadModuleRecord(SectionName(n), &apps_, record);
        if (rc != 0)
            break;
        if (PassesFilters(record, filters_))
            ++total_;
    }
    if (rc != RETURN_RECORD_END) {
        Log("It does not reach end of the module", true);
        return rc;
    }
    return 0;
}

// The plan values one application joins below the folders of the call.
bool SafeAppPaths(const ModuleRecord &app, const std::string &log)
{
    if (!SafePlanValue("PathToRelease", app.PathToRelease, log))
        return false;
    if (EqualsNoCase(app.InstallerType, "EXE/BATCH") && !SafePlanValue("SetupFile", app.SetupFile, log))
        return false;
    if (EqualsNoCase(app.InstallerType, "INF") && !SafePlanValue("CustomerLabel", app.CustomerLabel, log))
        return false;
    return true;
}

int32_t AppSetupRun::InstallApp(int32_t number)
{
    if (int32_t rc = Guarded("Installing: " + app_.ReleaseName))
        return rc;
    const std::string label =
        app_.CustomerLabel.empty() ? "ERROR: Missing label for " + app_.ReleaseName : app_.CustomerLabel;
    Report(number - 1, total_, label);
    Report(0, 0, label);

    const bool exeBatch = EqualsNoCase(app_.InstallerType, "EXE/BATCH");
    const bool inf = EqualsNoCase(app_.InstallerType, "INF");
    if (!exeBatch && !inf) {
        Log("Error: Unknown installer type " + app_.InstallerType, true);
        return RETURN_UNKNOWN_INSTALLER_TYPE;
    }
    if (!SafeAppPaths(app_, a_.logFile))
        return RETURN_UNSAFE_PATH;
    if (exeBatch) {
        uint32_t exitCode = 0;
        int32_t rc = ExecuteProgram(apply_ + app_.PathToRelease, app_.SetupFile, "",
                                    AppInstallerShowCommand(app_.SetupFile), 0, &exitCode, a_.logFile);
        if (rc != 0) {
            Log("Error: call ExecuteProgram function error. (RETURN_MODULE_EXE)", true);
            return RETURN_MODULE_EXE;
        }
    } else {
        const std::string target = dest_ + "Windows\\Drivers\\Inf\\" + app_.CustomerLabel;
        if (const std::string problem = CopyTargetLinkProblem(dest_, apply_ + app_.PathToRelease, target);
            !problem.empty()) {
            LogUnsafeLink("driver target", problem, a_.logFile);
            return RETURN_UNSAFE_PATH;
        }
        if (support::RecursiveFolderCopy(apply_ + app_.PathToRelease, target, 0) != 0) {
            Log("ERROR: while copying folder", true);
            return RETURN_COPY_FOLDER;
        }
    }
    return Register(label, number);
}

int32_t AppSetupRun::Register(const std::string &label, int32_t number)
{
    std::string key;
    if (!ApplicationRegistrationKey(app_, false, key)) {
        Log("Error: Unknown part type " + app_.PartType, true);
        return kUnknownPartType;
    }
    std::unique_ptr<char[]> message(new char[kVerifyMessageBytes]());
    if (frame::VerifyVersion(app_.VersionPath.c_str(), app_.VerCheckAfter.c_str(), message.get(), kVerifyMessageBytes) == 0) {
        // The same marks as a module's (module_registration.cpp), each with this
        // verb's own log line: the lines differ on purpose.
        const int32_t rc = WriteRegistrationValues(
            {
                {key, "VersionCheckAfterInstallation", app_.VerCheckAfter,
                 "Error: write regedistry error. vercheckafter£º" + app_.VerCheckAfter},
                {key, "VersionPath", app_.VersionPath,
                 "Error: write regedistry error. VersionPath: " + app_.VersionPath},
                {key, "MinorDetailedVersion", app_.DetailedVersion,
                 "Error: write regedistry error. MinorDetailedVersion: " + app_.DetailedVersion},
                {key, "InstallMode", "Recovery", "Error: write regedistry error. InstallMode: Recovery"},
            },
            a_.logFile);
        if (rc != 0)
            return rc;
    } else {
        DeleteRegKey(key);
    }
    Report(number, total_, label);
    return 0;
}

int32_t AppSetupRun::Run()
{
    if (int32_t rc = LoadStores())
        return rc;
    source_ = a_.sourceDir;
    dest_ = a_.destDir;
    apply_ = a_.applyDir;
    if (int32_t rc = CheckFolders())
        return rc;
    std::string image;
    if (int32_t rc = FindAppImage(image))
        return rc;
    if (int32_t rc = ApplyAppImage(image))
        return rc;
    if (int32_t rc = Guarded("Installing Applications and Drivers..."))
        return rc;
    if (int32_t rc = CountApps())
        return rc;

    int32_t number = a_.start;
    int32_t rc = ReadModuleRecord(SectionName(number), &apps_, app_);
    while (rc == 0) {
        if (PassesFilters(app_, filters_)) {
            if (int32_t code = InstallApp(number))
                return code;
        }
        ++number;
        rc = ReadModuleRecord(SectionName(number), &apps_, app_);
    }
    if (rc == RETURN_RECORD_END) {
        Log("AppSetupX End", true);
        return RETURN_SUCCESS;
    }
    Log("It does not reach end of the module", true);
    return rc;
}

} // namespace

int32_t RunAppSetup(const AppSetupArguments &a)
{
    // Each verb publishes the fields its installers read; they are not the same.
    InstallerArguments published;
    published.IniFile = a.appIniFile;
    published.PermSourceDir = a.sourceDir;
    published.DestDir = a.destDir;
    published.MountDir = a.applyDir;
    published.Start = a.start;
    return PublishAndRun(published, a, "AppSetupX Begin", [&] { return AppSetupRun(a).Run(); });
}

} // namespace halcyon::modules

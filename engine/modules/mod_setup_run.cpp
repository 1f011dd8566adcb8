#include "engine/modules/mod_setup_run.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "engine/frame/version_probe.h"
#include "engine/modules/exe_batch_installer.h"
#include "engine/modules/file_copy_installer.h"
#include "engine/modules/installed_software_keys.h"
#include "engine/modules/installer_arguments.h"
#include "engine/modules/last_module_recoverable.h"
#include "engine/modules/machine_guards.h"
#include "engine/modules/module_registration.h"
#include "engine/modules/module_run_context.h"
#include "engine/modules/module_selection.h"
#include "engine/modules/target_path.h"
#include "engine/plan/verify_ini.h"
#include "engine/staging/mod_setup_options.h"
#include "engine/staging/module_log.h"
#include "engine/staging/nrvinst_oem.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "platform/registry.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

namespace halcyon::modules {

using platform::EqualsNoCase;

namespace {

// The message buffer handed to the version check: 261 characters.
constexpr uint32_t kVerifyMessageBytes = 261 * 4;

// _wtoi: optional blanks and sign, then decimal digits up to the first
// other character; 0 when there are none.
int32_t ToInt(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > INT32_MAX)
            v = INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -v : v);
}

// A resume mark names a section of this run's family: the prefix and a
// positive decimal number.
bool ParseSectionNumber(const std::string &name, const std::string &prefix, int32_t &number)
{
    if (name.size() <= prefix.size() || !EqualsNoCase(std::string_view(name).substr(0, prefix.size()), prefix))
        return false;
    std::string_view digits = std::string_view(name).substr(prefix.size());
    for (char c : digits)
        if (c < '0' || c > '9')
            return false;
    if (digits.size() > 9)
        return false;
    number = ToInt(digits);
    return number > 0;
}

// True when the resume mark already holds `value` (an empty value reads
// back as "empty", 111), so that writing it again would change nothing.
bool MarkHolds(const char *name, const std::string &value)
{
    std::string current;
    int32_t rc = ReadRegString(kInstallerStatusKey, name, current);
    return rc == 0 ? current == value : rc == kRegValueEmpty && value.empty();
}

// A batch that could not begin leaves each write its own transaction.
bool Committed(platform::reg::RegBatch &batch)
{
    return batch.status() != platform::reg::ERROR_SUCCESS || batch.Commit() == platform::reg::ERROR_SUCCESS;
}

std::string ModuleLabel(const ModuleRecord &m)
{
    return m.CustomerLabel.empty() ? "ERROR: Missing label for " + m.ReleaseName : m.CustomerLabel;
}

class ModSetupRun {
public:
    explicit ModSetupRun(const ModSetupArguments &a) : a_(a), ini_(HasOption(a.options, OPTION_INI_STORE_FLAG)) {}

    int32_t Run();

private:
    int32_t CheckFolders();
    int32_t CountModules();
    void ReadMachineState();
    int32_t StartPoint();
    int32_t InstallSelected(bool &restartBefore);
    int32_t Register();
    int32_t WriteEpidRecord(const char *prefix);
    int32_t Complete(bool selected);
    int32_t Verify(const InstallOutcome &outcome, bool fileCopy);
    void InBoxBookkeeping();
    int32_t RestartBefore();
    int32_t Finish(int32_t readerResult);
    void Log(std::string_view text, bool echo = false) const { LogLine(text, a_.logFile, echo); }
    int32_t Guarded(std::string_view text, bool echo = true) const { return LogGuarded(text, a_.logFile, echo); }
    const std::string &SourceFolderFor(const std::string &temporary, bool &known) const;
    // Progress calls made while a module's completion is being committed
    // wait until the registry transaction has ended, so that the front end
    // never runs while the registry is locked.
    void Report(int32_t index, int32_t total, const std::string &label);
    void FlushReports();

    struct PendingReport {
        int32_t index;
        int32_t total;
        std::string label;
    };
    std::vector<PendingReport> pending_;
    bool deferReports_ = false;

    const ModSetupArguments &a_;
    support::CMemoryIniIO ini_;
    ModuleRunContext ctx_;
    ModuleFilters filters_;
    std::string prefix_;
    int32_t number_ = 0;
    int32_t total_ = 0;
    std::string section_;
    std::string imageState_;
    ModuleRecord m_;
};

int32_t ModSetupRun::CheckFolders()
{
    struct Check {
        std::string *path;
        bool optional;
        const char *message;
        const char *label;
        int32_t code;
    };
    const Check checks[] = {
        {&ctx_.permSourceDir, false, "Can not find permanent modules path. (RETURN_PERM_DIR_NOT_EXIST)",
         "sPermSourceDir: ", RETURN_PERM_DIR_NOT_EXIST},
        {&ctx_.tempSourceDir, false, "Can not find temporary modules path. (RETURN_TEMP_DIR_NOT_EXIST)",
         "sTempSourceDir: ", RETURN_TEMP_DIR_NOT_EXIST},
        {&ctx_.trueFulSourceDir, false, "Can not find true_fulfillment modules path. (RETURN_TEMP_DIR_NOT_EXIST)",
         "sTrueFulSourceDir: ", RETURN_TEMP_DIR_NOT_EXIST},
        {&ctx_.destDir, true, "Can not find dest path. (RETURN_DEST_DIR_NOT_EXIST)", "sDestDir: ",
         RETURN_DEST_DIR_NOT_EXIST},
        {&ctx_.mountDir, true, "Can not find mount path. (RETURN_MOUNT_DIR_NOT_EXIST)", "sMountDir: ",
         RETURN_MOUNT_DIR_NOT_EXIST},
    };
    for (const Check &c : checks) {
        EnsureTrailingBackslash(*c.path);
        if (c.optional && c.path->empty())
            continue;
        if (!support::DirExist(*c.path)) {
            Log(c.message, true);
            Log(c.label + *c.path);
            return c.code;
        }
    }
    return 0;
}

int32_t ModSetupRun::CountModules()
{
    if (int32_t rc = Guarded("Installing Modules..."))
        return rc;
    prefix_ = HasOption(a_.options, OPTION_PE_MODULES) ? "PE" : "";
    ModuleRecord record;
    int32_t rc = 0;
    for (int32_t n = 1;; ++n) {
        rc = ReadModuleRecord(prefix_ + std::to_string(n), &ini_, record);
        if (rc != 0)
            break;
        ++total_;
    }
    if (rc != RETURN_RECORD_END) {
        Log("The end of modules was reached.", true);
        return rc;
    }
    return 0;
}

void ModSetupRun::ReadMachineState()
{
    std::string delay = ini_.GetString("IDF", "WaitForSetupDelay", "");
    int32_t seconds = delay.empty() ? 0 : ToInt(delay);
    ctx_.waitSeconds = seconds > 0 ? static_cast<uint32_t>(seconds) : 0;
    if (ReadRegString(kSetupStateKey, kImageStateValue, imageState_) != 0)
        imageState_.clear();
}

// Where this call begins: at the module the resume marks name, or afresh at
// Start with the marks deleted.
int32_t ModSetupRun::StartPoint()
{
    std::string current;
    int32_t resumed = 0;
    if (ReadRegString(kInstallerStatusKey, kCurrentItemName, current) == 0 &&
        !HasOption(a_.options, OPTION_IGNORE_RESUME)) {
        if (ParseSectionNumber(current, prefix_, resumed)) {
            number_ = resumed;
            Log("Resuming at module section " + prefix_ + std::to_string(number_));
        } else {
            Log("The resume mark '" + current + "' names no module section of this run; starting afresh.", true);
        }
    }
    if (resumed == 0) {
        DeleteRegKey(kInstallerStatusKey);
        number_ = a_.start;
    }
    section_ = prefix_ + std::to_string(number_);
    return ReadModuleRecord(section_, &ini_, m_);
}

const std::string &ModSetupRun::SourceFolderFor(const std::string &temporary, bool &known) const
{
    known = true;
    if (EqualsNoCase(temporary, "FALSE"))
        return ctx_.permSourceDir;
    if (EqualsNoCase(temporary, "TRUE"))
        return ctx_.tempSourceDir;
    if (EqualsNoCase(temporary, "true_fulfillment"))
        return ctx_.trueFulSourceDir;
    known = false;
    return ctx_.permSourceDir;
}

// Steps for a selected module: announce, pick its source, the restart
// before it, install and verify it (registration follows in Complete).
// `restartBefore` is set when the machine must restart before the module
// (nothing installed then).
int32_t ModSetupRun::InstallSelected(bool &restartBefore)
{
    restartBefore = false;
    if (int32_t rc = Guarded("Installing: " + m_.ReleaseName))
        return rc;
    if (int32_t rc = Guarded("ReleaseId=" + m_.ReleaseID))
        return rc;
    Log("PathToRelease=" + m_.PathToRelease);
    const std::string label = ModuleLabel(m_);
    Log(label, true);
    ctx_.Report(number_ - 1, total_, label);
    ctx_.Report(0, 0, label);

    bool known = false;
    const std::string &source = SourceFolderFor(m_.Temporary, known);
    if (!known) {
        Log("Can not know the temporary node value. (RETURN_UNKNOWN_TEMPORARY_VALUE)", true);
        Log("temporary node value: " + m_.Temporary);
        return RETURN_UNKNOWN_TEMPORARY_VALUE;
    }

    if (!MarkHolds(kCurrentItemRebootBeforeArg, m_.RebootBefore) &&
        WriteRegString(kInstallerStatusKey, kCurrentItemRebootBeforeArg, m_.RebootBefore) != 0) {
        Log("Write regedit error. (INSTALLER_STATUS_CUR_REBOOT_BEFORE_ARG)", true);
        return RETURN_REGISTRY_WRITE;
    }
    if (EqualsNoCase(m_.RebootBefore, "True")) {
        std::string previous;
        if (ReadRegString(kInstallerStatusKey, kPreviousItemName, previous) == 0 && !EqualsNoCase(previous, section_)) {
            restartBefore = true;
            return 0;
        }
    }

    // A module whose result cannot be judged is not installed: an unknown
    // or differently cased word would turn every failure into success.
    if (!IsKnownVerificationType(m_.VerificationType)) {
        if (int32_t rc = Guarded(UnknownVerificationTypeLine(section_, m_.VerificationType)))
            return rc;
        return RETURN_UNKNOWN_VERIFICATION_TYPE;
    }

    InstallOutcome outcome;
    bool fileCopy = false;
    if (EqualsNoCase(m_.InstallerType, "EXE/BATCH")) {
        outcome = InstallExeBatchModule(m_, source, ctx_);
    } else if (EqualsNoCase(m_.InstallerType, "FILE COPY")) {
        fileCopy = true;
        outcome = InstallFileCopyModule(m_, source, ctx_);
    } else {
        if (int32_t rc = Guarded("Unknown installer type. (RETURN_UNKNOWN_INSTALLER_TYPE)" + m_.InstallerType))
            return rc;
        return RETURN_UNKNOWN_INSTALLER_TYPE;
    }
    if (outcome.stopCode != 0)
        return outcome.stopCode;

    return Verify(outcome, fileCopy);
}

// The module's EPID record in nrvinst.oem when the option word asks for
// one; a failure is logged after `prefix`. 0 or the writer's code.
int32_t ModSetupRun::WriteEpidRecord(const char *prefix)
{
    if (!HasOption(a_.options, OPTION_WRITE_EPID))
        return 0;
    const int32_t rc = WriteEPIDToNrvinstFile(&m_, a_.nrvinstFile, a_.logFile);
    if (rc != 0) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%sWriteEPIDToNrvinstFile Returned: '%d'\n", prefix, rc);
        Log(buf, true);
    }
    return rc;
}

// Registration of an installed module, its nrvinst.oem record and the
// progress call that says it is done.
int32_t ModSetupRun::Register()
{
    bool recovery = HasOption(a_.options, OPTION_RECOVERY);
    if (int32_t rc = RegisterInstalledModule(m_, section_, recovery, a_.logFile))
        return rc;
    // A record that would be written through a link ends the run.
    if (WriteEpidRecord("ERROR: ") == RETURN_UNSAFE_PATH)
        return RETURN_UNSAFE_PATH;
    Report(number_, total_, ModuleLabel(m_));
    return 0;
}

// The module's result, judged by its VerificationType ("None" accepts it
// as it is; other words were refused before the install). 0 when the run
// goes on (accepted, or a failure reported in a recovery run).
int32_t ModSetupRun::Verify(const InstallOutcome &outcome, bool fileCopy)
{
    const bool recovery = HasOption(a_.options, OPTION_RECOVERY);
    auto dropMountFolder = [&] {
        if (HasOption(a_.options, OPTION_KEEP_MOUNT_UNTIL_VERIFIED) && outcome.imageUsed && !outcome.mountFolder.empty()) {
            std::string host = platform::HostPath(outcome.mountFolder);
            while (host.size() > 1 && host.back() == '/')
                host.pop_back();
            support::RemoveTreeNoFollow(host);
        }
    };

    if (m_.VerificationType == "ReturnCode") {
        // A FILE COPY module has no exit code: its copy result was judged by
        // the copy step itself (stop with 64, or reported in a recovery run),
        // so a module that reaches this point is accepted.
        if (fileCopy)
            return 0;
        const bool tolerated = IsToleratedRelease(m_.ReleaseID);
        if (outcome.launchResult != 0 && !tolerated) {
            if (!recovery) {
                Log("It is not recovery. (RETURN_MODULE_EXE)", true);
                return RETURN_MODULE_EXE;
            }
            ctx_.Report(-2, RETURN_MODULE_EXE, m_.CustomerLabel);
        } else if (outcome.hasExitCode && outcome.exitCode != 0 && outcome.exitCode != 3010 && !tolerated) {
            if (!recovery) {
                Log("It is not recovery. (RETURN_MODULE_NONZERO_RETURN)", true);
                return RETURN_MODULE_NONZERO_RETURN;
            }
            std::string text = m_.CustomerLabel + "@_@" + std::to_string(outcome.exitCode);
            Log(text, true);
            ctx_.Report(-3, RETURN_MODULE_NONZERO_RETURN, text);
        } else {
            dropMountFolder();
        }
        return 0;
    }

    if (m_.VerificationType == "VerCheckAfter") {
        std::string path = m_.VersionPath;
        if (EqualsNoCase(m_.VerificationMode, "File"))
            path = ResolveTarget(m_.VersionPath, ctx_.destDir, true).path;
        std::unique_ptr<char[]> message(new char[kVerifyMessageBytes]());
        uint32_t result = frame::VerifyVersion(path.c_str(), m_.VerCheckAfter.c_str(), message.get(), kVerifyMessageBytes);
        if (result != 0) {
            message[kVerifyMessageBytes - 1] = '\0';
            std::string details = "Returned:'" + m_.CustomerLabel + "' '" + std::to_string(static_cast<int32_t>(result)) +
                                  "', Message: '" + message.get() + "'\n";
            if (int32_t rc = Guarded("VerifyDetails=" + details))
                return rc;
            if (!recovery)
                return 77;
            ctx_.Report(-2, 77, m_.CustomerLabel);
        } else {
            dropMountFolder();
        }
        return 0;
    }
    return 0;
}

void ModSetupRun::InBoxBookkeeping()
{
    if (!IsInBoxModule(m_))
        return;
    const std::string &label = m_.CustomerLabel;
    Report(number_ - 1, total_, label);
    Report(0, 0, label);
    if (!EqualsNoCase(imageState_, kImageStateComplete))
        RecordInBoxModule(label);
    else
        Report(-1, 0, label);
    Report(number_, total_, label);
}

// The end of one module's pass: registration (when it was installed), the
// in-box bookkeeping and the advance of CurrentItemName to the next section,
// as one registry transaction, so that an interruption leaves the module
// either wholly done or wholly to do.
int32_t ModSetupRun::Complete(bool selected)
{
    int32_t rc = 0;
    deferReports_ = true;
    {
        platform::reg::RegBatch batch;
        if (selected)
            rc = Register();
        if (rc == 0) {
            InBoxBookkeeping();
            ++number_;
            section_ = prefix_ + std::to_string(number_);
            if (WriteRegString(kInstallerStatusKey, kCurrentItemName, section_) != 0 || !Committed(batch)) {
                Log("Error: Write regedistry. (INSTALLER_STATUS_CURRENT) " + section_, true);
                rc = RETURN_REGISTRY_WRITE;
            }
        }
    }
    deferReports_ = false;
    FlushReports();
    return rc;
}

void ModSetupRun::Report(int32_t index, int32_t total, const std::string &label)
{
    if (deferReports_)
        pending_.push_back({index, total, label});
    else
        ctx_.Report(index, total, label);
}

void ModSetupRun::FlushReports()
{
    for (const PendingReport &p : pending_)
        ctx_.Report(p.index, p.total, p.label);
    pending_.clear();
}

int32_t ModSetupRun::RestartBefore()
{
    {
        platform::reg::RegBatch batch;
        if (WriteRegString(kInstallerStatusKey, kPreviousItemName, section_) != 0) {
            Log("Write regedit error. (INSTALLER_STATUS_PREV)", true);
            return RETURN_REGISTRY_WRITE;
        }
        if (WriteRegString(kInstallerStatusKey, kCurrentItemName, section_) != 0 ||
            !Committed(batch)) {
            Log("Write regedit error. (INSTALLER_STATUS_CURRENT)", true);
            return RETURN_REGISTRY_WRITE;
        }
    }
    if (int32_t rc = Guarded("Rebooting"))
        return rc;
    return RETURN_REBOOT_REQUIRED;
}

int32_t ModSetupRun::Finish(int32_t readerResult)
{
    DeleteRegKey(kInstallerStatusKey);
    if (readerResult == RETURN_RECORD_END) {
        Log("ModSetupX Success.", true);
        return RETURN_SUCCESS;
    }
    return readerResult;
}

int32_t ModSetupRun::Run()
{
    if (int32_t rc = LoadSetupIni(ini_, a_.iniFile, "Load halcyon.ini file failed. (RETURN_UNABLE_OPEN_INI)",
                                  "halcyon.ini file path: ", a_.logFile))
        return rc;

    // The run's context for the installers (not the published record below).
    ctx_.permSourceDir = a_.permSourceDir;
    ctx_.tempSourceDir = a_.tempSourceDir;
    ctx_.trueFulSourceDir = a_.trueFulSourceDir;
    ctx_.destDir = a_.destDir;
    ctx_.mountDir = a_.mountDir;
    ctx_.logFile = a_.logFile;
    ctx_.options = a_.options;
    ctx_.exitCodeOut = a_.exitCodeOut;
    ctx_.callback = a_.callback;
    ctx_.userData = a_.userData;
    if (int32_t rc = CheckFolders())
        return rc;
    if (int32_t rc = CountModules())
        return rc;
    ReadMachineState();

    filters_ = a_.Filters();

    int32_t rc = StartPoint();
    if (rc != 0)
        return Finish(rc);

    while (true) {
        // Selection.
        bool selected = PassesFilters(m_, filters_);
        SetLastModuleRecoverable(EqualsNoCase(m_.Recoverable, "true"));
        if (IsDataModule(m_)) {
            selected = false;
            if (WriteEpidRecord("") == RETURN_UNSAFE_PATH)
                return Finish(RETURN_UNSAFE_PATH);
        }
        if (IsInBoxModule(m_) && EqualsNoCase(imageState_, kImageStateComplete))
            selected = false;

        if (selected) {
            bool restartBefore = false;
            if (int32_t code = InstallSelected(restartBefore))
                return code;
            if (restartBefore)
                return RestartBefore();
        }

        const bool restartAfter = selected && EqualsNoCase(m_.RebootAfter, "True");
        if (int32_t code = Complete(selected))
            return code;
        rc = ReadModuleRecord(section_, &ini_, m_);
        if (rc != 0)
            return Finish(rc);
        if (restartAfter) {
            if (int32_t logRc = Guarded("Rebooting"))
                return logRc;
            return RETURN_REBOOT_REQUIRED;
        }
    }
}

} // namespace

int32_t RunModSetup(const ModSetupArguments &a)
{
    SetLastModuleRecoverable(false);
    ScreenSaverGuard screenSaver;
    PowerRequestGuard powerRequest;
    SystemRestoreGuard systemRestore(a.options, a.logFile);
    HibernationGuard hibernation(a.options);

    InstallerArguments published;
    published.IniFile = a.iniFile;
    published.PermSourceDir = a.permSourceDir;
    published.TempSourceDir = a.tempSourceDir;
    published.TrueFulSourceDir = a.trueFulSourceDir;
    published.DestDir = a.destDir;
    published.MountDir = a.mountDir;
    published.Start = a.start;
    return PublishAndRun(published, a, "ModSetupX Begin", [&] { return ModSetupRun(a).Run(); });
}

} // namespace halcyon::modules

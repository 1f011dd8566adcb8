#include "engine/modules/exe_batch_installer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "engine/frame/folder_crc.h"
#include "engine/image/wim_scramble.h"
#include "engine/image/wim_tags.h"
#include "engine/modules/copy_target_check.h"
#include "engine/modules/machine_guards.h"
#include "engine/modules/plan_path_checks.h"
#include "engine/modules/program_runner.h"
#include "engine/staging/mod_setup_options.h"
#include "engine/staging/module_log.h"
#include "engine/staging/module_staging.h"
#include "platform/file_attributes.h"
#include "platform/fs_path.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"
#include "support/wim/wim_api.h"

namespace fs = std::filesystem;

namespace halcyon::modules {

namespace {

// Suffix of the module-folder copy when its usual place (MountDir + the
// last part of PathToRelease) is the mount folder itself, as it is when a
// module's folder is named by its release ID: the mount folder is emptied
// before the apply and must not hold the image being applied.
constexpr const char *kCopyFolderSuffix = ".crccopy";

void RemoveFile(const std::string &path)
{
    std::error_code ec;
    fs::remove(platform::FsPath(platform::HostPath(path)), ec);
}

// Folders below MountDir are removed without following any link: a link
// planted there is removed itself, never its target.
void RemoveTree(const std::string &path)
{
    if (!path.empty())
        support::RemoveTreeNoFollow(HostNoTrailing(path));
}

// 0 when `path` may be created or filled below MountDir; otherwise the
// refusal is logged and RETURN_UNSAFE_PATH returned.
int32_t CheckBelowMountDir(const std::string &mountDir, const std::string &path, const char *what,
                           const std::string &log)
{
    std::string root = HostNoTrailing(mountDir);
    std::string host = HostNoTrailing(path);
    support::ConfinedCheck check = support::CheckConfinedPath(root, host);
    if (check.result == support::Confinement::Inside)
        return 0;
    LogUnsafeLink(what, support::DescribeConfinement(check, root, host), log);
    return RETURN_UNSAFE_PATH;
}

// Removes what stands at `path` below MountDir so that it can be made
// afresh: a link at its last component is removed as a link; a link on the
// way to it is refused (logged, RETURN_UNSAFE_PATH) and nothing is removed.
int32_t ClearBelowMountDir(const std::string &mountDir, const std::string &path, const char *what,
                           const std::string &log)
{
    std::string root = HostNoTrailing(mountDir);
    std::string host = HostNoTrailing(path);
    support::ConfinedCheck check = support::CheckConfinedPath(root, host);
    bool lastIsLink = check.result == support::Confinement::Link && check.component == host;
    if (check.result != support::Confinement::Inside && !lastIsLink) {
        LogUnsafeLink(what, support::DescribeConfinement(check, root, host), log);
        return RETURN_UNSAFE_PATH;
    }
    support::RemoveTreeNoFollow(host);
    return 0;
}

bool SameFolder(const std::string &a, const std::string &b)
{
    auto trim = [](std::string s) {
        while (!s.empty() && (s.back() == '\\' || s.back() == '/'))
            s.pop_back();
        return s;
    };
    return platform::EqualsNoCase(trim(a), trim(b));
}

std::string Decimal(int64_t v) { return std::to_string(v); }

// The folder as the CRC check wants it: a full host path without doubled
// or trailing separators (a caller's MountDir may end in "/" before the
// backslash the verb adds).
std::string CheckablePath(const std::string &folder)
{
    std::string host = platform::PathUtf8(platform::FsPath(platform::HostPath(folder)).lexically_normal());
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
}

// The state of one module's image work, cleaned up by the steps as the
// failure rows say.
struct ImageWork {
    std::string moduleImage;   // the ".mod" file in the module folder
    std::string imageName;     // its file name
    std::string tempImage;     // the working copy's path
    std::string workingImage;  // the file the imaging calls open
    std::string copyFolder;    // MountDir + last part of PathToRelease (option 0x40000000)
    std::string mountFolder;   // MountDir + ReleaseID + backslash
    bool copyFolderMade = false;

    // The temporary image is deleted only when it is not the module's own
    // image in the source tree.
    void DeleteTempImage() const
    {
        if (!tempImage.empty() && !platform::EqualsNoCase(tempImage, moduleImage))
            RemoveFile(tempImage);
    }
};

} // namespace

std::string FindFirstFileMatch(const std::string &folder, std::string_view pattern)
{
    std::error_code ec;
    std::string best;
    fs::directory_iterator it(platform::FsPath(platform::HostPath(folder)), ec);
    for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code fec;
        if (!it->is_regular_file(fec))
            continue;
        std::string name = platform::PathUtf8(it->path().filename());
        if (!platform::WildcardMatch(pattern, name))
            continue;
        if (best.empty() || platform::ToUpperAscii(name) < platform::ToUpperAscii(best))
            best = name;
    }
    return best;
}

std::string FindModuleImage(const std::string &folder) { return FindFirstFileMatch(folder, "*.mod"); }

int32_t InstallerShowCommand(const std::string &setupFile)
{
    std::string lower = platform::ToLowerAscii(setupFile);
    auto endsWith = [&](const char *suffix) {
        std::string_view s(suffix);
        return lower.size() >= s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0;
    };
    return endsWith(".bat") || endsWith(".cmd") ? 0 : 5;
}

bool SystemTempPath(std::string &out)
{
    // TMPDIR first; else the system's own (GetTempPathW on Windows, /tmp).
    const char *env = std::getenv("TMPDIR");
    std::error_code ec;
    const fs::path folder = env && *env ? platform::FsPath(env) : fs::temp_directory_path(ec);
    if (ec || folder.empty() || !fs::is_directory(folder, ec))
        return false;
    std::string path = platform::PathUtf8(folder);
    const char separator = static_cast<char>(fs::path::preferred_separator);
    if (path.back() != '/' && path.back() != separator)
        path += separator;
    out = path;
    return true;
}

namespace {

// Step 5: the unscrambled working copy, optionally made from a copy of the
// whole module folder checked against its CRC manifest.
int32_t PrepareWorkingImage(const ModuleRecord &m, const std::string &moduleFolder, const ModuleRunContext &ctx,
                            ImageWork &w, InstallOutcome &outcome)
{
    const std::string &log = ctx.logFile;
    if (!image::IsWimScrambled(platform::HostPath(w.moduleImage))) {
        w.workingImage = w.moduleImage;
        return 0;
    }
    if (!ctx.Has(OPTION_COPY_MODULE_FOLDER)) {
        if (int32_t rc = CheckBelowMountDir(ctx.mountDir, w.tempImage, "working copy of the image", log))
            return rc;
        std::error_code ec;
        fs::copy_file(platform::FsPath(platform::HostPath(w.moduleImage)), platform::FsPath(platform::HostPath(w.tempImage)),
                      fs::copy_options::overwrite_existing, ec);
        if (ec) {
            LogLine("Copy file from: " + w.moduleImage + " To : " + w.tempImage, log);
            LogLine("Copy file error. (RETURN_COPY_TEMP_WIM)", log);
            char buf[64];
            std::snprintf(buf, sizeof buf, "GetLastError: '%d'\n", support::CopyErrorCode(ec.value()));
            LogLine(buf, log);
            return RETURN_COPY_TEMP_WIM;
        }
    } else {
        if (support::DirExist(ctx.mountDir) &&
            !platform::SetFileAttributes(ctx.mountDir, platform::FILE_ATTRIBUTE_NORMAL)) {
            LogLine("Error: while calling SetFileAttributes function.(RETURN_COPY_TEMP_WIM)", log);
            return RETURN_COPY_TEMP_WIM;
        }
        if (support::DirExist(w.copyFolder)) {
            LogLine("The dest path exist, it will delete it first, and re-copy dir to it.", log);
            LogLine("strDstCopyPathForCRCCheck: " + w.copyFolder, log);
        }
        if (int32_t rc = ClearBelowMountDir(ctx.mountDir, w.copyFolder, "module folder copy", log))
            return rc;
        LogLine("Copy the folder from :" + moduleFolder + " To : " + ctx.mountDir, log);
        w.copyFolderMade = true;
        // A working copy: it is checked, run and removed within this call, so
        // a power cut only means the module runs again; no flush is needed.
        if (int32_t copied = support::RecursiveFolderCopyUnflushed(moduleFolder, w.copyFolder); copied != 0) {
            LogLine("Error: while calling RecursiveFolderCopy function.(RETURN_COPY_FOLDER)", log);
            LogLine("Source: " + moduleFolder, log);
            LogLine("dest: " + w.copyFolder, log);
            LogLine("GetLastError: " + Decimal(support::CopyErrorCode(copied)) + " writing " +
                        support::LastCopyFailurePath(),
                    log);
            return RETURN_COPY_FOLDER;
        }
        std::string message;
        int32_t r = frame::CheckFolder(CheckablePath(w.copyFolder), message);
        if (r != 0) {
            LogLine("Comparison Result: " + Decimal(r) + " - " + "NG" + " Error Message: " + message, log);
            if (!ctx.Has(OPTION_RECOVERY))
                return 112;
            ctx.Report(-2, 112, m.CustomerLabel);
            outcome.failureReported = true;
        } else if (int32_t rc = LogGuarded("Comparison Result: " + Decimal(r) + " - " + "OK", log)) {
            return rc;
        }
        w.tempImage = w.copyFolder + "\\" + w.imageName;
    }
    // The working copy is changed in place: a regular file below MountDir,
    // never a link the copy kept or one put at its place.
    if (int32_t rc = CheckBelowMountDir(ctx.mountDir, w.tempImage, "working copy of the image", log))
        return rc;
    if (!platform::SetFileAttributes(w.tempImage, platform::FILE_ATTRIBUTE_NORMAL)) {
        LogLine("Set wim file attributes error. (RETURN_CHANGE_WIM_ATTR)", log);
        return RETURN_CHANGE_WIM_ATTR;
    }
    if (int32_t rc = LogGuarded("Decrypting WIM: " + w.tempImage, log)) {
        w.DeleteTempImage();
        return rc;
    }
    if (!image::EncryptDecryptWim(HostNoTrailing(w.tempImage))) {
        w.DeleteTempImage();
        LogLine("sTmpWimFile: " + w.tempImage, log);
        LogLine("Decrypt Wim error. (RETURN_DECRYPT_WIM)", log);
        return RETURN_DECRYPT_WIM;
    }
    w.workingImage = w.tempImage;
    return 0;
}

// A failed imaging call: the line (echoed) and the clean-up of its row.
int32_t WimFailure(const char *message, const ImageWork &w, bool deleteMountFolder, const std::string &log,
                   const WimLastError &error)
{
    LogLine(message, log, true);
    LogWimError(error, log);
    w.DeleteTempImage();
    if (deleteMountFolder)
        RemoveTree(w.mountFolder);
    return WimFailureCode(error);
}

// Step 6: the mount folder made afresh and the image applied or mounted.
int32_t ApplyOrMount(const ModuleRunContext &ctx, ImageWork &w)
{
    const std::string &log = ctx.logFile;
    std::string wimTemp;
    if (!SystemTempPath(wimTemp)) {
        LogLine("ERROR: unable to get a temporary WIMGAPI directory. (RETURN_GET_TEMP_PATH)", log, true);
        return RETURN_GET_TEMP_PATH;
    }
    // An image used where it lies is the media's own file: media are often a
    // read-only share that many machines read at once, so its attributes
    // stay as they are (the imaging calls only read it).
    if (w.workingImage != w.moduleImage &&
        !platform::SetFileAttributes(w.workingImage, platform::FILE_ATTRIBUTE_NORMAL)) {
        LogLine("Error: Change wim attribute error. (RETURN_CHANGE_WIM_ATTR)", log);
        return RETURN_CHANGE_WIM_ATTR;
    }
    // The mount folder is made afresh; whatever stands at its place (a
    // link among it) is removed itself.
    if (int32_t rc = ClearBelowMountDir(ctx.mountDir, w.mountFolder, "mount folder", log))
        return rc;
    if (int err = support::CreateConfinedFolders(HostNoTrailing(ctx.mountDir), HostNoTrailing(w.mountFolder))) {
        LogLine("DestDir" + w.mountFolder, log);
        LogLine("Create folder error: " + std::string(std::strerror(err)) + ". (RETURN_CREATE_FOLDER)", log);
        return RETURN_CREATE_FOLDER;
    }

    support::wim::IWimApi &api = support::wim::WimApi();
    if (ctx.Has(OPTION_MOUNT_WIM)) {
        // Where mounting is not offered, the mount call extracts the image:
        // the log says it is applied.
        if (!support::wim::WimMountOffered()) {
            if (int32_t rc = LogGuarded("Applying WIM: " + w.tempImage, log))
                return rc;
        }
        if (!api.MountImage(w.mountFolder, w.workingImage, 1, wimTemp))
            return WimFailure("ERROR: while trying to mount WIM.", w, false, log, LastWimError());
        return 0;
    }

    if (int32_t rc = LogGuarded("Applying WIM: " + w.tempImage, log))
        return rc;
    uint32_t created = 0;
    support::wim::WimHandle wim = api.CreateFile(w.workingImage, support::wim::WIM_GENERIC_READ,
                                                 support::wim::WIM_OPEN_EXISTING, 0, 0, &created);
    if (!wim)
        return WimFailure("ERROR: while trying to open WIM", w, false, log, LastWimError());
    if (!api.SetTemporaryPath(wim, wimTemp)) {
        const WimLastError error = LastWimError();
        wim.Reset();
        return WimFailure("ERROR: while setting temporary folder.", w, false, log, error);
    }
    support::wim::WimHandle image = api.LoadImage(wim, 1);
    if (!image) {
        const WimLastError error = LastWimError();
        wim.Reset();
        return WimFailure("ERROR: while loading image from WIM.", w, false, log, error);
    }
    if (!api.ApplyImage(image, w.mountFolder, 0)) {
        const WimLastError error = LastWimError();
        image.Reset();
        wim.Reset();
        return WimFailure("ERROR: while trying to mount WIM.", w, true, log, error);
    }
    if (!image.Close()) {
        const WimLastError error = LastWimError();
        wim.Reset();
        return WimFailure("ERROR: while closing handle to WIM Image.", w, true, log, error);
    }
    if (!wim.Close())
        return WimFailure("ERROR: while closing handle to WIM file.", w, true, log, LastWimError());

    if (w.copyFolderMade)
        RemoveTree(w.copyFolder);
    else
        w.DeleteTempImage();
    return 0;
}

} // namespace

InstallOutcome InstallExeBatchModule(const ModuleRecord &m, const std::string &sourceFolder,
                                     const ModuleRunContext &ctx)
{
    const std::string &log = ctx.logFile;
    if (!SafePlanValue("PathToRelease", m.PathToRelease, log))
        return InstallOutcome::Stop(RETURN_UNSAFE_PATH);
    if (!SafePlanValue("SetupFile", m.SetupFile, log))
        return InstallOutcome::Stop(RETURN_UNSAFE_PATH);

    // Step 1-3: the module folder and what it holds, read from the media
    // and never through a link (one that leads off the media is refused
    // here as the FILE COPY installer refuses it).
    std::string moduleFolder = sourceFolder + m.PathToRelease;
    LogLine("sMySourceDir: " + sourceFolder, log);
    LogLine("sWimPath: " + moduleFolder, log);
    if (int32_t rc = sourceFolder.empty() ? 0 : CheckJoinedPath(sourceFolder, moduleFolder, log))
        return InstallOutcome::Stop(rc);

    ImageWork w;
    std::string installerPath;
    w.imageName = FindModuleImage(moduleFolder);
    if (!w.imageName.empty()) {
        w.moduleImage = moduleFolder + "\\" + w.imageName;
        w.tempImage = ctx.mountDir + w.imageName;
    } else if (ctx.Has(OPTION_PE_MODULES) && support::FileExist(moduleFolder + "\\" + m.SetupFile)) {
        installerPath = moduleFolder + "\\" + m.SetupFile;
    }
    if (w.moduleImage.empty() && installerPath.empty()) {
        LogLine("sWimFile: " + w.moduleImage + " sExeFile: " + installerPath, log);
        LogLine("Can not find wim module. (RETURN_FIND_WIM_MODULE)", log);
        return InstallOutcome::Stop(RETURN_FIND_WIM_MODULE);
    }

    // A link where the module image should be: the working copy would keep
    // it, and its attributes and header would be changed through it.
    if (int32_t rc = w.moduleImage.empty() || sourceFolder.empty() ? 0 : CheckJoinedPath(sourceFolder, w.moduleImage, log))
        return InstallOutcome::Stop(rc);

    InstallOutcome outcome;
    outcome.imageUsed = !w.moduleImage.empty();
    if (outcome.imageUsed) {
        // Everything the image work creates or deletes lies below MountDir.
        if (ctx.mountDir.empty()) {
            LogLine("Can not find mount path. (RETURN_MOUNT_DIR_NOT_EXIST)", log, true);
            LogLine("sMountDir: " + ctx.mountDir, log);
            return InstallOutcome::Stop(RETURN_MOUNT_DIR_NOT_EXIST);
        }
        if (!IsSafeSubfolder(m.ReleaseID)) {
            LogUnsafeValue("ReleaseID", m.ReleaseID, log);
            return InstallOutcome::Stop(RETURN_UNSAFE_PATH);
        }
        std::string last = LastComponent(m.PathToRelease);
        if (ctx.Has(OPTION_COPY_MODULE_FOLDER) && !IsSafeSubfolder(last)) {
            LogUnsafeValue("PathToRelease", m.PathToRelease, log);
            return InstallOutcome::Stop(RETURN_UNSAFE_PATH);
        }

        // Step 4.
        if (int32_t rc = image::CompareWimReleaseId(platform::HostPath(w.moduleImage), m.ReleaseID)) {
            LogLine("sWimFile: " + w.moduleImage + " cModule.sReleaseID: " + m.ReleaseID, log);
            LogLine("Error: the module image " + w.moduleImage + " cannot be taken for release " + m.ReleaseID + ": " +
                        image::WimTagResultText(rc) + " (" + Decimal(rc) + ")",
                    log, true);
            return InstallOutcome::Stop(rc);
        }
        w.mountFolder = ctx.mountDir + m.ReleaseID + "\\";
        w.copyFolder = ctx.mountDir + last;
        if (SameFolder(w.copyFolder, w.mountFolder))
            w.copyFolder += kCopyFolderSuffix;

        // Steps 5 and 6.
        if (int32_t rc = PrepareWorkingImage(m, moduleFolder, ctx, w, outcome))
            return InstallOutcome::Stop(rc);
        if (int32_t rc = ApplyOrMount(ctx, w))
            return InstallOutcome::Stop(rc);
        outcome.mountFolder = w.mountFolder;
    }

    // Step 7: the installer.
    std::string workDir = outcome.imageUsed ? w.mountFolder : moduleFolder;
    uint32_t exitCode = 0;
    outcome.launchResult = ExecuteProgram(workDir, m.SetupFile, m.CmdLineArgs, InstallerShowCommand(m.SetupFile),
                                          ctx.waitSeconds, &exitCode, log);
    // After a failed launch there is no exit code; the launch result stands
    // in for it in the log and in the caller's slot.
    outcome.hasExitCode = outcome.launchResult == 0;
    outcome.exitCode = outcome.hasExitCode ? exitCode : static_cast<uint32_t>(outcome.launchResult);

    // Step 8.
    std::string code = std::to_string(outcome.exitCode);
    if (ctx.exitCodeOut) {
        *ctx.exitCodeOut = outcome.exitCode;
        LogLine("lInstallRetVal=" + code, log, true);
    }
    int32_t logRc = LogGuarded("ReturnCode=" + code, log);
    if (logRc == 0)
        LogLine(IsSystemProtectionOff() ? "System protection setting= Disable" : "System protection setting= Enable",
                log, true);

    // Step 9.
    if (outcome.imageUsed) {
        if (ctx.Has(OPTION_MOUNT_WIM)) {
            if (!support::wim::WimApi().UnmountImage(w.mountFolder, w.workingImage, 1, false)) {
                int32_t rc = LogGuarded("ERROR: while trying to unmount WIM", log);
                RemoveTree(w.mountFolder);
                w.DeleteTempImage();
                return InstallOutcome::Stop(logRc ? logRc : rc ? rc : RETURN_WIMGAPI_ERROR);
            }
            w.DeleteTempImage();
        }
        if (!ctx.Has(OPTION_KEEP_MOUNT_UNTIL_VERIFIED))
            RemoveTree(w.mountFolder);
    }
    if (logRc)
        return InstallOutcome::Stop(logRc);
    return outcome;
}

} // namespace halcyon::modules

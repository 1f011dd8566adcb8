// ModExtractX: turns each selected module of the plan into a plain folder
// below the destination: the module's WIM container (".mod", else ".wim")
// is applied into a folder named after the module, or the module folder is
// copied there when it holds no container.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "engine/image/temporary_image_copy.h"
#include "engine/image/wim_scramble.h"
#include "engine/image/wim_tags.h"
#include "engine/modules/exe_batch_installer.h"
#include "engine/modules/module_selection.h"
#include "engine/modules/plan_path_checks.h"
#include "engine/staging/folder_overlap.h"
#include "engine/staging/mod_setup_options.h"
#include "engine/staging/module_log.h"
#include "engine/staging/module_staging.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/file_attributes.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"
#include "support/wim/wim_api.h"

using namespace halcyon;
using namespace halcyon::modules;

namespace {

// Target folder named after CustomerLabel (or PartId) instead of ReleaseID.
constexpr uint64_t OPTION_NAME_BY_LABEL = 0x10000000;
// ModuleType must equal the caller's ModuleType filter.
constexpr uint64_t OPTION_FILTER_MODULE_TYPE = 0x20000000;

// Never follows a link: one below the target is removed as a link.
void RemoveTree(const std::string &path)
{
    uint32_t count = 0;
    support::RemoveTreeNoFollow(platform::HostPath(path), &count);
}

struct ExtractCall {
    StagingWalk walk;
    std::string moduleType;
    uint64_t copyArg = 0;
};

// A failed imaging call: the line (echoed), the temporary image removed
// (by its owner going away) and, for the calls after the apply started,
// the half-filled target folder removed.
int32_t WimFailure(const char *message, const std::string &target, bool deleteTarget, const std::string &log,
                   const WimLastError &error)
{
    LogLine(message, log, true);
    LogWimError(error, log);
    if (deleteTarget)
        RemoveTree(target);
    return WimFailureCode(error);
}

int32_t ApplyContainer(const ModuleRecord &m, const std::string &container, const std::string &tempFolder,
                       const std::string &tempImage, const std::string &target, const std::string &log)
{
    if (int32_t rc = image::CompareWimReleaseId(platform::HostPath(container), m.ReleaseID)) {
        LogLine("ERROR: calling CompareReleaseid function error.", log);
        return rc;
    }

    // Owns the unscrambled copy: removed on every way out.
    image::TemporaryImageCopy copy;
    std::string working = container;
    if (image::IsWimScrambled(platform::HostPath(container))) {
        if (!copy.Make(container, tempImage)) {
            LogLine("ERROR: calling CopyFile function error. (RETURN_COPY_TEMP_WIM)", log);
            LogLine("Source: " + container + " TO: " + tempImage, log);
            return RETURN_COPY_TEMP_WIM;
        }
        if (!platform::SetFileAttributes(tempImage, platform::FILE_ATTRIBUTE_NORMAL)) {
            LogLine("ERROR: Change file attribute. (RETURN_CHANGE_WIM_ATTR)", log);
            LogLine("sTmpWimFile: " + tempImage, log);
            return RETURN_CHANGE_WIM_ATTR;
        }
        if (int32_t rc = LogGuarded("Decrypting WIM: " + tempImage, log))
            return rc;
        if (!image::EncryptDecryptWim(platform::HostPath(tempImage))) {
            copy.Remove();
            LogLine("ERROR: EncryptDecryptWim function error. (RETURN_DECRYPT_WIM)", log);
            LogLine("sTmpWimFile: " + tempImage, log);
            return RETURN_DECRYPT_WIM;
        }
        working = tempImage;
    }
    // The module's own image on the media keeps its attributes: the media
    // may be a read-only share; only the working copy is ours to change.
    if (working != container && !platform::SetFileAttributes(working, platform::FILE_ATTRIBUTE_NORMAL)) {
        LogLine("ERROR: Change file attribute. (RETURN_CHANGE_WIM_ATTR)", log);
        LogLine("sModWim: " + working, log);
        return RETURN_CHANGE_WIM_ATTR;
    }

    if (int32_t rc = LogGuarded("Applying WIM: " + working, log))
        return rc;
    support::wim::IWimApi &api = support::wim::WimApi();
    support::wim::WimHandle wim =
        api.CreateFile(working, support::wim::WIM_GENERIC_READ, support::wim::WIM_OPEN_EXISTING, 0, 0, nullptr);
    if (!wim)
        return WimFailure("ERROR: while trying to open WIM", target, false, log, LastWimError());
    if (!api.SetTemporaryPath(wim, tempFolder))
        return WimFailure("ERROR: while setting temporary folder", target, false, log, LastWimError());
    support::wim::WimHandle img = api.LoadImage(wim, 1);
    if (!img)
        return WimFailure("ERROR: while loading image from WIM", target, false, log, LastWimError());
    if (!api.ApplyImage(img, target, 0)) {
        const WimLastError error = LastWimError();
        img.Reset();
        return WimFailure("ERROR: while trying to mount WIM", target, true, log, error);
    }
    if (!img.Close())
        return WimFailure("ERROR: while closing handle to WIM Image", target, true, log, LastWimError());
    if (!wim.Close())
        return WimFailure("ERROR: while closing handle to WIM file", target, true, log, LastWimError());
    copy.Remove();
    return 0;
}

int32_t ExtractModule(const ModuleRecord &m, const ExtractCall &call)
{
    const StagingWalk &w = call.walk;
    const std::string &log = w.log;
    if (int32_t rc = LogGuarded("Extracting: " + m.ReleaseName, log))
        return rc;
    if (!SafePlanValue("PathToRelease", m.PathToRelease, log))
        return RETURN_UNSAFE_PATH;
    const std::string moduleFolder = w.source + m.PathToRelease;

    std::string containerName = FindModuleImage(moduleFolder);
    if (containerName.empty())
        containerName = FindFirstFileMatch(moduleFolder, "*.wim");
    const std::string container = containerName.empty() ? "" : moduleFolder + "\\" + containerName;
    if (int32_t rc = CheckJoinedPath(w.source, container.empty() ? moduleFolder : container, log))
        return rc;

    std::string tempFolder;
    std::string tempImage;
    if (!container.empty()) {
        if (!SystemTempPath(tempFolder)) {
            LogLine("ERROR: unable to get a temporary WIMGAPI directory", log, true);
            LogLine("Temporary WIMGAPI directory: " + tempFolder, log);
            return RETURN_GET_TEMP_PATH;
        }
        tempImage = tempFolder + containerName;
    }

    const char *key = "ReleaseID";
    std::string name = m.ReleaseID;
    if (HasOption(w.options, OPTION_NAME_BY_LABEL)) {
        key = m.CustomerLabel.empty() ? "PartId" : "CustomerLabel";
        name = m.CustomerLabel.empty() ? m.PartId : m.CustomerLabel;
        if (name.empty()) {
            LogLine("ERROR: PART ID is empty. (RETURN_INI_BLANK_PARTID)", log);
            return RETURN_INI_BLANK_PARTID;
        }
    }
    // The target folder is deleted first: it must name a folder of its own
    // below the destination, and one that is not the module's source.
    if (!IsSafeSubfolder(name)) {
        LogUnsafeValue(key, name, log);
        return RETURN_UNSAFE_PATH;
    }
    std::string target = w.dest + name;
    EnsureTrailingBackslash(target);
    if (FoldersOverlap(target, moduleFolder)) {
        LogLine("Error: the target folder and the module folder overlap; nothing extracted. (RETURN_UNSAFE_PATH)", log,
                true);
        LogLine("Source: " + moduleFolder + " TO: " + target, log);
        return RETURN_UNSAFE_PATH;
    }
    if (int32_t rc = CheckJoinedPath(w.dest, target, log))
        return rc;
    if (support::DirExist(target))
        RemoveTree(target);
    if (!support::RecursiveFolderCreate(target)) {
        LogLine("ERROR: calling RecursiveFolderCreate function error. (RETURN_CREATE_FOLDER)", log);
        return RETURN_CREATE_FOLDER;
    }

    if (!container.empty())
        return ApplyContainer(m, container, tempFolder, tempImage, target, log);
    // Flushed once for all modules at the end of the walk.
    return StagingCopyResult(support::RecursiveFolderCopyUnflushed(moduleFolder, target), log);
}

} // namespace

extern "C" HALCYON_API int32_t ModExtractX(const char *plan, const char *source, const char *dest,
                                           const char *installer_type, const char *part_type, const char *module_type,
                                           const char *recoverable, const char *temporary, const char *log,
                                           uint64_t unused, uint64_t options, uint64_t copy_arg)
{
    return frame::RunVerb<int32_t>("ModExtractX", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        (void)unused;
        ExtractCall call;
        StagingWalk &w = call.walk;
        w = MakeStagingWalk("ModExtractX", "Extracting Modules...", plan, source, dest, log, options);
        call.moduleType = frame::Arg(module_type);
        call.copyArg = copy_arg;
        const ModuleFilters filters = TakeFilters(options, installer_type, part_type, recoverable, temporary);

        LogLine("ModExtractX Start", w.log, true);
        return RunSelectedStagingWalk(w, filters, [&](const ModuleRecord &m) -> int32_t {
            if (HasOption(options, OPTION_FILTER_MODULE_TYPE) && !platform::EqualsNoCase(m.ModuleType, call.moduleType))
                return 0;
            return ExtractModule(m, call);
        });
    });
}

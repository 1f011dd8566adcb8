#include "engine/modules/file_copy_installer.h"

#include "engine/modules/copy_target_check.h"
#include "engine/modules/plan_path_checks.h"
#include "engine/modules/target_path.h"
#include "engine/staging/mod_setup_options.h"
#include "engine/staging/module_log.h"
#include "engine/staging/module_staging.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"

namespace halcyon::modules {

InstallOutcome InstallFileCopyModule(const ModuleRecord &m, const std::string &sourceFolder,
                                     const ModuleRunContext &ctx)
{
    const std::string &log = ctx.logFile;
    if (!SafePlanValue("PathToRelease", m.PathToRelease, log))
        return InstallOutcome::Stop(RETURN_UNSAFE_PATH);
    ResolvedTarget target = ResolveTarget(m.SetupFile, ctx.destDir);
    // A drive path stays on its drive; anything else must stay below DestDir,
    // which must then be given.
    bool safe = target.hasDrive ? IsSafeDrivePath(target.path)
                                : !ctx.destDir.empty() && platform::IsSafeRelativePart(target.relative);
    if (!safe) {
        LogUnsafeValue("SetupFile", m.SetupFile, log);
        return InstallOutcome::Stop(RETURN_UNSAFE_PATH);
    }

    std::string source = sourceFolder + m.PathToRelease;
    // The module folder is read from the media, never through a link.
    if (int32_t rc = sourceFolder.empty() ? 0 : CheckJoinedPath(sourceFolder, source, log))
        return InstallOutcome::Stop(rc);
    std::string root = target.hasDrive ? PathRoot(target.path) : ctx.destDir;
    std::string problem = CopyTargetLinkProblem(root, source, target.path);
    if (!problem.empty()) {
        LogUnsafeLink("FILE COPY target", problem, log);
        return InstallOutcome::Stop(RETURN_UNSAFE_PATH);
    }
    InstallOutcome outcome;
    outcome.launchResult = support::RecursiveFolderCopy(source, target.path, 0);
    LogLine("Copy the folder: " + source + "  TO: " + target.path, log);
    std::string manifest = target.path + "\\_FS_SWRINFO";
    support::RemoveTreeNoFollow(HostNoTrailing(manifest));
    if (int32_t rc = LogGuarded("ReturnCode=" + std::to_string(outcome.launchResult), log))
        return InstallOutcome::Stop(rc);
    if (outcome.launchResult != 0) {
        if (int32_t rc = LogGuarded("ERROR: while copying folder", log))
            return InstallOutcome::Stop(rc);
        if (!ctx.Has(OPTION_RECOVERY)) {
            LogLine("It is not recovery. (RETURN_COPY_FOLDER)", log);
            return InstallOutcome::Stop(RETURN_COPY_FOLDER);
        }
        ctx.Report(-2, RETURN_COPY_FOLDER, m.CustomerLabel);
        outcome.failureReported = true;
    }
    return outcome;
}

} // namespace halcyon::modules

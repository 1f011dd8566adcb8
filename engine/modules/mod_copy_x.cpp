// ModCopyX: copies the folders of the plan's selected modules from a source
// tree to a destination tree, keeping their relative paths. "Data" modules
// have no folder and are skipped.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "engine/modules/module_selection.h"
#include "engine/staging/folder_overlap.h"
#include "engine/staging/module_log.h"
#include "engine/staging/module_staging.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/files/file_ops.h"

using namespace halcyon;
using namespace halcyon::modules;

namespace {

int32_t CopyModule(const ModuleRecord &m, const StagingWalk &w, uint64_t copyArg)
{
    if (!SafePlanValue("PathToRelease", m.PathToRelease, w.log))
        return RETURN_UNSAFE_PATH;
    if (int32_t rc = LogGuarded("Copying: " + m.ReleaseName, w.log))
        return rc;
    const std::string from = w.source + m.PathToRelease;
    const std::string to = w.dest + m.PathToRelease;
    // A copy onto itself would truncate every file it reads.
    if (FoldersOverlap(from, to)) {
        LogLine("Error: the module folder and its copy overlap; nothing copied.", w.log, true);
        LogLine("Source: " + from + " TO: " + to, w.log);
        return StagingCopyResult(-1);
    }
    if (int32_t rc = CheckJoinedPath(w.source, from, w.log))
        return rc;
    if (int32_t rc = CheckJoinedPath(w.dest, to, w.log))
        return rc;
    (void)copyArg;
    // Flushed once for all modules at the end of the walk.
    return StagingCopyResult(support::RecursiveFolderCopyUnflushed(from, to), w.log);
}

} // namespace

extern "C" HALCYON_API int32_t ModCopyX(const char *plan, const char *source, const char *dest, const char *installer_type,
                                        const char *part_type, const char *recoverable, const char *temporary,
                                        const char *log, uint64_t options, uint64_t copy_arg)
{
    return frame::RunVerb<int32_t>("ModCopyX", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        StagingWalk w =
            MakeStagingWalk("ModCopyX", "Copying Modules and EPCs...", plan, source, dest, log, options);
        const ModuleFilters filters = TakeFilters(options, installer_type, part_type, recoverable, temporary);

        LogLine("ModCopyX Begin", w.log, true);
        return RunSelectedStagingWalk(w, filters, [&](const ModuleRecord &m) -> int32_t {
            if (IsDataModule(m))
                return 0;
            return CopyModule(m, w, copy_arg);
        });
    });
}

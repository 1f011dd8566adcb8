#include "engine/staging/module_staging.h"

#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "engine/staging/mod_setup_options.h"
#include "engine/staging/module_log.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

namespace halcyon::modules {

namespace {

constexpr int32_t kEndSection = 97;
constexpr int32_t kStagingCopyFailed = 58;
constexpr int32_t kStagingCopyDiskFull = 117;

} // namespace

int32_t CheckJoinedPath(const std::string &root, const std::string &path, const std::string &log)
{
    const std::string hostRoot = platform::HostPath(root);
    const std::string hostPath = platform::HostPath(path);
    const support::ConfinedCheck check = support::CheckConfinedPath(hostRoot, hostPath);
    if (check.result != support::Confinement::Link && check.result != support::Confinement::Outside)
        return 0;
    LogLine("Error: " + support::DescribeConfinement(check, hostRoot, hostPath) + " (RETURN_UNSAFE_PATH)", log, true);
    return RETURN_UNSAFE_PATH;
}

int32_t StagingCopyResult(int32_t copyResult, const std::string &log)
{
    if (copyResult == 0)
        return 0;
    if (!log.empty())
        LogLine("GetLastError: " + std::to_string(support::CopyErrorCode(copyResult)) + " writing " +
                    support::LastCopyFailurePath(),
                log, true);
    return copyResult == support::kCopyDiskFull ? kStagingCopyDiskFull : kStagingCopyFailed;
}

StagingWalk MakeStagingWalk(const char *verb, const char *progressLine, const char *plan, const char *source,
                            const char *dest, const char *log, uint64_t options)
{
    StagingWalk w;
    w.verb = verb;
    w.progressLine = progressLine;
    w.plan = frame::Arg(plan);
    w.source = frame::Arg(source);
    w.dest = frame::Arg(dest);
    w.log = frame::Arg(log);
    w.options = options;
    return w;
}

int32_t RunStagingWalk(StagingWalk &w, const std::function<int32_t(const ModuleRecord &)> &handle)
{
    support::CMemoryIniIO ini(HasOption(w.options, OPTION_INI_STORE_FLAG));
    if (!ini.LoadFile(w.plan)) {
        LogLine("Error: Load halcyon.ini error. (RETURN_UNABLE_OPEN_INI)", w.log);
        LogLine("Halcyon.ini" + w.plan, w.log);
        return RETURN_UNABLE_OPEN_INI;
    }
    EnsureTrailingBackslash(w.source);
    if (!support::DirExist(w.source)) {
        LogLine("Error: Can not find the source path. (RETURN_SOURCE_DIR_NOT_EXIST)", w.log);
        LogLine("sSourceDir" + w.source, w.log);
        return RETURN_SOURCE_DIR_NOT_EXIST;
    }
    EnsureTrailingBackslash(w.dest);
    if (!support::DirExist(w.dest)) {
        LogLine("Error: Can not find the dest path. (RETURN_DEST_DIR_NOT_EXIST)", w.log);
        LogLine("sDestDir" + w.dest, w.log);
        return RETURN_DEST_DIR_NOT_EXIST;
    }
    if (int32_t rc = LogGuarded(w.progressLine, w.log))
        return rc;

    const std::string prefix = HasOption(w.options, OPTION_PE_MODULES) ? "PE" : "";
    ModuleRecord module;
    int32_t read = ReadModuleRecord(prefix + "1", &ini, module);
    for (int n = 2; read == 0; ++n) {
        if (int32_t rc = handle(module))
            return rc;
        read = ReadModuleRecord(prefix + std::to_string(n), &ini, module);
    }
    if (read != kEndSection)
        return read;
    // What the modules wrote is on disk before the walk counts as done.
    if (const int err = support::SyncFileSystem(w.dest)) {
        LogLine("Error: while flushing " + w.dest + " to disk (errno " + std::to_string(err) + ")", w.log, true);
        return kStagingCopyFailed;
    }
    LogLine(std::string(w.verb) + " End", w.log, true);
    return RETURN_SUCCESS;
}

} // namespace halcyon::modules

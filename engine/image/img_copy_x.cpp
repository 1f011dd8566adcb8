// ImgCopyX: copies a whole image folder from a source tree to a destination
// tree, keeping its relative path: the release folder the plan names for the
// image (plan mode), or a custom-image folder named by the caller (direct
// mode, option 0x8). Nothing is applied.
#include <string>

#include "engine/frame/log.h"
#include "engine/frame/plan_records.h"
#include "engine/frame/verb.h"
#include "engine/plan/verify_ini.h"
#include "engine/staging/folder_overlap.h"
#include "engine/staging/module_log.h"
#include "engine/staging/module_staging.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

using namespace halcyon;
using modules::LogGuarded;
using modules::LogLine;

namespace {

constexpr uint64_t OPTION_DIRECT_MODE = 0x8;
constexpr uint64_t OPTION_INI_STORE_FLAG = 0x80000;
constexpr int32_t kPlanNotFound = 26;
constexpr int32_t kCopyDiskFullResult = 117;

// A plan path that is a bare file name is looked up in the current folder.
std::string FixPlanPath(const std::string &path)
{
    if (path.find_first_of("\\/") == std::string::npos)
        return ".\\" + path;
    return path;
}

int32_t LoadPlan(support::CMemoryIniIO &ini, const std::string &planArg, const std::string &log)
{
    const std::string plan = FixPlanPath(planArg);
    if (!support::FileExist(plan)) {
        LogLine("Error: Can not find the ini file.", log);
        LogLine("ini file: " + plan, log);
        return kPlanNotFound;
    }
    if (!ini.LoadFile(plan)) {
        LogLine("Error: Load the ini file error.", log);
        LogLine("ini file: " + plan, log);
        return RETURN_UNABLE_OPEN_INI;
    }
    if (int32_t rc = VerifyIni(ini, log, 0)) {
        LogLine("Error: Verify the ini file error.", log);
        LogLine("ini file: " + plan, log);
        return rc;
    }
    return 0;
}

// The relative folder of the plan's image, checked before anything below
// the roots is looked at.
int32_t PlanImageFolder(const support::CMemoryIniIO &ini, const std::string &sourceRoot, uint64_t options,
                        const std::string &log, std::string &releaseName, std::string &folder)
{
    std::string machineId, imageFile, releaseId;
    if (LoadGenericImage(sourceRoot, &ini, releaseName, machineId, folder, imageFile, releaseId, options, false)) {
        if (!modules::SafePlanValue("PathToRelease", folder, log))
            return RETURN_UNSAFE_PATH;
        if (LoadGenericImage(sourceRoot, &ini, releaseName, machineId, folder, imageFile, releaseId, options, true))
            return 0;
    }
    LogLine("Error: while calling LoadGenericImage function.(RETURN_ERROR_LOAD_GENERIC_IMAGE)", log);
    return RETURN_ERROR_LOAD_GENERIC_IMAGE;
}

int32_t CopyResult(int32_t copy)
{
    if (copy == 0)
        return 0;
    return copy == support::kCopyDiskFull ? kCopyDiskFullResult : RETURN_COPY_FOLDER;
}

} // namespace

extern "C" HALCYON_API int32_t ImgCopyX(const char *plan, const char *source_root, const char *dest_root,
                                        const char *custom_folder, const char *log, uint64_t options,
                                        uint64_t copy_arg)
{
    return frame::RunVerb<int32_t>("ImgCopyX", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        const std::string logPath = frame::Arg(log);
        std::string source = frame::Arg(source_root);
        std::string dest = frame::Arg(dest_root);
        EnsureTrailingBackslash(source);
        EnsureTrailingBackslash(dest);
        const bool direct = (options & OPTION_DIRECT_MODE) != 0;

        support::CMemoryIniIO ini((options & OPTION_INI_STORE_FLAG) != 0);
        LogLine("ImgCopyX Start", logPath, true);
        if (!direct) {
            if (int32_t rc = LoadPlan(ini, frame::Arg(plan), logPath))
                return rc;
        }
        if (!support::DirExist(source)) {
            LogLine("Error: Can not find the source path for image", logPath);
            LogLine("sSourceDir: " + source, logPath);
            return RETURN_SOURCE_DIR_NOT_EXIST;
        }
        if (!support::DirExist(dest)) {
            LogLine("Error: Can not find the dest path for image", logPath);
            LogLine("sDestDir: " + dest, logPath);
            return RETURN_DEST_DIR_NOT_EXIST;
        }

        std::string folder;
        if (!direct) {
            std::string releaseName;
            if (int32_t rc = PlanImageFolder(ini, source, options, logPath, releaseName, folder))
                return rc;
            if (int32_t rc = LogGuarded("Copying " + releaseName, logPath))
                return rc;
        } else {
            folder = frame::Arg(custom_folder);
            if (int32_t rc = LogGuarded("Copying custom image...", logPath))
                return rc;
        }

        const std::string from = source + folder;
        const std::string to = dest + folder;
        // A copy onto itself would truncate every file it reads.
        if (modules::FoldersOverlap(from, to)) {
            LogLine("Error: the image folder and its copy overlap; nothing copied.", logPath, true);
            LogLine("Source: " + from + " TO: " + to, logPath);
            return RETURN_COPY_FOLDER;
        }
        if (int32_t rc = modules::CheckJoinedPath(source, from, logPath))
            return rc;
        if (int32_t rc = modules::CheckJoinedPath(dest, to, logPath))
            return rc;
        if (int32_t rc = CopyResult(support::RecursiveFolderCopy(from, to, copy_arg)))
            return rc;
        LogLine("ImgCopyX End", logPath, true);
        return RETURN_SUCCESS;
    });
}

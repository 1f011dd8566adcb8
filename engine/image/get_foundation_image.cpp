// GetFoundationImage: rebuilds the foundation image "Norv.wim" from the
// recovery media.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "engine/image/foundation_image.h"
#include "engine/image/media_description.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/files/file_ops.h"
#include "support/ini/ini_store.h"

using namespace halcyon;

namespace {

constexpr uint64_t kIniStoreFlag = 0x80000;

int32_t Run(std::string source, std::string dest, const std::string &planPath, const std::string &nrvhdrcvPath,
            const std::string &mediaType, uint64_t options, const std::string &exportArg, WimCourierCallback cb,
            void *cbData, const std::string &log)
{
    support::CMemoryIniIO plan((options & kIniStoreFlag) != 0);
    support::CMemoryIniIO nrvhdrcv((options & kIniStoreFlag) != 0);
    WriteLog("GetFoundationImage Start", log, 0);
    EnsureTrailingBackslash(source);
    EnsureTrailingBackslash(dest);

    WriteLog("sSource: " + source, log, 0);
    if (!support::DirExist(source)) {
        WriteLog("Error: Can not find the source path. (RETURN_SOURCE_DIR_NOT_EXIST)", log, 0);
        WriteLog("sSource: " + source, log, 0);
        return RETURN_SOURCE_DIR_NOT_EXIST;
    }
    WriteLog("sDest: " + dest, log, 0);
    if (!support::DirExist(dest) && !support::RecursiveFolderCreate(dest)) {
        WriteLog("Error: Can not create the dest path. (RETURN_DEST_DIR_NOT_EXIST)", log, 0);
        WriteLog("sDest: " + dest, log, 0);
        return RETURN_DEST_DIR_NOT_EXIST;
    }
    if (int32_t rc = image::LoadPlanAndMediaIni(planPath, nrvhdrcvPath, plan, nrvhdrcv, log))
        return rc;
    image::CGetFoundationImage job(source, dest, exportArg, &plan, &nrvhdrcv, log, mediaType, cb, cbData);
    return job.GetFoundationImage();
}

} // namespace

extern "C" HALCYON_API int32_t GetFoundationImage(const char *source, const char *dest, const char *plan, const char *nrvhdrcv, const char *media_type, uint64_t options, const char *export_arg, WimCourierCallback cb, void *cb_data, const char *log)
{
    return frame::RunVerbKeepingState<int32_t>("GetFoundationImage", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        return Run(frame::Arg(source), frame::Arg(dest), frame::Arg(plan), frame::Arg(nrvhdrcv), frame::Arg(media_type),
                   options, frame::Arg(export_arg), cb, cb_data, frame::Arg(log));
    });
}

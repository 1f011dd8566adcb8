// MakeIniFromMcode: the install plan for the releases of the IDF's own
// M-code, optionally after checking that the recovery media offer the
// default image.
#include <memory>
#include <string>
#include <string_view>

#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "engine/plan/data_module_sections.h"
#include "engine/plan/idf_signature.h"
#include "engine/plan/ordered_save.h"
#include "engine/plan/partition_information.h"
#include "engine/plan/plan_options.h"
#include "engine/plan/recovery_buffer.h"
#include "engine/plan/release_resolution.h"
#include "engine/plan/software_images.h"
#include "engine/plan/software_modules.h"
#include "engine/plan/verify_ini.h"
#include "halcyon/HalcyonDLL.h"
#include "support/files/file_ops.h"
#include "support/idf/idf_query.h"
#include "support/ini/ini_store.h"

using namespace halcyon;

namespace {

constexpr int32_t kMissingDefaultImage = 114;

std::string StepError(const char *step, int32_t rc)
{
    return std::string("Error: error while calling ") + step + " function. Return value: " + std::to_string(rc);
}

uint32_t BuildPlan(const std::string &planPath, const std::string &idf, const std::string &log, uint64_t options,
                   support::CMemoryIniIO *callerStore, const std::string &mediaIni)
{
    using support::StringList1000;

    WriteLog("MakeIniFromMcode Start", log, 1);

    auto fail = [&](const char *step, int32_t rc) {
        WriteLog(StepError(step, rc), log, 0);
        return static_cast<uint32_t>(rc);
    };

    if (!mediaIni.empty()) {
        if (!support::FileExist(mediaIni)) {
            WriteLog("Load nrvhdrcv.ini file failed. (RETURN_MISSING_NRVHDRCVINI)", log, 0);
            WriteLog("nrvhdrcv.ini file path: " + mediaIni, log, 0);
            return RETURN_MISSING_NRVHDRCVINI;
        }
        if ((options & plan::kOptionCheckDefaultImage) && support::DefaultImageExists(idf, mediaIni, options) != 0) {
            WriteLog("Error: Missing default image.", log, 0);
            return kMissingDefaultImage;
        }
    }

    StringList1000 releaseIds, childReleaseIds;
    const char *step = nullptr;
    if (int32_t rc = plan::ResolveMcodeReleases(idf, log, options, options, releaseIds, childReleaseIds, step)) {
        if (std::string_view(step) != plan::kMergeChildReleasesStep)
            return fail(step, rc);
        WriteLog("Error: there are too many releases. Return value: RETURN_TOO_MANY_RELEASES", log, 0);
        return static_cast<uint32_t>(rc);
    }

    std::unique_ptr<support::CMemoryIniIO> ownStore;
    if (!callerStore)
        ownStore = std::make_unique<support::CMemoryIniIO>((options & plan::kOptionIniStoreFlag) != 0);
    support::CMemoryIniIO &store = callerStore ? *callerStore : *ownStore;
    int64_t total = 0, permanent = 0, temporary = 0;
    uint32_t recoveryBufferMB = 1000;
    std::string foundationOs;

    if (int32_t rc = plan::GetIdfSignature(idf, store, log, options))
        return fail("GetIdfSignature", rc);
    std::string version;
    if (int32_t rc = plan::GetIdfVersion(idf, version))
        return fail("GetIdfVersion", rc);
    if (version >= plan::kOsFilterFormatVersion)
        options |= plan::kOptionNewIdfFormat;
    if (int32_t rc = plan::GetSoftwareImages(idf, releaseIds, childReleaseIds, store, log, total, permanent,
                                             temporary, options, &foundationOs))
        return fail("GetSoftwareImages", rc);
    if (int32_t rc = plan::GetSoftwareModules(idf, releaseIds, store, log, total, permanent, temporary, options,
                                              foundationOs))
        return fail("GetSoftwareModules", rc);
    if (int32_t rc = plan::GetRecoveryPartitionBufferInfo(idf, releaseIds, store, log, options, recoveryBufferMB)) {
        WriteLog("Error: GetRecoveryPartitionBufferInfo function return error.", log, 0);
        return static_cast<uint32_t>(rc);
    }
    if (int32_t rc = plan::GetPartitionInformation(idf, store, log, total, recoveryBufferMB, permanent, temporary,
                                                   options))
        return fail("GetPartitionInformation", rc);
    if (int32_t rc = plan::GetDataModuleInformation(idf, releaseIds, store, log, options, false, true))
        return fail("GetDataModuleInformation", rc);

    if (!SaveOrderedIniFile(planPath, store)) {
        fail("SaveOrderedIniFile", 0);
        return RETURN_UNABLE_OPEN_INI;
    }
    if (int32_t rc = VerifyIni(store, log, 0))
        return fail("VerifyIni", rc);

    WriteLog("MakeIniFromMcode End", log, 1);
    return 0;
}

} // namespace

extern "C" HALCYON_API uint32_t MakeIniFromMcode(const char *plan, const char *idf, const char *log, uint64_t options,
                                                 void *store, const char *nrvhdrcv)
{
    return frame::RunVerb<uint32_t>("MakeIniFromMcode", static_cast<uint32_t>(RETURN_INTERNAL_ERROR), [&]() -> uint32_t {
        return BuildPlan(frame::Arg(plan), frame::Arg(idf), frame::Arg(log), options,
                         static_cast<support::CMemoryIniIO *>(store), frame::Arg(nrvhdrcv));
    });
}

// MakeIniX: the install plan from an IDF and a BOM file of part numbers.
#include <string>

#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "engine/plan/data_module_sections.h"
#include "engine/plan/idf_signature.h"
#include "engine/plan/ordered_save.h"
#include "engine/plan/partition_information.h"
#include "engine/plan/plan_options.h"
#include "engine/plan/recovery_buffer.h"
#include "engine/plan/release_merge.h"
#include "engine/plan/release_resolution.h"
#include "engine/plan/software_images.h"
#include "engine/plan/software_modules.h"
#include "engine/plan/verify_ini.h"
#include "halcyon/HalcyonDLL.h"
#include "support/idf/idf_query.h"
#include "support/ini/ini_store.h"

using namespace halcyon;

namespace {

uint32_t BuildPlan(const std::string &idf, const std::string &bom, const std::string &planPath,
                   const std::string &log, uint32_t recoveryBufferMB, uint64_t callerOptions)
{
    using support::StringList1000;

    WriteLog("MakeIniX Begin", log, 1);

    // OS filtering needs the foundation OS, which this builder does not
    // keep: the bits that ask for it are only ever set by its own steps.
    uint64_t options = callerOptions & ~(plan::kOptionCombinedMcode | plan::kOptionNewIdfFormat);

    auto fail = [&](const char *message, int32_t rc) {
        WriteLog(message, log, 0);
        return static_cast<uint32_t>(rc);
    };

    StringList1000 partNumbers, releaseIds, childReleaseIds, partIds;
    if (int32_t rc = plan::GetComponentPartNumbers(bom, partNumbers)) {
        WriteLog("Error: GetComponentPartNumbers function return error.", log, 0);
        WriteLog("sBomFile: " + bom, log, 0);
        return static_cast<uint32_t>(rc);
    }
    if (int32_t rc = support::GetReleaseIds(idf, partNumbers, releaseIds))
        return fail("Error: GetReleaseIds function return error.", rc);
    if (int32_t rc = support::GetChildReleaseIds(idf, "Foundation Image", releaseIds, childReleaseIds))
        return fail("Error: GetChildReleaseIds function return error.", rc);
    if (int32_t rc = plan::MergeChildReleases(releaseIds, childReleaseIds))
        return fail("Error: Too many releases.", rc);
    if (int32_t rc = support::GetPartIds(idf, releaseIds, partIds))
        return fail("Error: GetPartIds function return error.", rc);
    if (int32_t rc = plan::CheckDependenciesAndExclusions(idf, partIds, log))
        return fail("Error: CheckDependenciesAndExclusions function return error.", rc);

    support::CMemoryIniIO store((options & plan::kOptionIniStoreFlag) != 0);
    int64_t total = 0, permanent = 0, temporary = 0;

    if (int32_t rc = plan::GetIdfSignature(idf, store, log, options))
        return fail("Error: GetIdfSignature function return error.", rc);
    if (int32_t rc = plan::GetSoftwareImages(idf, releaseIds, childReleaseIds, store, log, total, permanent,
                                             temporary, options, nullptr))
        return fail("Error: GetSoftwareImages function return error.", rc);
    if (int32_t rc = plan::GetSoftwareModules(idf, releaseIds, store, log, total, permanent, temporary, options, ""))
        return fail("Error: GetSoftwareModules function return error.", rc);
    if (int32_t rc = plan::GetRecoveryPartitionBufferInfo(idf, releaseIds, store, log, options, recoveryBufferMB))
        return fail("Error: GetRecoveryPartitionBufferInfo function return error.", rc);
    if (int32_t rc = plan::GetPartitionInformation(idf, store, log, total, recoveryBufferMB, permanent, temporary,
                                                   options))
        return fail("Error: GetPartitionInformation function return error.", rc);
    if (int32_t rc = plan::DetermineUpDown(idf, releaseIds, log, options))
        return fail("Error: DetermineUpDown function return error.", rc);
    if (options & plan::kOptionCombinedMcode)
        if (int32_t rc = plan::GetSkuFromSku(idf, partNumbers, log))
            return fail("Error: GetSkuFromSku function return error.", rc);
    if (int32_t rc = plan::GetMcodeInformation(idf, partNumbers, store, log, options))
        return fail("Error: GetMcodeInformation function return error.", rc);
    if (int32_t rc = plan::GetDataModuleInformation(idf, releaseIds, store, log, options, true, true))
        return fail("Error: GetDataModuleInformation function return error.", rc);

    if (!SaveOrderedIniFile(planPath, store))
        return fail("Error: SaveOrderedIniFile function return error.", 2);
    if (int32_t rc = VerifyIni(store, log, options))
        return fail("Error: VerifyIni function return error.", rc);

    WriteLog("MakeIniX End", log, 1);
    return 0;
}

} // namespace

extern "C" HALCYON_API uint32_t MakeIniX(const char *idf, const char *bom, const char *plan, const char *log,
                                         uint32_t recovery_buffer_mb, uint64_t options)
{
    return frame::RunVerb<uint32_t>("MakeIniX", static_cast<uint32_t>(RETURN_INTERNAL_ERROR), [&]() -> uint32_t {
        return BuildPlan(frame::Arg(idf), frame::Arg(bom), frame::Arg(plan), frame::Arg(log), recovery_buffer_mb,
                         options);
    });
}

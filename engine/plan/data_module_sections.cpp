#include "engine/plan/data_module_sections.h"

#include <string>

#include "engine/frame/log.h"
#include "engine/plan/node_values.h"
#include "support/idf/idf_query.h"

namespace halcyon::plan {

namespace {

constexpr int32_t kLogFailed = 27;

// One data-module query.
struct DataModule {
    int32_t rc = 0;
    std::string value;
    uint8_t found = 0;
};

DataModule Query(std::string_view idfPath, const support::StringList1000 &releaseIds, std::string_view name,
                 support::StringList1000 *values = nullptr)
{
    DataModule d;
    d.rc = support::GetDataModules(idfPath, releaseIds, name, d.value, d.found, values);
    return d;
}

// A switch section whose failed query stops the build: ExFunc and
// CleanSweep report on the console and in the log without echo.
int32_t ReportToConsoleAndLog(int32_t rc, std::string_view logPath)
{
    std::string line = ParseErrorLine(rc);
    PrintConsole(line);
    WriteLog(line, logPath, 0);
    return rc;
}

int32_t WriteExFunc(std::string_view idfPath, const support::StringList1000 &releaseIds,
                    support::CMemoryIniIO &store, std::string_view logPath)
{
    if (WriteLog("Adding: ExFunc Information", logPath, 1) != 0)
        return kLogFailed;
    DataModule d = Query(idfPath, releaseIds, "ExFunc");
    if (d.rc != 0)
        return ReportToConsoleAndLog(d.rc, logPath);
    std::string value = d.found == 1 ? "FNC-" + d.value : std::string();
    return WriteKey(store, "ExFuncInformation", "ExFunc", value) ? 0 : 8;
}

int32_t WriteCleanSweep(std::string_view idfPath, const support::StringList1000 &releaseIds,
                        support::CMemoryIniIO &store, std::string_view logPath)
{
    if (WriteLog("Adding: CleanSweep Information", logPath, 1) != 0)
        return kLogFailed;
    DataModule d = Query(idfPath, releaseIds, "CleanSweep");
    if (d.rc != 0)
        return ReportToConsoleAndLog(d.rc, logPath);
    WriteKey(store, "CleanSweep", "CleanSweep", d.found == 1 ? "True" : "False");
    return 0;
}

// Reports a failed query of a section that is then left out: 0, or 27 when
// the report cannot be logged.
int32_t ReportAndSkip(int32_t rc, std::string_view logPath)
{
    return WriteLog(ParseErrorLine(rc), logPath, 1) != 0 ? kLogFailed : 0;
}

} // namespace

int32_t GetGPTSupportInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                                 support::CMemoryIniIO &store, std::string_view logPath, uint64_t)
{
    if (WriteLog("Adding: GPTSupport Information", logPath, 1) != 0)
        return kLogFailed;
    DataModule d = Query(idfPath, releaseIds, "ZRP_GPT_DATAPART");
    if (d.rc != 0)
        return ReportAndSkip(d.rc, logPath);
    WriteKey(store, "GPTSupport", "GPTSupport", d.found == 1 ? "True" : "False");
    WriteLog("GetGPTSupportInformation End", logPath, 0);
    return 0;
}

int32_t GetSmallSSDInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                               support::CMemoryIniIO &store, std::string_view logPath, uint64_t)
{
    if (WriteLog("Adding: Small SSD Information", logPath, 1) != 0)
        return kLogFailed;
    DataModule d = Query(idfPath, releaseIds, "ZRP_SMALLCAPACITYDISK_DATAPART");
    if (d.rc != 0) {
        WriteLog(ParseErrorLine(d.rc), logPath, 1);
        return d.rc;
    }
    WriteKey(store, "SmallCapacityDisk", "SmallCapacityDisk", d.found != 0 ? "True" : "False");
    WriteLog("GetSmallSSDInformation End", logPath, 0);
    return 0;
}

int32_t GetBIOSHPInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                             support::CMemoryIniIO &store, std::string_view logPath, uint64_t)
{
    if (WriteLog("Adding: BIOS Hibernate Partition Information", logPath, 1) != 0)
        return kLogFailed;
    DataModule d = Query(idfPath, releaseIds, "ZRP_BIOSHIB_DATAPART");
    if (d.rc != 0)
        return ReportAndSkip(d.rc, logPath);
    if (d.found == 1) {
        WriteKey(store, "EnableBIOSHIB", "EnableBIOSHIB", "True");
        if (!WriteKey(store, "EnableBIOSHIB", "BIOSHIBPartitionSize", d.value))
            return 8;
    } else {
        WriteKey(store, "EnableBIOSHIB", "EnableBIOSHIB", "False");
        WriteKey(store, "EnableBIOSHIB", "BIOSHIBPartitionSize", "0MB");
    }
    return 0;
}

int32_t GetIncentiveProgramInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                                       support::CMemoryIniIO &store, std::string_view logPath)
{
    if (WriteLog("Adding: Incentive Program Information", logPath, 1) != 0)
        return kLogFailed;
    support::StringList1000 values;
    values.ClearAll();
    DataModule d = Query(idfPath, releaseIds, "ZPGM_ELIG_VAL", &values);
    if (d.rc != 0)
        return ReportAndSkip(d.rc, logPath);
    if (d.found == 0) {
        WriteKey(store, "OptionalInformation", "ZPGM_ELIG_VAL", "NA");
        return 0;
    }
    WriteLog(d.value, logPath, 1);
    std::string joined;
    for (size_t i = 0; i < support::StringList1000::kSlots && !values[i].empty(); ++i) {
        if (i != 0)
            joined += ',';
        joined += values[i];
    }
    return WriteKey(store, "OptionalInformation", "ZPGM_ELIG_VAL", joined) ? 0 : 8;
}

int32_t GetDataModuleInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                                 support::CMemoryIniIO &store, std::string_view logPath, uint64_t options,
                                 bool withExFunc, bool withCleanSweep)
{
    if (withExFunc)
        if (int32_t rc = WriteExFunc(idfPath, releaseIds, store, logPath))
            return rc;
    if (withCleanSweep)
        if (int32_t rc = WriteCleanSweep(idfPath, releaseIds, store, logPath))
            return rc;
    if (int32_t rc = GetGPTSupportInformation(idfPath, releaseIds, store, logPath, options)) {
        WriteLog("ERROR: while calling GetGPTSupportInformation function", logPath, 0);
        return rc;
    }
    if (int32_t rc = GetSmallSSDInformation(idfPath, releaseIds, store, logPath, options)) {
        WriteLog("ERROR: while calling GetSmallSSDInformation function", logPath, 0);
        return rc;
    }
    if (int32_t rc = GetBIOSHPInformation(idfPath, releaseIds, store, logPath, options)) {
        WriteLog("ERROR: while calling GetBIOSHPInformation function", logPath, 0);
        return rc;
    }
    if (int32_t rc = GetIncentiveProgramInformation(idfPath, releaseIds, store, logPath)) {
        WriteLog("ERROR: while calling GetIncentiveProgramInformation function", logPath, 0);
        return rc;
    }
    WriteLog("GetDataModuleInformation End", logPath, 0);
    return 0;
}

} // namespace halcyon::plan

#include "engine/plan/idf_signature.h"

#include <cstdio>

#include "engine/frame/console_echo.h"
#include "engine/frame/log.h"
#include "support/idf/idf_query.h"

namespace halcyon::plan {

namespace {

void ConsoleAndLog(const std::string &text, std::string_view logPath)
{
    EchoLine(text);
    WriteLog(text, logPath, 0);
}

} // namespace

int32_t GetIdfSignature(std::string_view idfPath, support::CMemoryIniIO &store, std::string_view logPath,
                        uint64_t /*options*/)
{
    if (WriteLog("Adding: IDF signature", logPath, 1) != 0)
        return 27;

    support::CXMLNode header;
    if (int32_t rc = support::GetIdfHeader(idfPath, header); rc != 0) {
        ConsoleAndLog("ERROR: returned " + std::to_string(rc) + " while parsing the IDF file", logPath);
        return 28;
    }

    std::string value;
    for (const char *key : {"Timestamp", "Series", "LangRegion", "BomSnapshotName", "BomSnapshotID"}) {
        if (header.GetAttributeValue(key, value) != 0) {
            ConsoleAndLog(std::string("ERROR: While trying to retrieve IDF ") + key, logPath);
            return 8;
        }
        // A value the plan file cannot hold (a line break) is as unusable
        // as a missing one.
        if (!store.WriteString("IDF", key, value)) {
            ConsoleAndLog(std::string("ERROR: IDF ") + key + " can not be written to the plan", logPath);
            return 8;
        }
    }
    for (const char *key : {"WaitForSetupDelay", "PEModuleMCodeAssignment"}) {
        if (header.GetAttributeValue(key, value) != 0)
            continue;
        if (!store.WriteString("IDF", key, value)) {
            ConsoleAndLog(std::string("ERROR: IDF ") + key + " can not be written to the plan", logPath);
            return 8;
        }
    }
    WriteLog("GetIdfSignature End", logPath, 0);
    return 0;
}

int32_t GetIdfVersion(std::string_view idfPath, std::string &version)
{
    version.clear();
    support::CXMLNode header;
    if (support::GetIdfHeader(idfPath, header) != 0)
        return 28;
    header.GetAttributeValue("IDFFormatVersion", version);
    return 0;
}

int32_t GetMcodeInformation(std::string_view idfPath, const support::StringList1000 &partNumbers,
                            support::CMemoryIniIO &store, std::string_view logPath, uint64_t /*options*/)
{
    if (WriteLog("Adding: MCODE Information", logPath, 1) != 0)
        return 27;
    std::string mcode;
    if (int32_t rc = support::GetMcode(idfPath, partNumbers, mcode); rc != 0) {
        ConsoleAndLog("ERROR: returned " + std::to_string(rc) + " while getting plain MCode", logPath);
        return rc;
    }
    if (!store.WriteString("McodeInformation", "MCODE", mcode)) {
        ConsoleAndLog("ERROR: MCODE can not be written to the plan", logPath);
        return 8;
    }
    WriteLog("GetMcodeInformation End", logPath, 0);
    return 0;
}

} // namespace halcyon::plan

#include "engine/plan/partition_information.h"

#include <string>

#include "engine/frame/log.h"
#include "engine/plan/node_values.h"
#include "engine/plan/plan_numbers.h"
#include "engine/plan/plan_options.h"
#include "support/idf/idf_query.h"

namespace halcyon::plan {

namespace {

constexpr const char *kSection = "PartitionInformation";

// Writes `key` = "<value>MB" and logs `label` followed by it.
void WriteSize(support::CMemoryIniIO &store, std::string_view key, int64_t megabytes, std::string_view label,
               std::string_view logPath)
{
    std::string text = FormatMB(megabytes);
    WriteKey(store, kSection, key, text);
    WriteLog(std::string(label) + text, logPath, 0);
}

} // namespace

int64_t RecoveryPartitionMB(int64_t totalKB, uint32_t recoveryBufferMB)
{
    return SaturatingAdd(totalKB / 1024, static_cast<int64_t>(recoveryBufferMB) + 100 + 100);
}

int32_t GetPartitionInformation(std::string_view idfPath, support::CMemoryIniIO &store, std::string_view logPath,
                                int64_t &total, uint32_t recoveryBufferMB, int64_t &permanent, int64_t &temporary,
                                uint64_t options)
{
    if (WriteLog("Adding: Partition Information", logPath, 1) != 0)
        return 27;
    const int64_t recoveryMB = RecoveryPartitionMB(total, recoveryBufferMB);

    support::CXMLNode header;
    if (int32_t rc = support::GetIdfHeader(idfPath, header)) {
        std::string line = ParseErrorLine(rc);
        PrintConsole(line);
        WriteLog(line, logPath, 0);
        return rc;
    }

    std::string value;
    if (!ReadAttribute(header, "HDDRecovery", value)) {
        WriteLog("ERROR: While trying to retrieve HDDRecovery", logPath, 0);
        return 8;
    }
    if (!WriteKey(store, kSection, "HDDRecovery", value))
        return 8;
    if (!ReadAttribute(header, "DynamicP1", value)) {
        WriteLog("ERROR: While trying to retrieve DynamicP1", logPath, 0);
        return 8;
    }
    if (!WriteKey(store, kSection, "DynamicRecvPart", value))
        return 8;
    if (options & kOptionBitLocker)
        WriteKey(store, kSection, "BitLocker", "True");

    WriteSize(store, "DynamicRecvPartSize", recoveryMB, "Recovery Partition Size: ", logPath);
    WriteSize(store, "PermanentModuleSize", permanent / 1024, "Permanent Modules Size: ", logPath);
    WriteSize(store, "TemporaryModuleSize", temporary / 1024, "Temporary Modules Size: ", logPath);
    WriteSize(store, "ImageSize", LeadingInt64(store.GetValue("Image", "TotalSize")) / 1024, "Image Size: ",
              logPath);
    WriteSize(store, "RecoveryImageSize", LeadingInt64(store.GetValue("RecoveryImage", "TotalSize")) / 1024,
              "Recovery Image Size: ", logPath);

    WriteLog("GetPartitionInformation End", logPath, 0);
    return 0;
}

} // namespace halcyon::plan

#include "engine/plan/recovery_buffer.h"

#include <algorithm>
#include <limits>
#include <string>

#include "engine/frame/log.h"
#include "engine/plan/node_values.h"
#include "engine/plan/plan_numbers.h"
#include "support/idf/idf_query.h"

namespace halcyon::plan {

int32_t GetRecoveryPartitionBufferInfo(std::string_view idfPath, const support::StringList1000 &releaseIds,
                                       support::CMemoryIniIO &, std::string_view logPath, uint64_t,
                                       uint32_t &recoveryBufferMB)
{
    WriteLog("GetRecoveryPartitionBufferInfo", logPath, 0);
    std::string value;
    uint8_t found = 0;
    if (int32_t rc = support::GetDataModules(idfPath, releaseIds, "ZRP_RECVPARTBUFFER_DATAPART", value, found)) {
        WriteLog(ParseErrorLine(rc), logPath, 1);
        return rc;
    }
    if (found != 1) {
        WriteLog("Use default recovery buffer", logPath, 0);
        return 0;
    }
    // A negative value lowers the buffer, but never below 0 or past 2^32-1.
    int64_t sum = static_cast<int64_t>(recoveryBufferMB) + LeadingInt32(value);
    sum = std::clamp<int64_t>(sum, 0, std::numeric_limits<uint32_t>::max());
    recoveryBufferMB = static_cast<uint32_t>(sum);
    WriteLog("Add recovery buffer size from data part: " + value, logPath, 0);
    return 0;
}

} // namespace halcyon::plan

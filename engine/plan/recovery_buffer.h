// The recovery buffer of the recovery partition, raised by the IDF's
// "ZRP_RECVPARTBUFFER_DATAPART" data module.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/idf/string_list.h"
#include "support/ini/ini_store.h"

namespace halcyon::plan {

// Adds the data module's value (decimal MB) to `recoveryBufferMB` when a
// selected release carries it; the sum is kept within 0 .. 2^32-1.
// 0 or the query's code.
int32_t GetRecoveryPartitionBufferInfo(std::string_view idfPath, const support::StringList1000 &releaseIds,
                                       support::CMemoryIniIO &store, std::string_view logPath, uint64_t options,
                                       uint32_t &recoveryBufferMB);

} // namespace halcyon::plan

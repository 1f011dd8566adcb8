// [PartitionInformation]: the recovery-partition settings of the IDF header
// and the sizes the image and module writers added up.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/ini/ini_store.h"

namespace halcyon::plan {

// The recovery partition in MB: total (KB) / 1024 + buffer + 200.
int64_t RecoveryPartitionMB(int64_t totalKB, uint32_t recoveryBufferMB);

// Writes HDDRecovery, DynamicRecvPart, BitLocker (option bit 21 only),
// DynamicRecvPartSize, PermanentModuleSize, TemporaryModuleSize, ImageSize
// and RecoveryImageSize (the last two from the TotalSize values already in
// the store). 0, 8 (header attribute missing), 27 (log) or the query's code.
int32_t GetPartitionInformation(std::string_view idfPath, support::CMemoryIniIO &store, std::string_view logPath,
                                int64_t &total, uint32_t recoveryBufferMB, int64_t &permanent, int64_t &temporary,
                                uint64_t options);

} // namespace halcyon::plan

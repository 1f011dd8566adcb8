// The plan sections driven by the IDF's data modules: [ExFuncInformation],
// [CleanSweep], [GPTSupport], [SmallCapacityDisk], [EnableBIOSHIB] and
// [OptionalInformation].
#pragma once

#include <cstdint>
#include <string_view>

#include "support/idf/string_list.h"
#include "support/ini/ini_store.h"

namespace halcyon::plan {

// Runs the section steps in plan order: ExFunc (when `withExFunc`),
// CleanSweep (when `withCleanSweep`), GPT support, small disk, BIOS
// hibernation, incentive program. 0, 27, or the first failing step's code.
int32_t GetDataModuleInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                                 support::CMemoryIniIO &store, std::string_view logPath, uint64_t options,
                                 bool withExFunc, bool withCleanSweep);

// [GPTSupport] GPTSupport = "True"/"False". A failed query is reported and
// leaves the section out (0). 0 or 27.
int32_t GetGPTSupportInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                                 support::CMemoryIniIO &store, std::string_view logPath, uint64_t options);

// [SmallCapacityDisk] SmallCapacityDisk = "True"/"False". 0, 27 or the
// query's code.
int32_t GetSmallSSDInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                               support::CMemoryIniIO &store, std::string_view logPath, uint64_t options);

// [EnableBIOSHIB] EnableBIOSHIB and BIOSHIBPartitionSize (the data module's
// value, or "0MB"). A failed query leaves the section out (0). 0 or 27.
int32_t GetBIOSHPInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                             support::CMemoryIniIO &store, std::string_view logPath, uint64_t options);

// [OptionalInformation] ZPGM_ELIG_VAL: the data module's values joined with
// ",", or "NA". A failed query leaves the section out (0). 0 or 27.
int32_t GetIncentiveProgramInformation(std::string_view idfPath, const support::StringList1000 &releaseIds,
                                       support::CMemoryIniIO &store, std::string_view logPath);

} // namespace halcyon::plan

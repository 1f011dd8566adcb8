// Identity data of the IDF copied into the plan or the builder: the [IDF]
// section from the header, the header's format version, and the machine's
// M-code in [McodeInformation].
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/idf/string_list.h"
#include "support/ini/ini_store.h"

namespace halcyon::plan {

// Writes [IDF] Timestamp, Series, LangRegion, BomSnapshotName, BomSnapshotID
// (all required) and WaitForSetupDelay, PEModuleMCodeAssignment (when
// present) into `store`. 0, 8 (a required key absent), 27 (log) or 28
// (the header cannot be read).
int32_t GetIdfSignature(std::string_view idfPath, support::CMemoryIniIO &store, std::string_view logPath,
                        uint64_t options);

// The header's IDFFormatVersion ("" when absent). 0 or 28.
int32_t GetIdfVersion(std::string_view idfPath, std::string &version);

// Writes [McodeInformation] MCODE = the M-code of the part numbers.
// 0, 27 (log) or the query's code.
int32_t GetMcodeInformation(std::string_view idfPath, const support::StringList1000 &partNumbers,
                            support::CMemoryIniIO &store, std::string_view logPath, uint64_t options);

} // namespace halcyon::plan

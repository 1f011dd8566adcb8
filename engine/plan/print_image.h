// One image section of the plan ([Image] or [RecoveryImage]) from an IDF
// software node.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/idf/xml_node.h"
#include "support/ini/ini_store.h"

namespace halcyon::plan {

// Writes ReleaseName; for the foundation image also BLID, RMID (when not
// empty), MajorVersion, OS, and sets option bit 21 when BitLocker is "true";
// then ReleaseID, PathToRelease and TotalSize, and adds TotalSize (KB) to
// `total`. 0; 8 when a required attribute is missing or a value cannot be
// held by the plan file; 241 when TotalSize is empty.
int32_t PrintImage(const support::CXMLNode &node, std::string_view section, support::CMemoryIniIO &store,
                   int64_t &total, bool isFoundation, uint64_t &options);

} // namespace halcyon::plan

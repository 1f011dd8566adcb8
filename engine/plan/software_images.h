// The image part of the plan: [Image] from the foundation image, the
// foundation image's applications as "Image App%d" ending with an "End"
// section, and [RecoveryImage].
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/idf/string_list.h"
#include "support/ini/ini_store.h"

namespace halcyon::plan {

// Writes the image sections and adds the images' TotalSize (KB) to `total`.
// May set option bits 21 (BitLocker) and 34 (small-capacity disk) in
// `options`. With bit 24 or 25 set, the foundation image's OS is copied into
// `foundationOs` (when given) and only recovery nodes whose OS list holds it
// are written. `permanent` and `temporary` are not changed here.
// 0, 8, 27, 28, 241 or the query library's code.
int32_t GetSoftwareImages(std::string_view idfPath, const support::StringList1000 &releaseIds,
                          const support::StringList1000 &childReleaseIds, support::CMemoryIniIO &store,
                          std::string_view logPath, int64_t &total, int64_t &permanent, int64_t &temporary,
                          uint64_t &options, std::string *foundationOs);

} // namespace halcyon::plan

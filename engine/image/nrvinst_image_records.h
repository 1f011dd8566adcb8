// The records an image load leaves in the machine's nrvinst.oem: the
// release's EPID under [FI] FI and the plan's snapshot ID under
// [SSINFO] SSNPID. The EPID rule and the default path are those of the
// module records (engine/modules/nrvinst_oem.h).
#pragma once

#include <cstdint>
#include <string_view>

namespace halcyon::image {

// Writes [FI] FI = EPID of `releaseId` into `nrvinstPath` (the default path
// when empty). -1 when the release ID is empty, else 0; the profile write's
// own result is not examined. `logPath` is not written.
int32_t WriteFIEPIDToNrvinstFile(std::string_view releaseId, std::string_view nrvinstPath, std::string_view logPath);

// Writes [SSINFO] SSNPID = `snapshotId`; same results as above.
int32_t WriteSSINFOToNrvinstFile(std::string_view snapshotId, std::string_view nrvinstPath, std::string_view logPath);

} // namespace halcyon::image

// The records an image load leaves in the machine's nrvinst.oem: the
// release's EPID under [FI] FI and the plan's snapshot ID under
// [SSINFO] SSNPID. The EPID rule and the default path are those of the
// module records (engine/staging/nrvinst_oem.h).
#pragma once

#include <cstdint>
#include <string_view>

namespace halcyon::image {

// Writes [FI] FI = EPID of `releaseId` into `nrvinstPath` (the default path
// when empty). -1 when the release ID is empty or the write fails, else 0.
// The file is written only below its drive (or below `target`, the folder
// an image was applied to, when that holds it) and through no symbolic link:
// RETURN_UNSAFE_PATH otherwise, the reason logged in `logPath`.
int32_t WriteFIEPIDToNrvinstFile(std::string_view releaseId, std::string_view nrvinstPath, std::string_view logPath,
                                 std::string_view target = {});

// Writes [SSINFO] SSNPID = `snapshotId`; same results as above.
int32_t WriteSSINFOToNrvinstFile(std::string_view snapshotId, std::string_view nrvinstPath, std::string_view logPath,
                                 std::string_view target = {});

} // namespace halcyon::image

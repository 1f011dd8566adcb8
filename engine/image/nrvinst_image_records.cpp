#include "engine/image/nrvinst_image_records.h"

#include <string>

#include "engine/modules/nrvinst_oem.h"
#include "platform/profile.h"

namespace halcyon::image {

namespace {

// The 32-bit file-system redirection of the original platform has no
// counterpart here: the profile is written at the path given.
std::string ResolvePath(std::string_view given)
{
    return given.empty() ? modules::DefaultNrvinstPath() : std::string(given);
}

} // namespace

int32_t WriteFIEPIDToNrvinstFile(std::string_view releaseId, std::string_view nrvinstPath, std::string_view)
{
    if (releaseId.empty())
        return -1;
    platform::WritePrivateProfileString("FI", "FI", modules::MakeEPID(releaseId), ResolvePath(nrvinstPath));
    return 0;
}

int32_t WriteSSINFOToNrvinstFile(std::string_view snapshotId, std::string_view nrvinstPath, std::string_view)
{
    if (snapshotId.empty())
        return -1;
    platform::WritePrivateProfileString("SSINFO", "SSNPID", snapshotId, ResolvePath(nrvinstPath));
    return 0;
}

} // namespace halcyon::image

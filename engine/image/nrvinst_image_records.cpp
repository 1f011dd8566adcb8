#include "engine/image/nrvinst_image_records.h"

#include <string>

#include "engine/staging/nrvinst_oem.h"
#include "platform/profile.h"
#include "support/files/file_ops.h"

namespace halcyon::image {

namespace {

// The 32-bit file-system redirection of the original platform has no
// counterpart here: the profile is written at the path given.
std::string ResolvePath(std::string_view given)
{
    return given.empty() ? modules::DefaultNrvinstPath() : std::string(given);
}

// Writes one record and puts it on disk (the file's data and its folder
// entry): 0, or -1 when either fails; RETURN_UNSAFE_PATH when the path is
// refused.
int32_t WriteDurably(const char *section, const char *key, std::string_view value, const std::string &path,
                     std::string_view target, std::string_view log)
{
    if (int32_t rc = modules::CheckNrvinstPath(path, target, log))
        return rc;
    if (!platform::WritePrivateProfileString(section, key, value, path))
        return -1;
    return support::SyncFile(path) == 0 && support::SyncParentFolder(path) == 0 ? 0 : -1;
}

} // namespace

int32_t WriteFIEPIDToNrvinstFile(std::string_view releaseId, std::string_view nrvinstPath, std::string_view logPath,
                                 std::string_view target)
{
    if (releaseId.empty())
        return -1;
    return WriteDurably("FI", "FI", modules::MakeEPID(releaseId), ResolvePath(nrvinstPath), target, logPath);
}

int32_t WriteSSINFOToNrvinstFile(std::string_view snapshotId, std::string_view nrvinstPath, std::string_view logPath,
                                 std::string_view target)
{
    if (snapshotId.empty())
        return -1;
    return WriteDurably("SSINFO", "SSNPID", snapshotId, ResolvePath(nrvinstPath), target, logPath);
}

} // namespace halcyon::image

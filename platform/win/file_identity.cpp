// The volume serial number, the file index and the last write time (100-ns
// ticks) of an open handle; folders open with backup semantics.
#include "platform/file_identity.h"

#include "platform/win/wide_text.h"
#include "platform/win/windows_api.h"

namespace halcyon::platform {

std::optional<FileIdentity> IdentifyFile(const std::string &hostPath)
{
    HANDLE h = ::CreateFileW(win::FileApiPath(hostPath).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    if (!ok)
        return std::nullopt;
    FileIdentity id;
    id.device = info.dwVolumeSerialNumber;
    id.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    const uint64_t ticks =
        (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    id.writtenNs = static_cast<int64_t>(ticks) * 100;
    return id;
}

} // namespace halcyon::platform

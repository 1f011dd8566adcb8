// File versions from the handle's basic information (write and change times
// in 100-ns ticks) and its file index.
#include "platform/file_version.h"

#include "platform/win/windows_api.h"

#include "platform/win/file_information.h"

namespace halcyon::platform {

std::optional<FileVersion> FileVersionOf(const std::string &hostPath)
{
    if (hostPath.empty())
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!win::ReadFileInformation(hostPath, &info, &basic))
        return std::nullopt;
    FileVersion v;
    v.regular = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    v.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    v.writeNs = basic.LastWriteTime.QuadPart * 100;
    v.changeNs = basic.ChangeTime.QuadPart * 100;
    v.identity = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    v.device = info.dwVolumeSerialNumber;
    return v;
}

} // namespace halcyon::platform

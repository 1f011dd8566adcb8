// File attributes are the file system's own on Windows.
#include "platform/file_attributes.h"

#include "platform/path_map.h"
#include "platform/win/wide_text.h"
#include "platform/win/windows_api.h"

namespace halcyon::platform {

uint32_t GetFileAttributes(std::string_view path)
{
    std::string host = HostPath(path);
    if (host.empty())
        return INVALID_FILE_ATTRIBUTES;
    return ::GetFileAttributesW(win::FileApiPath(host).c_str());
}

bool SetFileAttributes(std::string_view path, uint32_t attributes)
{
    std::string host = HostPath(path);
    return !host.empty() && ::SetFileAttributesW(win::FileApiPath(host).c_str(), attributes) != 0;
}

} // namespace halcyon::platform

// Windows: CreateFileW with FILE_FLAG_SEQUENTIAL_SCAN, ReadFile.
#include "platform/sequential_file.h"

#include <algorithm>
#include <cerrno>

#include "platform/win/windows_api.h"

#include "platform/win/errno_of.h"
#include "platform/win/wide_text.h"

namespace halcyon::platform {

SequentialFile::~SequentialFile()
{
    if (handle_ != kNoHandle)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

int SequentialFile::Open(const std::string &hostPath, uint64_t *size)
{
    if (handle_ != kNoHandle)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kNoHandle;
    const std::wstring path = win::FileApiPath(hostPath);
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return EISDIR;
        return win::ErrnoOf(error);
    }
    // Devices and pipes are no files to check.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return EINVAL;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    return size ? Size(size) : 0;
}

int SequentialFile::Size(uint64_t *size) const
{
    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &length))
        return win::ErrnoOf(::GetLastError());
    *size = static_cast<uint64_t>(length.QuadPart);
    return 0;
}

int SequentialFile::Read(void *buffer, size_t count, size_t *got)
{
    *got = 0;
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(count, 0x40000000));
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, want, &n, nullptr))
        return win::ErrnoOf(::GetLastError());
    *got = n;
    return 0;
}

} // namespace halcyon::platform

// File reads through the Win32 API with real Windows paths (long paths
// handled); handles are not inherited by child processes.
#include "platform/host_file.h"

#include "platform/win/windows_api.h"

#include "platform/win/file_information.h"
#include "platform/win/wide_text.h"

namespace halcyon::platform {

namespace {

// 100-ns ticks from 1601 to 1970.
constexpr uint64_t kEpochTicks = 116444736000000000ull;

std::time_t ToTimeT(const FILETIME &ft)
{
    uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<std::time_t>((static_cast<int64_t>(ticks) - static_cast<int64_t>(kEpochTicks)) / 10000000);
}

} // namespace

std::optional<HostFileStatus> LinkStatHostPath(const std::string &hostPath)
{
    if (hostPath.empty())
        return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win::FileApiPath(hostPath).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    HostFileStatus s;
    s.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    s.directory = !s.link && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    s.regular = !s.link && !s.directory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    s.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    s.modified = ToTimeT(data.ftLastWriteTime);
    return s;
}

std::optional<HostFileStatus> StatHostPath(const std::string &hostPath)
{
    std::optional<HostFileStatus> s = LinkStatHostPath(hostPath);
    if (!s || !s->link)
        return s;
    // A link: the status of what it points at, through a handle that follows it.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!win::ReadFileInformation(hostPath, &info))
        return std::nullopt;
    HostFileStatus t;
    t.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    t.regular = !t.directory && (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    t.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    t.modified = ToTimeT(info.ftLastWriteTime);
    return t;
}

ReadOnlyFile::ReadOnlyFile(const std::string &hostPath)
{
    HANDLE h = ::CreateFileW(win::FileApiPath(hostPath).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER size{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileSizeEx(h, &size)) {
        ::CloseHandle(h);
        return;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    size_ = static_cast<uint64_t>(size.QuadPart);
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (handle_ != kNoHandle)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool ReadOnlyFile::ReadAt(uint64_t offset, void *out, size_t n) const
{
    if (handle_ == kNoHandle || offset > size_ || n > size_ - offset)
        return false;
    auto *p = static_cast<uint8_t *>(out);
    while (n > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        DWORD got = 0;
        if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), p, want, &got, &at) || got == 0)
            return false;
        p += got;
        n -= got;
        offset += got;
    }
    return true;
}

std::FILE *OpenHostFileForRead(const std::string &hostPath)
{
    // "N": not inherited by child processes.
    return ::_wfopen(win::FileApiPath(hostPath).c_str(), L"rbN");
}

bool LocalCivilTime(std::time_t when, std::tm *out) { return ::localtime_s(out, &when) == 0; }

bool IsUnicodeLetterOrDigit(char32_t c)
{
    wchar_t units[2];
    int n = 1;
    if (c >= 0x10000) {
        c -= 0x10000;
        units[0] = static_cast<wchar_t>(0xD800 + (c >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        n = 2;
    } else {
        units[0] = static_cast<wchar_t>(c);
    }
    WORD type[2] = {};
    if (!::GetStringTypeW(CT_CTYPE1, units, n, type))
        return true;
    return (type[0] & (C1_ALPHA | C1_DIGIT)) != 0;
}

namespace win {

bool ReadFileInformation(const std::string &hostPath, BY_HANDLE_FILE_INFORMATION *info, FILE_BASIC_INFO *basic)
{
    HANDLE h = ::CreateFileW(FileApiPath(hostPath).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = ::GetFileInformationByHandle(h, info) &&
                    (!basic || ::GetFileInformationByHandleEx(h, FileBasicInfo, basic, sizeof *basic));
    ::CloseHandle(h);
    return ok;
}

} // namespace win

} // namespace halcyon::platform

// Windows: ReadFile/WriteFile through one large buffer per thread, entries
// opened with FILE_FLAG_OPEN_REPARSE_POINT (a symbolic link or junction is
// copied as its reparse data, never entered), FlushFileBuffers.
#include "platform/file_tree.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/folder_list.h"
#include "platform/fs_path.h"
#include "platform/path_map.h"
#include "platform/win/windows_api.h"

#include <winioctl.h>

#include "platform/win/errno_of.h"
#include "platform/win/unique_handle.h"
#include "platform/win/wide_text.h"

namespace halcyon::platform {

namespace {

constexpr DWORD kBufferSize = DWORD{4} << 20;
// Attributes a copy keeps.
constexpr DWORD kCopiedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

int LastErrno() { return win::ErrnoOf(::GetLastError()); }

using Handle = win::UniqueHandle;

std::string Join(const std::string &folder, const std::string &name)
{
    const char last = folder.empty() ? '\\' : folder.back();
    return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

DWORD AttributesAt(const std::string &path) { return ::GetFileAttributesW(win::FileApiPath(path).c_str()); }

// Removes a link, or a file, at `path` itself (never a link's target).
int RemoveInPlace(const std::string &path, DWORD attributes)
{
    const std::wstring p = win::FileApiPath(path);
    if (attributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(p.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    const BOOL done = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(p.c_str()) : ::DeleteFileW(p.c_str());
    return done ? 0 : LastErrno();
}

int CopyHandles(HANDLE in, HANDLE out, CopyAdvanced advanced, void *context, int retries)
{
    // One buffer per thread, reused by every copy.
    thread_local std::vector<char> buf(kBufferSize);
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(in, buf.data(), kBufferSize, &n, nullptr)) {
            if (retries-- > 0)
                continue;
            return LastErrno();
        }
        if (n == 0)
            return 0;
        DWORD done = 0;
        while (done < n) {
            DWORD w = 0;
            if (!::WriteFile(out, buf.data() + done, n - done, &w, nullptr))
                return LastErrno();
            if (w == 0)
                return ENOSPC;
            done += w;
        }
        if (advanced)
            advanced(n, context);
    }
}

// Opens the file to write at `path`, never through a link: a link there is
// removed first; a read-only file is made writable.
int OpenTarget(const std::string &path, Handle &out)
{
    const std::wstring p = win::FileApiPath(path);
    constexpr DWORD kAccess = GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    const DWORD attributes = ::GetFileAttributesW(p.c_str());
    DWORD disposition = CREATE_NEW;
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (int rc = RemoveInPlace(path, attributes))
                return rc;
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return EISDIR;
        } else {
            if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
                ::SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            disposition = TRUNCATE_EXISTING;
        }
    }
    Handle opened(::CreateFileW(p.c_str(), kAccess, FILE_SHARE_READ, nullptr, disposition, kFlags, nullptr));
    if (!opened.ok())
        return LastErrno();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(opened.get(), &info))
        return LastErrno();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ELOOP; // put there between the check and the open
    out.Swap(opened);
    return 0;
}

// Copies one regular file with its attributes. `follow` allows `from`
// itself to be a link (a file named by the caller).
int CopyFileAt(const std::string &from, const std::string &to, const TreeCopyOptions &how, bool follow)
{
    Handle in(::CreateFileW(win::FileApiPath(from).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
    if (!in.ok()) {
        const DWORD error = ::GetLastError();
        const DWORD attributes = AttributesAt(from);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return EISDIR;
        return win::ErrnoOf(error);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(in.get(), &info))
        return LastErrno();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return EISDIR;
    // Devices and pipes are no media data (a pipe would never end).
    if (::GetFileType(in.get()) != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return EINVAL;
    if (how.beforeWrite)
        if (int fault = how.beforeWrite(to, how.context))
            return fault;
    Handle out;
    if (int rc = OpenTarget(to, out))
        return rc;
    if (int rc = CopyHandles(in.get(), out.get(), how.advanced, how.context, how.retries))
        return rc;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = info.dwFileAttributes & kCopiedAttributes;
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(out.get(), FileBasicInfo, &basic, sizeof basic))
        return LastErrno();
    return out.Close() ? 0 : LastErrno();
}

// Copies a symbolic link or junction as its reparse data (the same target
// text), replacing what is at `to` unless it is a folder.
int CopyLinkAt(const std::string &from, const std::string &to)
{
    Handle src(::CreateFileW(win::FileApiPath(from).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!src.ok())
        return LastErrno();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(src.get(), &info))
        return LastErrno();
    std::vector<char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD size = 0;
    if (!::DeviceIoControl(src.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                           static_cast<DWORD>(data.size()), &size, nullptr))
        return LastErrno();
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::wstring p = win::FileApiPath(to);
    const DWORD existing = ::GetFileAttributesW(p.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if ((existing & FILE_ATTRIBUTE_DIRECTORY) && !(existing & FILE_ATTRIBUTE_REPARSE_POINT))
            return EISDIR;
        if (int rc = RemoveInPlace(to, existing))
            return rc;
    }
    if (folder ? !::CreateDirectoryW(p.c_str(), nullptr)
               : !Handle(::CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                       nullptr))
                      .ok())
        return LastErrno();
    int rc = 0;
    {
        Handle dst(::CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        DWORD ignored = 0;
        if (!dst.ok() || !::DeviceIoControl(dst.get(), FSCTL_SET_REPARSE_POINT, data.data(), size, nullptr, 0,
                                            &ignored, nullptr))
            rc = LastErrno();
    }
    if (rc != 0)
        RemoveInPlace(to, folder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return rc;
}

// Makes the folder `to`; a link or file in its place is replaced by the
// folder when it is a link, refused (ENOTDIR) when it is a file.
int OpenTargetFolder(const std::string &to)
{
    const std::wstring p = win::FileApiPath(to);
    if (::CreateDirectoryW(p.c_str(), nullptr))
        return 0;
    if (::GetLastError() != ERROR_ALREADY_EXISTS)
        return LastErrno();
    const DWORD attributes = ::GetFileAttributesW(p.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LastErrno();
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ENOTDIR;
    if (int rc = RemoveInPlace(to, attributes))
        return rc;
    return ::CreateDirectoryW(p.c_str(), nullptr) ? 0 : LastErrno();
}

int CopyFolderAt(const std::string &from, const std::string &to, const TreeCopyOptions &how)
{
    std::vector<FolderEntry> entries;
    if (int rc = ListFolder(from, entries))
        return rc;
    for (const FolderEntry &e : entries) {
        const std::string src = Join(from, e.name);
        const std::string dst = Join(to, e.name);
        int rc = 0;
        if (e.kind == EntryKind::Folder) {
            if (!how.recurse)
                continue;
            rc = OpenTargetFolder(dst);
            if (rc == 0)
                rc = CopyFolderAt(src, dst, how);
        } else if (!WildcardMatch(how.mask, e.name)) {
            continue;
        } else if (e.kind == EntryKind::Link) {
            rc = CopyLinkAt(src, dst);
        } else if (e.kind == EntryKind::File) {
            rc = CopyFileAt(src, dst, how, false);
        } else {
            rc = EINVAL;
        }
        if (rc != 0)
            return rc;
    }
    return 0;
}

bool CannotFlush(DWORD error) { return error == ERROR_INVALID_FUNCTION || error == ERROR_WRITE_PROTECT; }

// Flushes one file by path, not through a link. A read-only file is made
// writable for the flush and read-only again afterwards.
int FlushPath(const std::string &path)
{
    const std::wstring p = win::FileApiPath(path);
    const DWORD attributes = ::GetFileAttributesW(p.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LastErrno();
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ELOOP;
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !::SetFileAttributesW(p.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}))
        return LastErrno();
    int rc = 0;
    {
        Handle h(::CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!h.ok())
            rc = LastErrno();
        else if (!::FlushFileBuffers(h.get()) && !CannotFlush(::GetLastError()))
            rc = LastErrno();
    }
    if (readOnly)
        ::SetFileAttributesW(p.c_str(), attributes);
    return rc;
}

// Flushes every file below `folder` and the folder itself (links are not
// entered; a folder the system will not flush counts as flushed).
int FlushTree(const std::string &folder)
{
    std::vector<FolderEntry> entries;
    if (int rc = ListFolder(folder, entries))
        return rc;
    for (const FolderEntry &e : entries) {
        const std::string path = Join(folder, e.name);
        if (e.kind == EntryKind::Folder) {
            if (int rc = FlushTree(path))
                return rc;
        } else if (e.kind == EntryKind::File) {
            if (int rc = FlushPath(path))
                return rc;
        }
    }
    Handle h(::CreateFileW(win::FileApiPath(folder).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (h.ok())
        ::FlushFileBuffers(h.get());
    return 0;
}

// Flushes the whole volume holding `path`: needs administrator rights.
bool FlushVolume(const std::string &path)
{
    const std::wstring p = win::FileApiPath(path);
    wchar_t mount[MAX_PATH + 1] = {};
    wchar_t volume[MAX_PATH + 1] = {};
    if (!::GetVolumePathNameW(p.c_str(), mount, MAX_PATH) ||
        !::GetVolumeNameForVolumeMountPointW(mount, volume, MAX_PATH))
        return false;
    std::wstring device(volume);
    if (!device.empty() && device.back() == L'\\')
        device.pop_back();
    Handle h(::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr));
    return h.ok() && ::FlushFileBuffers(h.get());
}

} // namespace

int CopyFileContents(HostFile &in, HostFile &out, CopyAdvanced advanced, void *context, int retries)
{
    return CopyHandles(reinterpret_cast<HANDLE>(in.Native()), reinterpret_cast<HANDLE>(out.Native()), advanced,
                       context, retries);
}

int CopyFolderTree(const std::string &from, const std::string &to, const TreeCopyOptions &options)
{
    const DWORD attributes = AttributesAt(from);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LastErrno();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ENOTDIR;
    std::error_code ec;
    std::filesystem::create_directories(FsPath(to), ec);
    if (ec)
        return ec.value();
    return CopyFolderAt(from, to, options);
}

int CopyOneFile(const std::string &from, const std::string &to, const TreeCopyOptions &options)
{
    return CopyFileAt(from, to, options, true);
}

int FlushFileContents(HostFile &file)
{
    if (!::FlushFileBuffers(reinterpret_cast<HANDLE>(file.Native())) && !CannotFlush(::GetLastError()))
        return LastErrno();
    return 0;
}

int FlushFileAt(const std::string &hostPath) { return FlushPath(hostPath); }

// A whole-volume flush needs rights the engine may lack (administrator).
// Without them every file below `hostPath` is flushed one by one instead:
// the callers name the folder they wrote, so that is what they need on disk.
int FlushFileSystem(const std::string &hostPath)
{
    if (FlushVolume(hostPath))
        return 0;
    const DWORD attributes = AttributesAt(hostPath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LastErrno();
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return 0; // a link holds no data of its own
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FlushTree(hostPath) : FlushPath(hostPath);
}

} // namespace halcyon::platform

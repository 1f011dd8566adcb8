// Read-write files through the Win32 API: handles are not inherited and let
// other handles read, write and delete; positioned reads and writes keep the
// handle's position; range locks are LockFileEx's.
#include "platform/host_file_rw.h"

#include <cerrno>
#include <climits>

#include "platform/win/windows_api.h"

#include "platform/win/errno_of.h"
#include "platform/win/wide_text.h"
#include "platform/non_copyable.h"

namespace halcyon::platform {

namespace {

constexpr DWORD kMaxChunk = 0x40000000; // 1 GiB per ReadFile/WriteFile call

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

int LastErrno() { return win::ErrnoOf(::GetLastError()); }

OVERLAPPED At(uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

DWORD Chunk(size_t count) { return count > kMaxChunk ? kMaxChunk : static_cast<DWORD>(count); }

// Refusals of a flush by the file system or the handle's kind.
bool CannotFlush(DWORD error)
{
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_WRITE_PROTECT ||
           error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_PARAMETER;
}

bool IsFolder(const std::wstring &path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The handle's position, restored when the positioned call is done: a
// synchronous handle moves its position on an OVERLAPPED read or write.
class PositionKeeper : NonCopyable {
public:
    explicit PositionKeeper(HANDLE h) : h_(h)
    {
        LARGE_INTEGER zero{};
        kept_ = ::SetFilePointerEx(h_, zero, &position_, FILE_CURRENT) != 0;
    }
    ~PositionKeeper()
    {
        if (kept_)
            ::SetFilePointerEx(h_, position_, nullptr, FILE_BEGIN);
    }

private:
    HANDLE h_;
    LARGE_INTEGER position_{};
    bool kept_ = false;
};

} // namespace

int HostFile::OpenAs(const std::string &hostPath, FileAccess access, FileCreation creation, bool followLink)
{
    Close();
    if (hostPath.empty())
        return ENOENT;
    DWORD desired = 0;
    switch (access) {
    case FileAccess::Read: desired = GENERIC_READ; break;
    case FileAccess::Write: desired = GENERIC_WRITE; break;
    case FileAccess::ReadWrite: desired = GENERIC_READ | GENERIC_WRITE; break;
    case FileAccess::Append: desired = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE; break;
    }
    DWORD disposition = OPEN_EXISTING;
    switch (creation) {
    case FileCreation::OpenExisting: disposition = OPEN_EXISTING; break;
    case FileCreation::OpenOrCreate: disposition = OPEN_ALWAYS; break;
    case FileCreation::CreateOrTruncate: disposition = CREATE_ALWAYS; break;
    case FileCreation::CreateNew: disposition = CREATE_NEW; break;
    }
    const std::wstring path = win::FileApiPath(hostPath);
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    // Without following, a reparse point is opened as itself and refused
    // below. CREATE_ALWAYS would empty the link's own data first: the
    // existing entry is opened as it is and emptied once it is known a file.
    const bool truncate = !followLink && disposition == CREATE_ALWAYS;
    if (!followLink)
        desired |= FILE_READ_ATTRIBUTES; // to tell a reparse point
    HANDLE h = ::CreateFileW(path.c_str(), desired, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             &security, truncate ? OPEN_ALWAYS : disposition,
                             FILE_ATTRIBUTE_NORMAL | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED && IsFolder(path))
            return EISDIR;
        return win::ErrnoOf(error);
    }
    if (::GetFileType(h) == FILE_TYPE_DISK) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(h, &info)) {
            if (!followLink && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                ::CloseHandle(h);
                return ELOOP;
            }
            if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::CloseHandle(h);
                return EISDIR;
            }
        } else if (!followLink) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(h);
            return win::ErrnoOf(error);
        }
    }
    if (truncate) {
        FILE_END_OF_FILE_INFO end{};
        if (!::SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end)) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(h);
            return win::ErrnoOf(error);
        }
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    return 0;
}

int HostFile::Close()
{
    if (handle_ == kNoHandle)
        return 0;
    HANDLE h = AsHandle(handle_);
    handle_ = kNoHandle;
    return ::CloseHandle(h) ? 0 : LastErrno();
}

int HostFile::Read(void *buffer, size_t count, size_t *got)
{
    *got = 0;
    DWORD n = 0;
    if (!::ReadFile(AsHandle(handle_), buffer, Chunk(count), &n, nullptr)) {
        const DWORD error = ::GetLastError();
        return error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE ? 0 : win::ErrnoOf(error);
    }
    *got = n;
    return 0;
}

int HostFile::Write(const void *buffer, size_t count)
{
    const auto *in = static_cast<const char *>(buffer);
    while (count > 0) {
        DWORD n = 0;
        if (!::WriteFile(AsHandle(handle_), in, Chunk(count), &n, nullptr))
            return LastErrno();
        if (n == 0)
            return ENOSPC;
        in += n;
        count -= n;
    }
    return 0;
}

int HostFile::ReadAt(uint64_t offset, void *buffer, size_t count, size_t *got)
{
    *got = 0;
    PositionKeeper keep(AsHandle(handle_));
    OVERLAPPED at = At(offset);
    DWORD n = 0;
    if (!::ReadFile(AsHandle(handle_), buffer, Chunk(count), &n, &at)) {
        const DWORD error = ::GetLastError();
        return error == ERROR_HANDLE_EOF ? 0 : win::ErrnoOf(error);
    }
    *got = n;
    return 0;
}

int HostFile::WriteAt(uint64_t offset, const void *buffer, size_t count)
{
    PositionKeeper keep(AsHandle(handle_));
    const auto *in = static_cast<const char *>(buffer);
    while (count > 0) {
        OVERLAPPED at = At(offset);
        DWORD n = 0;
        if (!::WriteFile(AsHandle(handle_), in, Chunk(count), &n, &at))
            return LastErrno();
        if (n == 0)
            return ENOSPC;
        in += n;
        offset += n;
        count -= n;
    }
    return 0;
}

int HostFile::Seek(int64_t offset, SeekFrom from, uint64_t *position)
{
    const DWORD method = from == SeekFrom::Begin ? FILE_BEGIN : from == SeekFrom::Current ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER now{};
    if (!::SetFilePointerEx(AsHandle(handle_), distance, &now, method))
        return LastErrno();
    if (position)
        *position = static_cast<uint64_t>(now.QuadPart);
    return 0;
}

int HostFile::Size(uint64_t *size) const
{
    LARGE_INTEGER s{};
    if (!::GetFileSizeEx(AsHandle(handle_), &s))
        return LastErrno();
    *size = static_cast<uint64_t>(s.QuadPart);
    return 0;
}

int HostFile::SetSize(uint64_t size)
{
    if (size > static_cast<uint64_t>(INT64_MAX))
        return EINVAL;
    if (int err = Seek(static_cast<int64_t>(size), SeekFrom::Begin, nullptr))
        return err;
    return ::SetEndOfFile(AsHandle(handle_)) ? 0 : LastErrno();
}

int HostFile::Flush()
{
    if (::FlushFileBuffers(AsHandle(handle_)))
        return 0;
    const DWORD error = ::GetLastError();
    return CannotFlush(error) ? 0 : win::ErrnoOf(error);
}

int HostFile::LockRange(uint64_t position, uint64_t count, bool exclusive)
{
    if (count == 0)
        return 0; // an empty range holds nothing to lock
    if (position > static_cast<uint64_t>(INT64_MAX) || count > static_cast<uint64_t>(INT64_MAX) - position)
        return EINVAL;
    OVERLAPPED at = At(position);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (!::LockFileEx(AsHandle(handle_), flags, 0, static_cast<DWORD>(count), static_cast<DWORD>(count >> 32),
                      &at))
        return LastErrno();
    return 0;
}

// Windows has no way to ask about a lock without taking it, and taking it
// for a moment could turn a starting run away.
int HostFile::RangeLockedElsewhere(uint64_t, uint64_t, bool *held) const
{
    *held = false;
    return ENOSYS;
}

int HostFile::UnlockRange(uint64_t position, uint64_t count)
{
    if (count == 0)
        return 0;
    OVERLAPPED at = At(position);
    if (!::UnlockFileEx(AsHandle(handle_), 0, static_cast<DWORD>(count), static_cast<DWORD>(count >> 32), &at))
        return LastErrno();
    return 0;
}

int ReplaceHostFile(const std::string &fromHostPath, const std::string &toHostPath, bool durable)
{
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (!::MoveFileExW(win::FileApiPath(fromHostPath).c_str(), win::FileApiPath(toHostPath).c_str(), flags))
        return LastErrno();
    return 0;
}

int RemoveHostFile(const std::string &hostPath)
{
    if (::DeleteFileW(win::FileApiPath(hostPath).c_str()))
        return 0;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : win::ErrnoOf(error);
}

int FlushHostFolder(const std::string &hostPath)
{
    const std::wstring path = win::FileApiPath(hostPath);
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED && IsFolder(path))
            return 0; // the system does not hand out a writable folder handle
        return win::ErrnoOf(error);
    }
    int err = 0;
    if (!::FlushFileBuffers(h) && !CannotFlush(::GetLastError()))
        err = LastErrno();
    ::CloseHandle(h);
    return err;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::GetCurrentProcessId()); }

} // namespace halcyon::platform

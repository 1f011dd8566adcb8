#include "engine/frame/file64.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/path_map.h"

namespace halcyon::frame {

CFileException::CFileException(Cause cause, int osError, std::string fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName))
{
    text_ = "file error " + std::to_string(static_cast<int>(cause)) + " (os error " + std::to_string(osError) + ")";
    if (osError != 0)
        text_ += std::string(": ") + std::strerror(osError);
    if (!m_strFileName.empty())
        text_ += " on " + m_strFileName;
}

CFileException::Cause CFileException::OsErrorToCause(int osError)
{
    switch (osError) {
    case 0:
        return none;
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return badPath;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return accessDenied;
    case EBADF:
        return invalidFile;
    case EINVAL:
    case ESPIPE:
    case EOVERFLOW:
        return badSeek;
    case EIO:
        return hardIO;
    case ETXTBSY:
    case EBUSY:
        return sharingViolation;
    case EAGAIN:
    case EDEADLK:
        return lockViolation;
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return diskFull;
    default:
        return genericException;
    }
}

void CFileException::ThrowOsError(int osError, const std::string &fileName)
{
    throw CFileException(OsErrorToCause(osError), osError, fileName);
}

CFile64::CFile64(const std::string &path, unsigned openFlags)
{
    CFileException error(CFileException::none, 0, path);
    if (!Open(path, openFlags, &error))
        throw error;
}

CFile64::~CFile64()
{
    Abort();
}

bool CFile64::Open(const std::string &path, unsigned openFlags, CFileException *error)
{
    Abort();
    platform::FileAccess access = platform::FileAccess::Read;
    switch (openFlags & 3u) {
    case modeWrite:
        access = platform::FileAccess::Write;
        break;
    case modeReadWrite:
        access = platform::FileAccess::ReadWrite;
        break;
    default:
        break;
    }
    platform::FileCreation creation = platform::FileCreation::OpenExisting;
    if (openFlags & modeCreate)
        creation = (openFlags & modeNoTruncate) ? platform::FileCreation::OpenOrCreate
                                                : platform::FileCreation::CreateOrTruncate;
    if (const int err = file_.Open(platform::HostPath(path), access, creation)) {
        if (error)
            *error = CFileException(CFileException::OsErrorToCause(err), err, path);
        return false;
    }
    flags_ = openFlags;
    path_ = path;
    return true;
}

void CFile64::Close()
{
    if (const int err = file_.Close())
        CFileException::ThrowOsError(err, path_);
}

void CFile64::Abort()
{
    (void)file_.Close();
}

void CFile64::ThrowIfClosed() const
{
    if (!file_.IsOpen())
        CFileException::ThrowOsError(EBADF, path_);
}

uint64_t CFile64::Read(void *buffer, uint64_t count)
{
    ThrowIfClosed();
    auto *out = static_cast<char *>(buffer);
    uint64_t done = 0;
    while (done < count) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, 1u << 30));
        size_t got = 0;
        if (const int err = file_.Read(out + done, chunk, &got))
            CFileException::ThrowOsError(err, path_);
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

void CFile64::Write(const void *buffer, uint64_t count)
{
    ThrowIfClosed();
    const auto *in = static_cast<const char *>(buffer);
    uint64_t done = 0;
    while (done < count) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, 1u << 30));
        if (const int err = file_.Write(in + done, chunk))
            CFileException::ThrowOsError(err, path_);
        done += chunk;
    }
}

void CFile64::Flush()
{
    if (!file_.IsOpen())
        return;
    if (const int err = file_.Flush())
        CFileException::ThrowOsError(err, path_);
}

uint64_t CFile64::Seek(int64_t offset, unsigned from)
{
    ThrowIfClosed();
    platform::SeekFrom whence = platform::SeekFrom::Begin;
    if (from == current)
        whence = platform::SeekFrom::Current;
    else if (from == end)
        whence = platform::SeekFrom::End;
    else if (from != begin)
        CFileException::ThrowOsError(EINVAL, path_);
    uint64_t position = 0;
    if (const int err = file_.Seek(offset, whence, &position))
        CFileException::ThrowOsError(err, path_);
    return position;
}

uint64_t CFile64::GetPosition() const
{
    ThrowIfClosed();
    uint64_t position = 0;
    // Seek answers the position without moving it; the handle is shared state.
    if (const int err = const_cast<platform::HostFile &>(file_).Seek(0, platform::SeekFrom::Current, &position))
        CFileException::ThrowOsError(err, path_);
    return position;
}

uint64_t CFile64::GetLength() const
{
    ThrowIfClosed();
    uint64_t size = 0;
    if (const int err = file_.Size(&size))
        CFileException::ThrowOsError(err, path_);
    return size;
}

void CFile64::SetLength(uint64_t length)
{
    ThrowIfClosed();
    if (const int err = file_.SetSize(length))
        CFileException::ThrowOsError(err, path_);
}

void CFile64::LockRange(uint64_t position, uint64_t count)
{
    ThrowIfClosed();
    // A file open only for reading can take only a shared lock. Locks belong
    // to this open file, so two objects on one file exclude each other.
    if (const int err = file_.LockRange(position, count, (flags_ & 3u) != modeRead))
        CFileException::ThrowOsError(err, path_);
}

void CFile64::UnlockRange(uint64_t position, uint64_t count)
{
    ThrowIfClosed();
    if (const int err = file_.UnlockRange(position, count))
        CFileException::ThrowOsError(err, path_);
}

void CFile64::SetFilePath(const char *path)
{
    if (!path)
        throw CFileException(CFileException::genericException, EINVAL, std::string());
    path_ = path;
}

} // namespace halcyon::frame

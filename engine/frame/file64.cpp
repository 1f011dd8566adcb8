#include "engine/frame/file64.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
        return sharingViolation;
    case EAGAIN:
    case EDEADLK:
        return lockViolation;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
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
    int flags = O_CLOEXEC;
    switch (openFlags & 3u) {
    case modeWrite:
        flags |= O_WRONLY;
        break;
    case modeReadWrite:
        flags |= O_RDWR;
        break;
    default:
        flags |= O_RDONLY;
        break;
    }
    if (openFlags & modeCreate) {
        flags |= O_CREAT;
        if (!(openFlags & modeNoTruncate))
            flags |= O_TRUNC;
    }
    const std::string host = platform::HostPath(path);
    const int fd = ::open(host.c_str(), flags, 0666);
    if (fd < 0) {
        if (error)
            *error = CFileException(CFileException::OsErrorToCause(errno), errno, path);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = CFileException(CFileException::accessDenied, EISDIR, path);
        return false;
    }
    fd_ = fd;
    flags_ = openFlags;
    path_ = path;
    return true;
}

void CFile64::Close()
{
    if (fd_ < 0)
        return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        CFileException::ThrowOsError(errno, path_);
}

void CFile64::Abort()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

uint64_t CFile64::Read(void *buffer, uint64_t count)
{
    if (fd_ < 0)
        CFileException::ThrowOsError(EBADF, path_);
    auto *out = static_cast<char *>(buffer);
    uint64_t done = 0;
    while (done < count) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, 1u << 30));
        const ssize_t n = ::read(fd_, out + done, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CFileException::ThrowOsError(errno, path_);
        }
        if (n == 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    return done;
}

void CFile64::Write(const void *buffer, uint64_t count)
{
    if (fd_ < 0)
        CFileException::ThrowOsError(EBADF, path_);
    const auto *in = static_cast<const char *>(buffer);
    uint64_t done = 0;
    while (done < count) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, 1u << 30));
        const ssize_t n = ::write(fd_, in + done, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CFileException::ThrowOsError(errno, path_);
        }
        if (n == 0)
            throw CFileException(CFileException::diskFull, ENOSPC, path_);
        done += static_cast<uint64_t>(n);
    }
}

void CFile64::Flush()
{
    if (fd_ < 0)
        return;
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        CFileException::ThrowOsError(errno, path_);
}

uint64_t CFile64::Seek(int64_t offset, unsigned from)
{
    if (fd_ < 0)
        CFileException::ThrowOsError(EBADF, path_);
    int whence = SEEK_SET;
    if (from == current)
        whence = SEEK_CUR;
    else if (from == end)
        whence = SEEK_END;
    else if (from != begin)
        CFileException::ThrowOsError(EINVAL, path_);
    const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (pos < 0)
        CFileException::ThrowOsError(errno, path_);
    return static_cast<uint64_t>(pos);
}

uint64_t CFile64::GetPosition() const
{
    if (fd_ < 0)
        CFileException::ThrowOsError(EBADF, path_);
    const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0)
        CFileException::ThrowOsError(errno, path_);
    return static_cast<uint64_t>(pos);
}

uint64_t CFile64::GetLength() const
{
    if (fd_ < 0)
        CFileException::ThrowOsError(EBADF, path_);
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        CFileException::ThrowOsError(errno, path_);
    return static_cast<uint64_t>(st.st_size);
}

void CFile64::SetLength(uint64_t length)
{
    if (length > static_cast<uint64_t>(INT64_MAX))
        CFileException::ThrowOsError(EINVAL, path_);
    Seek(static_cast<int64_t>(length), begin);
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0)
        CFileException::ThrowOsError(errno, path_);
}

void CFile64::Lock(uint64_t position, uint64_t count, short type)
{
    if (fd_ < 0)
        CFileException::ThrowOsError(EBADF, path_);
    if (count == 0)
        return; // an empty range holds nothing to lock
    if (position > static_cast<uint64_t>(INT64_MAX) || count > static_cast<uint64_t>(INT64_MAX) - position)
        CFileException::ThrowOsError(EINVAL, path_);
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(position);
    lock.l_len = static_cast<off_t>(count);
    // Locks belong to this open file, as a handle's locks do, so that two
    // objects on the same file exclude each other even in one process.
    if (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
        const int err = (errno == EACCES || errno == EAGAIN) ? EAGAIN : errno;
        CFileException::ThrowOsError(err, path_);
    }
}

void CFile64::LockRange(uint64_t position, uint64_t count)
{
    // A file open only for reading can take only a shared lock.
    Lock(position, count, (flags_ & 3u) == modeRead ? F_RDLCK : F_WRLCK);
}

void CFile64::UnlockRange(uint64_t position, uint64_t count)
{
    Lock(position, count, F_UNLCK);
}

void CFile64::SetFilePath(const char *path)
{
    if (!path)
        throw CFileException(CFileException::genericException, EINVAL, std::string());
    path_ = path;
}

} // namespace halcyon::frame

#include "platform/host_file_rw.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "descriptor_io.h"

namespace halcyon::platform {

namespace {

bool CannotFlush(int error) { return error == EINVAL || error == EROFS || error == ENOTSUP; }

int FlushFolderOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return FlushHostFolder(slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/")
                                                                                     : path.substr(0, slash));
}

// Writes all of `count` bytes through `write(at, left, done)` (a write(2)
// form that may write less), retrying when a signal interrupts it.
template <typename Write>
int WriteAll(const void *buffer, size_t count, Write write)
{
    const auto *in = static_cast<const char *>(buffer);
    uint64_t done = 0;
    while (count > 0) {
        const ssize_t n = write(in, count, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        in += n;
        done += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

int HostFile::OpenAs(const std::string &hostPath, FileAccess access, FileCreation creation, bool followLink)
{
    Close();
    int flags = O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    switch (access) {
    case FileAccess::Read: flags |= O_RDONLY; break;
    case FileAccess::Write: flags |= O_WRONLY; break;
    case FileAccess::ReadWrite: flags |= O_RDWR; break;
    case FileAccess::Append: flags |= O_WRONLY | O_APPEND; break;
    }
    switch (creation) {
    case FileCreation::OpenExisting: break;
    case FileCreation::OpenOrCreate: flags |= O_CREAT; break;
    case FileCreation::CreateOrTruncate: flags |= O_CREAT | O_TRUNC; break;
    case FileCreation::CreateNew: flags |= O_CREAT | O_EXCL; break;
    }
    const int fd = ::open(hostPath.c_str(), flags, 0666);
    if (fd < 0)
        return errno;
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    handle_ = fd;
    return 0;
}

int HostFile::Close()
{
    if (handle_ == kNoHandle)
        return 0;
    const int fd = static_cast<int>(handle_);
    handle_ = kNoHandle;
    return ::close(fd) == 0 ? 0 : errno;
}

int HostFile::Read(void *buffer, size_t count, size_t *got)
{
    return ReadDescriptor(static_cast<int>(handle_), buffer, count, got);
}

int HostFile::Write(const void *buffer, size_t count)
{
    const int fd = static_cast<int>(handle_);
    return WriteAll(buffer, count, [fd](const char *in, size_t left, uint64_t) { return ::write(fd, in, left); });
}

int HostFile::ReadAt(uint64_t offset, void *buffer, size_t count, size_t *got)
{
    *got = 0;
    for (;;) {
        const ssize_t n = ::pread(static_cast<int>(handle_), buffer, count, static_cast<off_t>(offset));
        if (n >= 0) {
            *got = static_cast<size_t>(n);
            return 0;
        }
        if (errno != EINTR)
            return errno;
    }
}

int HostFile::WriteAt(uint64_t offset, const void *buffer, size_t count)
{
    const int fd = static_cast<int>(handle_);
    return WriteAll(buffer, count, [fd, offset](const char *in, size_t left, uint64_t done) {
        return ::pwrite(fd, in, left, static_cast<off_t>(offset + done));
    });
}

int HostFile::Seek(int64_t offset, SeekFrom from, uint64_t *position)
{
    const int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
    const off_t pos = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
    if (pos < 0)
        return errno;
    if (position)
        *position = static_cast<uint64_t>(pos);
    return 0;
}

int HostFile::Size(uint64_t *size) const { return DescriptorSize(static_cast<int>(handle_), size); }

int HostFile::SetSize(uint64_t size)
{
    if (size > static_cast<uint64_t>(INT64_MAX))
        return EINVAL;
    if (int err = Seek(static_cast<int64_t>(size), SeekFrom::Begin, nullptr))
        return err;
    return ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int HostFile::Flush()
{
    if (::fsync(static_cast<int>(handle_)) == 0 || CannotFlush(errno))
        return 0;
    return errno;
}

namespace {

// The lock record of a byte range; EINVAL when the range is beyond a file
// offset's reach.
int RangeRecord(uint64_t position, uint64_t count, short type, struct flock *lock)
{
    if (position > static_cast<uint64_t>(INT64_MAX) || count > static_cast<uint64_t>(INT64_MAX) - position)
        return EINVAL;
    *lock = {};
    lock->l_type = type;
    lock->l_whence = SEEK_SET;
    lock->l_start = static_cast<off_t>(position);
    lock->l_len = static_cast<off_t>(count);
    return 0;
}

int SetLock(intptr_t handle, uint64_t position, uint64_t count, short type)
{
    if (count == 0)
        return 0; // an empty range holds nothing to lock
    struct flock lock{};
    if (int err = RangeRecord(position, count, type, &lock))
        return err;
    // Open-file-description locks belong to this open file, as a handle's
    // locks do on Windows.
    if (::fcntl(static_cast<int>(handle), F_OFD_SETLK, &lock) != 0)
        return (errno == EACCES || errno == EAGAIN) ? EAGAIN : errno;
    return 0;
}

} // namespace

int HostFile::LockRange(uint64_t position, uint64_t count, bool exclusive)
{
    return SetLock(handle_, position, count, exclusive ? F_WRLCK : F_RDLCK);
}

int HostFile::UnlockRange(uint64_t position, uint64_t count) { return SetLock(handle_, position, count, F_UNLCK); }

int HostFile::RangeLockedElsewhere(uint64_t position, uint64_t count, bool *held) const
{
    *held = false;
    if (count == 0)
        return 0;
    struct flock lock{};
    if (int err = RangeRecord(position, count, F_WRLCK, &lock))
        return err;
    if (::fcntl(static_cast<int>(handle_), F_OFD_GETLK, &lock) != 0)
        return errno;
    *held = lock.l_type != F_UNLCK;
    return 0;
}

int ReplaceHostFile(const std::string &fromHostPath, const std::string &toHostPath, bool durable)
{
    if (::rename(fromHostPath.c_str(), toHostPath.c_str()) != 0)
        return errno;
    return durable ? FlushFolderOf(toHostPath) : 0;
}

int RemoveHostFile(const std::string &hostPath)
{
    if (::unlink(hostPath.c_str()) == 0 || errno == ENOENT)
        return 0;
    return errno;
}

int FlushHostFolder(const std::string &hostPath)
{
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int err = 0;
    if (::fsync(fd) != 0 && !CannotFlush(errno))
        err = errno;
    ::close(fd);
    return err;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

} // namespace halcyon::platform

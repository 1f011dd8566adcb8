// Linux: copy_file_range with a read/write fallback, walks by folder
// descriptor (openat with O_NOFOLLOW), fdatasync and syncfs.
#include "platform/file_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/path_map.h"
#include "platform/non_copyable.h"

namespace halcyon::platform {

namespace {

// Pieces handed to copy_file_range, and the buffer of the fallback.
constexpr size_t kCopyPiece = size_t{8} << 20;
constexpr size_t kBufferSize = size_t{1} << 20;

struct Fd : NonCopyable {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int Release()
    {
        int f = fd;
        fd = -1;
        return f;
    }
};

struct DirCloser {
    void operator()(DIR *d) const { ::closedir(d); }
};

// The process's file mode mask, read once without changing it; -1 when
// unknown (then every copied file's mode is set explicitly).
int ProcessUmask()
{
    static const int mask = [] {
        std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(std::fopen("/proc/self/status", "re"), &std::fclose);
        if (!f)
            return -1;
        char line[256];
        while (std::fgets(line, sizeof line, f.get())) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1)
                return static_cast<int>(value & 0777);
        }
        return -1;
    }();
    return mask;
}

bool InKernelUnsupported(int err)
{
    return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EBADF || err == EPERM;
}

int ReadWriteCopy(int in, int out, CopyAdvanced advanced, void *context, int retries)
{
    // One buffer per thread, reused by every copy.
    thread_local std::vector<char> buf(kBufferSize);
    for (;;) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (retries-- > 0)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += w;
        }
        if (advanced)
            advanced(static_cast<uint64_t>(n), context);
    }
}

int CopyData(int in, int out, CopyAdvanced advanced, void *context, int retries)
{
    for (;;) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kCopyPiece, 0);
        if (n > 0) {
            if (advanced)
                advanced(static_cast<uint64_t>(n), context);
            continue;
        }
        if (n == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (InKernelUnsupported(errno))
            return ReadWriteCopy(in, out, advanced, context, retries);
        if (errno == EIO && retries-- > 0)
            continue;
        return errno;
    }
}

// Opens the file to write at `dirFd`/`name`, never through a link: a link
// (or other non-folder entry that refuses to open) there is replaced.
// Sets `fresh` when the file was created by this call.
int OpenTarget(int dirFd, const char *name, mode_t mode, bool &fresh)
{
    constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW;
    fresh = true;
    int fd = ::openat(dirFd, name, kFlags | O_CREAT | O_EXCL, mode);
    if (fd >= 0 || errno != EEXIST)
        return fd;
    fresh = false;
    fd = ::openat(dirFd, name, kFlags | O_TRUNC);
    if (fd >= 0 || errno != ELOOP)
        return fd;
    // A link where the file goes: remove the link itself, never its target.
    if (::unlinkat(dirFd, name, 0) != 0)
        return -1;
    fresh = true;
    return ::openat(dirFd, name, kFlags | O_CREAT | O_EXCL, mode);
}

// Copies one regular file, keeping its mode. `follow` allows the source
// name itself to be a link (a root handed in by the caller). 0 or errno.
int CopyFileAt(int srcDir, const char *srcName, int dstDir, const char *dstName, const std::string &hostDst,
               const TreeCopyOptions &how, bool follow)
{
    Fd in(::openat(srcDir, srcName, O_RDONLY | O_CLOEXEC | O_NONBLOCK | (follow ? 0 : O_NOFOLLOW)));
    if (in.fd < 0)
        return errno;
    struct stat st{};
    if (::fstat(in.fd, &st) != 0)
        return errno;
    // Pipes, devices and sockets are no media data (a pipe would never end).
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (how.beforeWrite)
        if (int fault = how.beforeWrite(hostDst, how.context))
            return fault;
    const mode_t mode = st.st_mode & 07777;
    bool fresh = false;
    Fd out(OpenTarget(dstDir, dstName, mode, fresh));
    if (out.fd < 0)
        return errno;
    // A new file already has the mode unless the mask took bits away.
    const int mask = ProcessUmask();
    if ((!fresh || mask < 0 || (mode & static_cast<mode_t>(mask)) != 0) && ::fchmod(out.fd, mode) != 0)
        return errno;
    if (int rc = CopyData(in.fd, out.fd, how.advanced, how.context, how.retries))
        return rc;
    if (::close(out.Release()) != 0)
        return errno;
    return 0;
}

// Copies a link as a link: same target text, replacing what is there
// (unless it is a folder).
int CopyLinkAt(int srcDir, const char *name, int dstDir)
{
    std::vector<char> target(256);
    for (;;) {
        ssize_t n = ::readlinkat(srcDir, name, target.data(), target.size());
        if (n < 0)
            return errno;
        if (static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            break;
        }
        target.resize(target.size() * 4);
    }
    target.push_back('\0');
    if (::symlinkat(target.data(), dstDir, name) == 0)
        return 0;
    if (errno != EEXIST || ::unlinkat(dstDir, name, 0) != 0 || ::symlinkat(target.data(), dstDir, name) != 0)
        return errno;
    return 0;
}

// Opens the folder `name` below `dstDir`, creating it; a link or file in
// its place is replaced by the folder, never followed.
int OpenTargetFolder(int dstDir, const char *name)
{
    if (::mkdirat(dstDir, name, 0777) != 0 && errno != EEXIST)
        return -1;
    int fd = ::openat(dstDir, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0 || (errno != ELOOP && errno != ENOTDIR))
        return fd;
    struct stat st{};
    if (::fstatat(dstDir, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) {
        errno = ENOTDIR;
        return -1;
    }
    if (::unlinkat(dstDir, name, 0) != 0 || ::mkdirat(dstDir, name, 0777) != 0)
        return -1;
    return ::openat(dstDir, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
}

// Copies the entries of the open folder `srcFd` (taken over) into `dstFd`.
int CopyFolderAt(int srcFd, int dstFd, const std::string &hostDst, const TreeCopyOptions &how)
{
    std::unique_ptr<DIR, DirCloser> d(::fdopendir(srcFd));
    if (!d) {
        int err = errno;
        ::close(srcFd);
        return err;
    }
    const int dirFd = ::dirfd(d.get());
    while (dirent *e = ::readdir(d.get())) {
        const char *name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st{};
            if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                return errno;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : DT_FIFO;
        }
        int rc = 0;
        if (type == DT_DIR) {
            if (!how.recurse)
                continue;
            Fd sub(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
            if (sub.fd < 0)
                return errno;
            Fd out(OpenTargetFolder(dstFd, name));
            if (out.fd < 0)
                return errno;
            rc = CopyFolderAt(sub.Release(), out.fd, hostDst + "/" + name, how);
        } else if (!WildcardMatch(how.mask, name)) {
            continue;
        } else if (type == DT_LNK) {
            rc = CopyLinkAt(dirFd, name, dstFd);
        } else if (type == DT_REG) {
            rc = CopyFileAt(dirFd, name, dstFd, name, hostDst + "/" + name, how, false);
        } else {
            rc = EINVAL;
        }
        if (rc != 0)
            return rc;
    }
    return 0;
}

} // namespace

int CopyFileContents(HostFile &in, HostFile &out, CopyAdvanced advanced, void *context, int retries)
{
    return CopyData(static_cast<int>(in.Native()), static_cast<int>(out.Native()), advanced, context, retries);
}

int CopyFolderTree(const std::string &from, const std::string &to, const TreeCopyOptions &options)
{
    Fd src(::open(from.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (src.fd < 0)
        return errno;
    std::error_code ec;
    std::filesystem::create_directories(to, ec);
    if (ec)
        return ec.value();
    Fd dst(::open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dst.fd < 0)
        return errno;
    return CopyFolderAt(src.Release(), dst.fd, to, options);
}

int CopyOneFile(const std::string &from, const std::string &to, const TreeCopyOptions &options)
{
    return CopyFileAt(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), to, options, true);
}

int FlushFileContents(HostFile &file)
{
    if (::fdatasync(static_cast<int>(file.Native())) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

int FlushFileAt(const std::string &hostPath)
{
    Fd fd(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.fd < 0)
        return errno;
    if (::fdatasync(fd.fd) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

int FlushFileSystem(const std::string &hostPath)
{
    Fd fd(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0)
        return errno;
    return ::syncfs(fd.fd) == 0 ? 0 : errno;
}

} // namespace halcyon::platform

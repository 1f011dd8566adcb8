#include "support/files/file_ops.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/path_map.h"

namespace fs = std::filesystem;

namespace halcyon::support {

namespace {

std::atomic<FileLayerObserver *> g_observer{nullptr};

// Pieces handed to copy_file_range, and the progress step between reports.
constexpr size_t kCopyPiece = size_t{8} << 20;
constexpr uint64_t kReportStep = uint64_t{8} << 20;
constexpr size_t kBufferSize = size_t{1} << 20;

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
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

int32_t CopyErr(int err) { return err == ENOSPC ? kCopyDiskFull : (err ? err : EIO); }

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

int WriteFaultFor(const std::string &hostPath)
{
    FileLayerObserver *o = g_observer.load(std::memory_order_acquire);
    return o ? o->WriteFault(hostPath) : 0;
}

void Report(FlushKind kind, const std::string &hostPath)
{
    if (FileLayerObserver *o = g_observer.load(std::memory_order_acquire))
        o->Flushed(kind, hostPath);
}

// Byte counting and progress reports of one copy call.
struct CopyRun {
    WimMessageCallback cb = nullptr;
    void *ctx = nullptr;
    uint64_t *copied = nullptr;
    uint64_t total = 0;
    int retries = 0;
    uint64_t reportedBytes = 0;
    long lastPercent = -1;
    bool pending = false;

    void Advance(uint64_t n)
    {
        if (!copied)
            return;
        *copied += n;
        pending = true;
        if (!cb)
            return;
        const long pct = Percent();
        if (pct != lastPercent || *copied - reportedBytes >= kReportStep)
            Send(pct);
    }
    // The report owed for the last bytes of a copy call.
    void Settle()
    {
        if (pending && copied && cb)
            Send(Percent());
    }
    long Percent() const { return total ? static_cast<long>(std::min<uint64_t>(100, *copied * 100 / total)) : 0; }
    void Send(long pct)
    {
        lastPercent = pct;
        reportedBytes = *copied;
        pending = false;
        cb(WIM_MSG_PROGRESS, static_cast<uintptr_t>(pct), static_cast<intptr_t>(*copied), ctx);
    }
    static void Advanced(uint64_t n, void *self) { static_cast<CopyRun *>(self)->Advance(n); }
};

bool InKernelUnsupported(int err)
{
    return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EBADF || err == EPERM;
}

int ReadWriteCopy(int in, int out, void (*advanced)(uint64_t, void *), void *context, int retries)
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
               CopyRun &run, bool follow)
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
    if (int fault = WriteFaultFor(hostDst))
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
    if (int rc = CopyFileData(in.fd, out.fd, hostDst, &CopyRun::Advanced, &run, run.retries))
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
int CopyFolderAt(int srcFd, int dstFd, const std::string &hostDst, std::string_view mask, bool recurse, CopyRun &run)
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
            if (!recurse)
                continue;
            Fd sub(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
            if (sub.fd < 0)
                return errno;
            Fd out(OpenTargetFolder(dstFd, name));
            if (out.fd < 0)
                return errno;
            rc = CopyFolderAt(sub.Release(), out.fd, hostDst + "/" + name, mask, recurse, run);
        } else if (!platform::WildcardMatch(mask, name)) {
            continue;
        } else if (type == DT_LNK) {
            rc = CopyLinkAt(dirFd, name, dstFd);
        } else if (type == DT_REG) {
            rc = CopyFileAt(dirFd, name, dstFd, name, hostDst + "/" + name, run, false);
        } else {
            rc = EINVAL;
        }
        if (rc != 0)
            return rc;
    }
    return 0;
}

// Copies the folder `from` (host path, followed as given) into `to`.
// `durable`: the copy is flushed before 0 is returned.
int CopyTree(const std::string &from, const std::string &to, std::string_view mask, bool recurse, CopyRun &run,
             bool durable)
{
    Fd src(::open(from.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (src.fd < 0)
        return errno;
    std::error_code ec;
    fs::create_directories(to, ec);
    if (ec)
        return ec.value();
    Fd dst(::open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dst.fd < 0)
        return errno;
    if (int rc = CopyFolderAt(src.Release(), dst.fd, to, mask, recurse, run))
        return rc;
    run.Settle();
    if (durable && ::syncfs(dst.fd) != 0)
        return errno;
    if (durable)
        Report(FlushKind::FileSystem, to);
    return 0;
}

int CopyOneFile(std::string_view source, std::string_view dest, WimMessageCallback cb, void *ctx, uint64_t *copied,
                uint64_t total, int retries)
{
    CopyRun run{cb, ctx, copied, total, retries};
    const std::string to = platform::HostPath(dest);
    const int rc = CopyFileAt(AT_FDCWD, platform::HostPath(source).c_str(), AT_FDCWD, to.c_str(), to, run, true);
    if (rc == 0)
        run.Settle();
    return rc;
}

} // namespace

int CopyFileData(int in, int out, const std::string &hostOut, void (*advanced)(uint64_t, void *), void *context,
                 int retries)
{
    if (int fault = WriteFaultFor(hostOut))
        return fault;
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

FileLayerObserver *SetFileLayerObserver(FileLayerObserver *observer)
{
    return g_observer.exchange(observer, std::memory_order_acq_rel);
}

int FlushFileData(int fd, const std::string &hostPath)
{
    if (::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    Report(FlushKind::FileData, hostPath);
    return 0;
}

int SyncFile(std::string_view path)
{
    const std::string host = platform::HostPath(path);
    Fd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.fd < 0)
        return errno;
    return FlushFileData(fd.fd, host);
}

int SyncFolder(std::string_view path)
{
    const std::string host = platform::HostPath(path);
    Fd fd(::open(host.empty() ? "." : host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.fd < 0)
        return errno;
    if (::fsync(fd.fd) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    Report(FlushKind::Folder, host);
    return 0;
}

int SyncParentFolder(std::string_view path)
{
    std::string host = platform::HostPath(path);
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    const size_t cut = host.rfind('/');
    if (cut == std::string::npos)
        return SyncFolder(".");
    return SyncFolder(cut == 0 ? "/" : host.substr(0, cut));
}

int SyncFileSystem(std::string_view path)
{
    const std::string host = platform::HostPath(path);
    Fd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0)
        return errno;
    if (::syncfs(fd.fd) != 0)
        return errno;
    Report(FlushKind::FileSystem, host);
    return 0;
}

bool FileExist(std::string_view path)
{
    if (path.empty())
        return false;
    struct stat st{};
    return ::stat(platform::HostPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirExist(std::string_view path)
{
    if (path.empty())
        return false;
    struct stat st{};
    return ::stat(platform::HostPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RecursiveFolderCreate(std::string_view path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    std::string host = platform::HostPath(path);
    fs::create_directories(host, ec);
    return fs::is_directory(host, ec);
}

int32_t RecursiveFolderCopy(std::string_view source, std::string_view dest, uint64_t)
{
    CopyRun run;
    int rc = CopyTree(platform::HostPath(source), platform::HostPath(dest), "*.*", true, run, true);
    return rc == 0 ? 0 : CopyErr(rc);
}

int32_t RecursiveFolderCopyUnflushed(std::string_view source, std::string_view dest)
{
    CopyRun run;
    int rc = CopyTree(platform::HostPath(source), platform::HostPath(dest), "*.*", true, run, false);
    return rc == 0 ? 0 : CopyErr(rc);
}

void DeleteTree(const std::string &path, uint32_t *counter)
{
    if (counter)
        *counter = 0;
    if (path.empty())
        return;
    std::error_code ec;
    auto n = fs::remove_all(platform::HostPath(path), ec);
    if (counter && n != static_cast<std::uintmax_t>(-1))
        *counter = static_cast<uint32_t>(n);
}

int32_t CopyFileByStreamFromCDROM(std::string_view source, std::string_view dest, WimMessageCallback callback,
                                  void *context, uint64_t *copied, uint64_t total, int retries)
{
    return CopyOneFile(source, dest, callback, context, copied, total, retries);
}

int32_t CopyFileByStreamFromUFD(std::string_view source, std::string_view dest, WimMessageCallback callback,
                                void *context, uint64_t *copied, uint64_t total, int retries)
{
    return CopyOneFile(source, dest, callback, context, copied, total, retries);
}

int32_t CopyFolderByStreamFromCDROM(std::string_view source, std::string_view dest, std::string_view mask,
                                    WimMessageCallback callback, void *context, uint64_t *copied, uint64_t total,
                                    int retries)
{
    std::string_view m = mask;
    while (!m.empty() && (m[0] == '\\' || m[0] == '/'))
        m.remove_prefix(1);
    CopyRun run{callback, context, copied, total, retries};
    return CopyTree(platform::HostPath(source), platform::HostPath(dest), m, m == "*.*", run, false);
}

int32_t CopyFolderByStreamFromUFD(std::string_view source, std::string_view dest, std::string_view mask,
                                  WimMessageCallback callback, void *context, uint64_t *copied, uint64_t total,
                                  int retries)
{
    return CopyFolderByStreamFromCDROM(source, dest, mask, callback, context, copied, total, retries);
}

} // namespace halcyon::support

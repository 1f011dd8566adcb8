#include "support/files/file_ops.h"

#include <cerrno>
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
};

struct DirCloser {
    void operator()(DIR *d) const { ::closedir(d); }
};

int32_t CopyErr(int err) { return err == ENOSPC ? kCopyDiskFull : (err ? err : EIO); }

// Copies one host file, keeping its mode. Returns 0 or an errno value.
int CopyHostFile(const std::string &from, const std::string &to, WimMessageCallback cb, void *ctx, uint64_t *copied,
                 uint64_t total, int retries)
{
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0)
        return errno;
    struct stat st{};
    if (::fstat(in.fd, &st) != 0)
        return errno;
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777));
    if (out.fd < 0)
        return errno;
    std::vector<char> buf(1 << 20);
    for (;;) {
        ssize_t n = ::read(in.fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (retries-- > 0)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = ::write(out.fd, buf.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += w;
        }
        if (copied) {
            *copied += static_cast<uint64_t>(n);
            if (cb) {
                uintptr_t pct = total ? static_cast<uintptr_t>(std::min<uint64_t>(100, *copied * 100 / total)) : 0;
                cb(WIM_MSG_PROGRESS, pct, static_cast<intptr_t>(*copied), ctx);
            }
        }
    }
    ::fchmod(out.fd, st.st_mode & 07777);
    return 0;
}

int CopyTree(const std::string &from, const std::string &to, std::string_view mask, bool recurse, WimMessageCallback cb,
             void *ctx, uint64_t *copied, uint64_t total, int retries)
{
    struct stat st{};
    if (::stat(from.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    std::error_code ec;
    fs::create_directories(to, ec);
    if (ec)
        return ec.value();
    std::unique_ptr<DIR, DirCloser> d(::opendir(from.c_str()));
    if (!d)
        return errno;
    while (dirent *e = ::readdir(d.get())) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string src = from + "/" + name;
        std::string dst = to + "/" + name;
        struct stat es{};
        if (::stat(src.c_str(), &es) != 0)
            return errno;
        int rc = 0;
        if (S_ISDIR(es.st_mode)) {
            if (recurse)
                rc = CopyTree(src, dst, mask, recurse, cb, ctx, copied, total, retries);
        } else if (platform::WildcardMatch(mask, name)) {
            rc = CopyHostFile(src, dst, cb, ctx, copied, total, retries);
        }
        if (rc != 0)
            return rc;
    }
    return 0;
}

} // namespace

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
    int rc = CopyTree(platform::HostPath(source), platform::HostPath(dest), "*.*", true, nullptr, nullptr, nullptr, 0, 0);
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
    return CopyHostFile(platform::HostPath(source), platform::HostPath(dest), callback, context, copied, total, retries);
}

int32_t CopyFileByStreamFromUFD(std::string_view source, std::string_view dest, WimMessageCallback callback,
                                void *context, uint64_t *copied, uint64_t total, int retries)
{
    return CopyHostFile(platform::HostPath(source), platform::HostPath(dest), callback, context, copied, total, retries);
}

int32_t CopyFolderByStreamFromCDROM(std::string_view source, std::string_view dest, std::string_view mask,
                                    WimMessageCallback callback, void *context, uint64_t *copied, uint64_t total,
                                    int retries)
{
    std::string_view m = mask;
    while (!m.empty() && (m[0] == '\\' || m[0] == '/'))
        m.remove_prefix(1);
    return CopyTree(platform::HostPath(source), platform::HostPath(dest), m, m == "*.*", callback, context, copied,
                    total, retries);
}

int32_t CopyFolderByStreamFromUFD(std::string_view source, std::string_view dest, std::string_view mask,
                                  WimMessageCallback callback, void *context, uint64_t *copied, uint64_t total,
                                  int retries)
{
    return CopyFolderByStreamFromCDROM(source, dest, mask, callback, context, copied, total, retries);
}

} // namespace halcyon::support

#include "support/files/confined_path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace halcyon::support {

namespace {

// Closes a descriptor when it leaves scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    void reset(int fd)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

bool HasDotDot(const fs::path &p)
{
    for (const auto &part : p)
        if (part == "..")
            return true;
    return false;
}

fs::path Absolute(const fs::path &p)
{
    std::error_code ec;
    fs::path a = fs::absolute(p, ec);
    return (ec ? p : a).lexically_normal();
}

// The components of `path` below `root`; false when it is not below it.
bool SplitBelow(std::string_view root, std::string_view path, fs::path &rootOut, std::vector<fs::path> &parts)
{
    fs::path r = Absolute(fs::path(root));
    fs::path p(path);
    if (HasDotDot(p))
        return false;
    if (p.is_relative())
        p = r / p;
    p = Absolute(p);
    fs::path rel = p.lexically_relative(r);
    if (rel.empty() || HasDotDot(rel))
        return false;
    rootOut = r;
    parts.clear();
    for (const auto &part : rel)
        if (!part.empty() && part != ".")
            parts.push_back(part);
    return true;
}

int EmptyAt(int dirFd, uint32_t *counter);

// Removes the entry `name` of the open folder without following a link.
int RemoveAt(int dirFd, const char *name, uint32_t *counter)
{
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (S_ISDIR(st.st_mode)) {
        Fd child(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (child.get() < 0 && errno == EACCES) {
            // A folder copied with a read-only mode: give the owner access back.
            ::fchmodat(dirFd, name, (st.st_mode & 07777) | S_IRWXU, 0);
            child.reset(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        if (child.get() < 0)
            return errno;
        if (int rc = EmptyAt(child.get(), counter); rc != 0)
            return rc;
        child.reset(-1);
        if (::unlinkat(dirFd, name, AT_REMOVEDIR) != 0)
            return errno == ENOENT ? 0 : errno;
    } else if (::unlinkat(dirFd, name, 0) != 0) {
        return errno == ENOENT ? 0 : errno;
    }
    if (counter)
        ++*counter;
    return 0;
}

int EmptyAt(int dirFd, uint32_t *counter)
{
    std::vector<std::string> names;
    {
        int dupFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
        if (dupFd < 0)
            return errno;
        DIR *dir = ::fdopendir(dupFd);
        if (!dir) {
            int err = errno;
            ::close(dupFd);
            return err;
        }
        while (const dirent *e = ::readdir(dir)) {
            std::string_view n = e->d_name;
            if (n != "." && n != "..")
                names.emplace_back(n);
        }
        ::closedir(dir);
    }
    bool modeFixed = false;
    for (const auto &name : names) {
        int rc = RemoveAt(dirFd, name.c_str(), counter);
        if (rc == EACCES && !modeFixed) {
            // Entries of a read-only folder: make it writable for its owner once.
            struct stat st {};
            if (::fstat(dirFd, &st) == 0)
                ::fchmod(dirFd, (st.st_mode & 07777) | S_IRWXU);
            modeFixed = true;
            rc = RemoveAt(dirFd, name.c_str(), counter);
        }
        if (rc != 0)
            return rc;
    }
    return 0;
}

} // namespace

ConfinedCheck CheckConfinedPath(std::string_view root, std::string_view path)
{
    ConfinedCheck out;
    fs::path cur;
    std::vector<fs::path> parts;
    if (!SplitBelow(root, path, cur, parts)) {
        out.result = Confinement::Outside;
        out.component = std::string(path);
        return out;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        cur /= parts[i];
        struct stat st {};
        if (::lstat(cur.c_str(), &st) != 0) {
            if (errno == ENOENT)
                break; // the rest will be created
            out.result = errno == ENOTDIR ? Confinement::NotFolder : Confinement::Error;
            out.error = errno;
            out.component = cur.string();
            return out;
        }
        if (S_ISLNK(st.st_mode)) {
            out.result = Confinement::Link;
            out.component = cur.string();
            return out;
        }
        if (!S_ISDIR(st.st_mode) && i + 1 < parts.size()) {
            out.result = Confinement::NotFolder;
            out.component = cur.string();
            return out;
        }
    }
    out.result = Confinement::Inside;
    return out;
}

bool IsConfinedPath(std::string_view root, std::string_view path)
{
    return CheckConfinedPath(root, path).result == Confinement::Inside;
}

std::string DescribeConfinement(const ConfinedCheck &check, std::string_view root, std::string_view path)
{
    switch (check.result) {
    case Confinement::Inside:
        return std::string(path) + " is inside " + std::string(root);
    case Confinement::Outside:
        return std::string(path) + " is outside " + std::string(root);
    case Confinement::Link:
        return check.component + " is a symbolic link";
    case Confinement::NotFolder:
        return check.component + " is not a folder";
    case Confinement::Error:
        break;
    }
    return "cannot examine " + check.component + " (errno " + std::to_string(check.error) + ")";
}

int CreateConfinedFolders(std::string_view root, std::string_view path)
{
    fs::path r;
    std::vector<fs::path> parts;
    if (!SplitBelow(root, path, r, parts))
        return EXDEV;
    std::error_code ec;
    fs::create_directories(r, ec); // the root is the caller's: it may be a link
    Fd dir(::open(r.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return errno;
    for (const auto &part : parts) {
        const char *name = part.c_str();
        if (::mkdirat(dir.get(), name, 0777) != 0 && errno != EEXIST)
            return errno;
        int next = ::openat(dir.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            int err = errno;
            struct stat st {};
            if (::fstatat(dir.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                return ELOOP;
            return err;
        }
        dir.reset(next);
    }
    return 0;
}

int RemoveTreeNoFollow(std::string_view path, uint32_t *counter)
{
    if (counter)
        *counter = 0;
    if (path.empty())
        return EINVAL;
    fs::path p = fs::path(path).lexically_normal();
    // "x/" names the folder x; without the slash a link named x is not followed.
    if (!p.has_filename())
        p = p.parent_path();
    fs::path parent = p.parent_path();
    if (parent.empty())
        parent = ".";
    std::string name = p.filename().string();
    if (name.empty() || name == "." || name == "..")
        return EINVAL;
    Fd dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return errno == ENOENT ? 0 : errno;
    return RemoveAt(dir.get(), name.c_str(), counter);
}

int EmptyFolderNoFollow(std::string_view path, uint32_t *counter)
{
    if (counter)
        *counter = 0;
    if (path.empty())
        return EINVAL;
    std::string p(path);
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    Fd dir(::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0) {
        int err = errno;
        if (err == ENOENT)
            return 0;
        struct stat st {};
        if (::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return ELOOP;
        return err;
    }
    return EmptyAt(dir.get(), counter);
}

} // namespace halcyon::support

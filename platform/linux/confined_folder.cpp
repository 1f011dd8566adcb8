// Linux: walks by folder descriptor (openat with O_NOFOLLOW, unlinkat), so
// that no component can be swapped for a link between the check and the use.
#include "platform/confined_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>

#include "platform/non_copyable.h"

namespace halcyon::platform {

namespace {

// Closes a descriptor when it leaves scope.
class Fd : NonCopyable {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
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

int ExamineEntry(const std::string &hostPath, EntryKind &kind)
{
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) != 0)
        return errno;
    kind = S_ISLNK(st.st_mode)   ? EntryKind::Link
           : S_ISDIR(st.st_mode) ? EntryKind::Folder
           : S_ISREG(st.st_mode) ? EntryKind::File
                                 : EntryKind::Other;
    return 0;
}

int CreateFoldersBelow(const std::string &root, const std::vector<std::string> &names)
{
    std::error_code ec;
    std::filesystem::create_directories(root, ec); // the root is the caller's: it may be a link
    Fd dir(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return errno;
    for (const auto &part : names) {
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

int RemoveEntryTree(const std::string &parent, const std::string &name, uint32_t *counter)
{
    Fd dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return errno == ENOENT ? 0 : errno;
    return RemoveAt(dir.get(), name.c_str(), counter);
}

int EmptyFolderTree(const std::string &hostPath, uint32_t *counter)
{
    Fd dir(::open(hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0) {
        int err = errno;
        if (err == ENOENT)
            return 0;
        struct stat st {};
        if (::lstat(hostPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return ELOOP;
        return err;
    }
    return EmptyAt(dir.get(), counter);
}

} // namespace halcyon::platform

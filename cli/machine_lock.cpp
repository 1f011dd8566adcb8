#include "cli/machine_lock.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace halcyon::cli {

std::string MachineLockPath(const std::string &machineFolder) { return machineFolder + "/owner.lock"; }

namespace {

std::string ReadAll(int fd)
{
    std::string text;
    char buf[512];
    ssize_t n;
    off_t at = 0;
    while ((n = ::pread(fd, buf, sizeof buf, at)) > 0 && text.size() < 4096) {
        text.append(buf, static_cast<size_t>(n));
        at += n;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

MachineLock::~MachineLock()
{
    if (fd_ >= 0) {
        // Leave the file (another run may be opening it); say nobody holds it.
        if (::ftruncate(fd_, 0) != 0) {
        }
        ::close(fd_);
    }
}

bool MachineLock::Acquire(const std::string &machineFolder, const std::string &what, std::string &message)
{
    std::error_code ec;
    fs::create_directories(machineFolder, ec);
    const std::string path = MachineLockPath(machineFolder);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        message = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        std::string holder = ReadAll(fd);
        ::close(fd);
        if (err != EWOULDBLOCK) {
            message = "cannot lock " + path + ": " + std::strerror(err);
            return false;
        }
        message = "the machine " + machineFolder + " is in use by " +
                  (holder.empty() ? std::string("another run") : holder) + "; wait for it to end";
        return false;
    }
    char when[32] = "";
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (::localtime_r(&now, &tm))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    std::string holder = what + " (pid " + std::to_string(::getpid()) + ", started " + when + ")\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, holder.data(), holder.size(), 0) != static_cast<ssize_t>(holder.size())) {
        // The lock holds without the description; a second run then says "another run".
    }
    fd_ = fd;
    return true;
}

bool FoldersNest(const std::string &a, const std::string &b)
{
    auto norm = [](const std::string &text) {
        std::error_code ec;
        fs::path p = fs::weakly_canonical(fs::absolute(text, ec), ec).lexically_normal();
        if (!p.has_filename() && p.has_parent_path() && p != p.root_path())
            p = p.parent_path();
        return p;
    };
    const fs::path pa = norm(a), pb = norm(b);
    auto inside = [](const fs::path &inner, const fs::path &outer) {
        auto i = inner.begin();
        for (auto o = outer.begin(); o != outer.end(); ++o, ++i)
            if (i == inner.end() || *i != *o)
                return false;
        return true;
    };
    return inside(pa, pb) || inside(pb, pa);
}

} // namespace halcyon::cli

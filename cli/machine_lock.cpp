#include "cli/machine_lock.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/fs_path.h"
#include "platform/host_file.h"

namespace fs = std::filesystem;

namespace halcyon::cli {

std::string MachineLockPath(const std::string &machineFolder) { return machineFolder + "/owner.lock"; }

namespace {

// One byte far past the holder's text; locks may lie beyond the end.
constexpr uint64_t kLockAt = uint64_t{1} << 40;

std::string ReadAll(platform::HostFile &file)
{
    std::string text;
    char buf[512];
    size_t got = 0;
    uint64_t at = 0;
    while (file.ReadAt(at, buf, sizeof buf, &got) == 0 && got > 0 && text.size() < 4096) {
        text.append(buf, got);
        at += got;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

MachineLock::~MachineLock()
{
    if (file_.IsOpen()) {
        // Leave the file (another run may be opening it); say nobody holds it.
        (void)file_.SetSize(0);
    }
}

bool MachineLock::Acquire(const std::string &machineFolder, const std::string &what, std::string &message)
{
    std::error_code ec;
    fs::create_directories(platform::FsPath(machineFolder), ec);
    const std::string path = MachineLockPath(machineFolder);
    if (const auto status = platform::LinkStatHostPath(path); status && status->link) {
        message = "cannot open " + path + ": " + std::strerror(ELOOP);
        return false;
    }
    platform::HostFile file;
    if (const int err = file.Open(path, platform::FileAccess::ReadWrite, platform::FileCreation::OpenOrCreate)) {
        message = "cannot open " + path + ": " + std::strerror(err);
        return false;
    }
    if (const int err = file.LockRange(kLockAt, 1, true)) {
        std::string holder = ReadAll(file);
        if (err != EAGAIN) {
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
    if (platform::LocalCivilTime(now, &tm))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    std::string holder =
        what + " (pid " + std::to_string(platform::CurrentProcessId()) + ", started " + when + ")\n";
    if (file.SetSize(0) != 0 || file.WriteAt(0, holder.data(), holder.size()) != 0) {
        // The lock holds without the description; a second run then says "another run".
    }
    file_ = std::move(file);
    return true;
}

bool FoldersNest(const std::string &a, const std::string &b)
{
    auto norm = [](const std::string &text) {
        std::error_code ec;
        fs::path p = fs::weakly_canonical(fs::absolute(platform::FsPath(text), ec), ec).lexically_normal();
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

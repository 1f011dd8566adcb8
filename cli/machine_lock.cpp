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

OwnerTake TakeOwnerFile(const std::string &path, const std::string &what, platform::HostFile &file,
                        std::string &text)
{
    if (const auto status = platform::LinkStatHostPath(path); status && status->link) {
        text = "cannot open " + path + ": " + std::strerror(ELOOP);
        return OwnerTake::Failed;
    }
    if (const int err = file.Open(path, platform::FileAccess::ReadWrite, platform::FileCreation::OpenOrCreate)) {
        text = "cannot open " + path + ": " + std::strerror(err);
        return OwnerTake::Failed;
    }
    if (const int err = file.LockRange(kLockAt, 1, true)) {
        text = err == EAGAIN ? ReadAll(file) : "cannot lock " + path + ": " + std::strerror(err);
        (void)file.Close();
        return err == EAGAIN ? OwnerTake::Busy : OwnerTake::Failed;
    }
    char when[32] = "";
    std::tm tm{};
    if (platform::LocalCivilTime(std::time(nullptr), &tm))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    const std::string holder =
        what + " (pid " + std::to_string(platform::CurrentProcessId()) + ", started " + when + ")\n";
    // Without the description the lock still holds; a second run then says "another run".
    if (file.SetSize(0) == 0)
        (void)file.WriteAt(0, holder.data(), holder.size());
    return OwnerTake::Taken;
}

std::string OwnerText(const std::string &path)
{
    platform::HostFile file;
    if (file.Open(path, platform::FileAccess::Read, platform::FileCreation::OpenExisting) != 0)
        return {};
    return ReadAll(file);
}

void ReleaseOwnerFile(platform::HostFile &file)
{
    if (file.IsOpen()) {
        (void)file.SetSize(0); // nobody holds it; the file stays for the next run
        (void)file.Close();
    }
}

MachineLock::~MachineLock() { ReleaseOwnerFile(file_); }

bool MachineLock::Acquire(const std::string &machineFolder, const std::string &what, std::string &message)
{
    std::error_code ec;
    fs::create_directories(platform::FsPath(machineFolder), ec);
    platform::HostFile file;
    std::string text;
    switch (TakeOwnerFile(MachineLockPath(machineFolder), what, file, text)) {
    case OwnerTake::Taken:
        file_ = std::move(file);
        return true;
    case OwnerTake::Busy:
        message = "the machine " + machineFolder + " is in use by " +
                  (text.empty() ? std::string("another run") : text) + "; wait for it to end";
        return false;
    case OwnerTake::Failed:
        break;
    }
    message = text;
    return false;
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

#include "cli/owner_lock.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <vector>

#include "platform/environment.h"
#include "platform/fs_path.h"
#include "platform/host_file.h"
#include "platform/machine_prefix.h"

namespace fs = std::filesystem;

namespace halcyon::cli {

namespace {

constexpr const char *kOwnerVariable = "HALCYON_OWNER";
constexpr const char *kLockName = "owner.lock";
// The byte locked, far past the holder's text (as in the machine's lock).
constexpr uint64_t kLockAt = uint64_t{1} << 40;

std::string Holder(platform::HostFile &file)
{
    std::string text;
    char buf[512];
    size_t got = 0;
    while (text.size() < 4096 && file.ReadAt(text.size(), buf, sizeof buf, &got) == 0 && got > 0)
        text.append(buf, got);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string HolderText(const std::string &path)
{
    platform::HostFile file;
    if (file.Open(path, platform::FileAccess::Read, platform::FileCreation::OpenExisting) != 0)
        return {};
    return Holder(file);
}

// The process IDs in HALCYON_OWNER: every holder from the first run down to
// the process that started this one.
std::vector<std::string> Owners()
{
    std::vector<std::string> owners;
    std::istringstream in(platform::GetEnvironmentVariable(kOwnerVariable).value_or(""));
    for (std::string pid; in >> pid;)
        owners.push_back(pid);
    return owners;
}

} // namespace

std::string TargetLockPath(const std::string &target) { return target + "/" + kLockName; }

bool HeldByStartingRun(const std::string &path)
{
    const std::string text = HolderText(path);
    const std::string self = std::to_string(platform::CurrentProcessId());
    for (const std::string &pid : Owners())
        if (pid != self && text.find("(pid " + pid + ",") != std::string::npos)
            return true;
    return false;
}

void ExportOwner()
{
    std::vector<std::string> owners = Owners();
    const std::string self = std::to_string(platform::CurrentProcessId());
    if (std::find(owners.begin(), owners.end(), self) != owners.end())
        return;
    std::string value;
    for (const std::string &pid : owners)
        value += pid + " ";
    platform::SetEnvironmentVariable(kOwnerVariable, value + self);
}

TargetLock::~TargetLock() { Release(); }

void TargetLock::Release()
{
    if (file_.IsOpen()) {
        (void)file_.SetSize(0); // nobody holds it; the file stays for the next run
        (void)file_.Close();
    }
}

bool TargetLock::Acquire(const std::string &target, const std::string &what, std::string &message)
{
    const std::string path = TargetLockPath(target);
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
        if (HeldByStartingRun(path))
            return true;
        const std::string holder = Holder(file);
        message = err != EAGAIN ? "cannot lock " + path + ": " + std::strerror(err)
                                : "the target " + target + " is in use by " +
                                      (holder.empty() ? std::string("another run") : holder) + "; wait for it to end";
        return false;
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
    file_ = std::move(file);
    return true;
}

void EmptyTarget(const std::string &target)
{
    std::error_code ec;
    for (fs::directory_iterator it(platform::FsPath(target), ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename() != kLockName) {
            std::error_code ignored;
            fs::remove_all(it->path(), ignored);
        }
}

bool CommandLocks::TakeMachine(const std::string &machineFolder, const std::string &what, std::string &message)
{
    machineFolder_ = machineFolder;
    if (machine.Acquire(machineFolder, what, message))
        return true;
    return HeldByStartingRun(MachineLockPath(machineFolder));
}

bool CommandLocks::TakeTarget(const std::string &folder, const std::string &what, std::string &message)
{
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(platform::FsPath(folder), ec))
        return true;
    // A target that is the machine folder itself is owned with the machine.
    if (!machineFolder_.empty() && fs::equivalent(platform::FsPath(folder), platform::FsPath(machineFolder_), ec))
        return true;
    return target.Acquire(folder, what, message);
}

bool LockForVerb(CommandLocks &locks, const std::string &command, const std::string &dest)
{
    std::string message;
    if (!locks.TakeMachine(platform::MachineRoot(), "halcyon " + command, message) ||
        !locks.TakeTarget(dest, "halcyon " + command, message)) {
        std::fprintf(stderr, "halcyon %s: %s\n", command.c_str(), message.c_str());
        return false;
    }
    ExportOwner();
    return true;
}

} // namespace halcyon::cli

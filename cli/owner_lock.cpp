#include "cli/owner_lock.h"

#include <algorithm>
#include <cstdio>
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
    const std::string text = OwnerText(path);
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

void TargetLock::Release() { ReleaseOwnerFile(file_); }

bool TargetLock::Acquire(const std::string &target, const std::string &what, std::string &message)
{
    const std::string path = TargetLockPath(target);
    platform::HostFile file;
    std::string text;
    switch (TakeOwnerFile(path, what, file, text)) {
    case OwnerTake::Taken:
        file_ = std::move(file);
        return true;
    case OwnerTake::Busy:
        if (HeldByStartingRun(path))
            return true;
        message = "the target " + target + " is in use by " + (text.empty() ? std::string("another run") : text) +
                  "; wait for it to end";
        return false;
    case OwnerTake::Failed:
        break;
    }
    message = text;
    return false;
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

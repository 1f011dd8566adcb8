// What a command holds while it changes a machine or a target folder.
//
// The machine's lock is its "owner.lock" (cli/machine_lock.h). A target (the
// folder that becomes the machine's drive C:) has an "owner.lock" of its own
// in its root, so that two runs on two machines cannot install into one
// target. A command that holds a lock adds its process ID to HALCYON_OWNER;
// a halcyon command its installers start (an installer's "halcyon reg add")
// finds a lock held by one of those processes and works under that hold
// instead of being refused.
#pragma once

#include <string>

#include "cli/machine_lock.h"
#include "platform/host_file_rw.h"
#include "platform/non_copyable.h"

namespace halcyon::cli {

// The lock file of a target folder.
std::string TargetLockPath(const std::string &target);

// The exclusive lock on a target's "owner.lock". The file names the holder
// the way the machine's does.
class TargetLock : NonCopyable {
public:
    ~TargetLock();

    // Takes `target` (which must exist) for `what`. False when another run
    // holds it (`message` names that run) or the lock file cannot be made.
    // Never waits; true without holding anything when the run that started
    // this process holds it.
    bool Acquire(const std::string &target, const std::string &what, std::string &message);
    void Release();

private:
    platform::HostFile file_;
};

// Removes everything in `target` but its lock file (links are removed, never
// followed).
void EmptyTarget(const std::string &target);

// True when a process that started this one (HALCYON_OWNER) holds the lock
// file `path`.
bool HeldByStartingRun(const std::string &path);

// Adds this process to HALCYON_OWNER for the commands it starts.
void ExportOwner();

// The locks of a command that changes a machine and perhaps a target.
class CommandLocks {
public:
    MachineLock machine;
    TargetLock target;

    // Takes the machine at `machineFolder` for `what`, unless the run that
    // started this process holds it.
    bool TakeMachine(const std::string &machineFolder, const std::string &what, std::string &message);
    // Takes the target `folder` when it exists (a missing one is refused by
    // the verb itself).
    bool TakeTarget(const std::string &folder, const std::string &what, std::string &message);

private:
    std::string machineFolder_;
};

// For the verbs that change the machine (and `dest`, when not empty, as a
// target): takes the locks of the machine this command works on, printing
// "halcyon <command>: <why>" when it cannot. False then: the command ends
// with status 1 and has changed nothing.
bool LockForVerb(CommandLocks &locks, const std::string &command, const std::string &dest = "");

} // namespace halcyon::cli

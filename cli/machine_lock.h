// One owner per machine. A run that changes a machine (factory-run,
// recovery-run, mod-setup) holds an exclusive lock on "owner.lock" in the
// machine folder for its whole life. The lock belongs to the open file, so a
// killed run leaves nothing behind: the system drops it with the process.
// The file names the holder so that a second run can say who is busy; the
// locked range lies past that text, because Windows keeps other handles from
// reading a locked range.
#pragma once

#include <string>

#include "platform/host_file_rw.h"
#include "platform/non_copyable.h"

namespace halcyon::cli {

class MachineLock : NonCopyable {
public:
    ~MachineLock();

    // Takes the machine at `machineFolder` (created when missing) for `what`
    // (a short description of this run, e.g. "factory-run"). False when
    // another process holds it (`message` names that run) or the lock file
    // cannot be made (`message` says why). Never waits.
    bool Acquire(const std::string &machineFolder, const std::string &what, std::string &message);

    bool Held() const { return file_.IsOpen(); }

private:
    platform::HostFile file_;
};

// The lock file of a machine folder.
std::string MachineLockPath(const std::string &machineFolder);

// One step of every owner lock: opens `path` (never through a link), takes
// its locked byte without waiting and writes the holder's text ("`what` (pid
// N, started ...)"). On Busy `text` is the current holder's text, on Failed
// the reason; on Taken `file` holds the lock.
enum class OwnerTake { Taken, Busy, Failed };
OwnerTake TakeOwnerFile(const std::string &path, const std::string &what, platform::HostFile &file,
                        std::string &text);

// The holder's text of the owner file `path` ("" when none).
std::string OwnerText(const std::string &path);

// Lets go of an owner file taken above: the text is cleared (the file stays
// for the next run) and the lock dropped.
void ReleaseOwnerFile(platform::HostFile &file);

// True when one of the two folders is the other or lies inside it (after
// making both absolute and resolving what exists of them).
bool FoldersNest(const std::string &a, const std::string &b);

} // namespace halcyon::cli

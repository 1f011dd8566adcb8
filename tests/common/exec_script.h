// Test helpers for running real programs: small shell scripts and a scope
// that limits process snapshots to this test's process group, so that
// programs other users start on the machine do not enter child waits.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::test {

// Writes `body` after a "#!/bin/sh" line to `path` with the given mode.
void WriteScript(const std::string &path, std::string_view body, unsigned mode = 0755);

// Reads a whole file and trims trailing white space.
std::string ReadTrimmed(const std::string &path);

// While alive, snapshots see only processes of this process group.
class OwnProcessGroupSnapshots {
public:
    OwnProcessGroupSnapshots();
    ~OwnProcessGroupSnapshots();
    OwnProcessGroupSnapshots(const OwnProcessGroupSnapshots &) = delete;
    OwnProcessGroupSnapshots &operator=(const OwnProcessGroupSnapshots &) = delete;
};

// Kills the process whose pid is written in `pidFile` (when it is there).
void KillPidFromFile(const std::string &pidFile);

} // namespace halcyon::test

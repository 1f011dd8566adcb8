// Test helpers for running real programs: small shell scripts and a scope
// that limits process snapshots to this test's own descendants, so that
// programs others start on the machine (parallel tests included) do not
// enter child waits.
#pragma once

#include <string>
#include <string_view>

#include "platform/non_copyable.h"

namespace halcyon::test {

// Writes `body` after a "#!/bin/sh" line to `path` with the given mode.
void WriteScript(const std::string &path, std::string_view body, unsigned mode = 0755);

// Reads a whole file and trims trailing white space.
std::string ReadTrimmed(const std::string &path);

// While alive, this process is the subreaper of its descendants (orphans
// are handed to it instead of init) and snapshots see only its children, so
// a script's background processes are in and everybody else's are out.
// Ended orphans are collected on destruction.
class OwnChildrenSnapshots : NonCopyable {
public:
    OwnChildrenSnapshots();
    ~OwnChildrenSnapshots();
};

// Kills the process whose pid is written in `pidFile` (when it is there).
void KillPidFromFile(const std::string &pidFile);

} // namespace halcyon::test

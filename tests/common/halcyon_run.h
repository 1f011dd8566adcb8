// Long runs of the built halcyon command in the background, for tests that
// stop them at chosen moments.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace halcyon::test {

// Starts "halcyon ARGS..." in `workDir`, in a process group of its own, with
// standard input from /dev/null and both outputs appended to `outputFile`.
pid_t StartHalcyon(const std::string &workDir, const std::vector<std::string> &args, const std::string &outputFile);

// Waits for the run: its exit status, or 128 + the signal that ended it.
int WaitHalcyon(pid_t pid);

// Kills the run's process group (installers included) and waits for it.
void KillHalcyon(pid_t pid);

} // namespace halcyon::test

// The commands that cannot work on a real Windows machine yet. They exist
// there, so that "halcyon help" lists the same commands, and say in one line
// why they stop.
#include <cstdio>

#include "cli/command.h"

namespace halcyon::cli {

namespace {

int Mui(const Args &)
{
    std::fprintf(stderr, "halcyon mui: not available on Windows yet: register MuiChooser.dll with regsvr32 and "
                         "create MuiChooser.ComMUI through COM (CoCreateInstance)\n");
    return 2;
}

int RecoveryRun(const Args &)
{
    std::fprintf(stderr, "halcyon recovery-run: not available on Windows yet: the run lays the recovery partition D: "
                         "and the recovery environment X: out as folders of an emulated machine\n");
    return 2;
}

const CommandRegistration kMui("mui", "the language-selection server from the command line (not on Windows yet)",
                               "halcyon mui ...", Mui);
const CommandRegistration kRecovery("recovery-run", "restore a machine from its recovery media (not on Windows yet)",
                                    "halcyon recovery-run ...", RecoveryRun);

} // namespace

} // namespace halcyon::cli

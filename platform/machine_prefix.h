// The folder that holds the emulated Windows machine (like a Wine prefix):
// registry.db, machine.ini and drives/<letter>/.
#pragma once

#include <string>

namespace halcyon::platform {

// $HALCYON_MACHINE, else $XDG_STATE_HOME/halcyon/machine, else
// ~/.local/state/halcyon/machine. Read on every call (tests switch it);
// nothing is created.
std::string MachineRoot();

// The host folder of drive `letter` ('C' -> <root>/drives/c). Not created.
std::string DriveFolder(char letter);

// Creates the machine folder and drive C: on first use. Returns false when
// they cannot be created.
bool EnsureMachine();

} // namespace halcyon::platform

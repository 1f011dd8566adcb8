// Which emulated machine folder a run of the halcyon command works on.
#pragma once

#include <optional>
#include <string>

namespace halcyon::cli {

// The one rule every command follows: the --machine option when given, else
// $HALCYON_MACHINE, else $XDG_STATE_HOME/halcyon/machine
// (~/.local/state/halcyon/machine). The choice is made absolute and exported
// as HALCYON_MACHINE, so the engine, the installers it starts and any halcyon
// command they run all see the same machine. Returns the absolute folder.
// On Windows the command works on the machine it runs on: there is no
// --machine, and the folder (%HALCYON_MACHINE%, else %ProgramData%\Halcyon)
// only holds the identity override file and the runs' own files.
std::string SelectMachine(const std::optional<std::string> &option);

// For commands that only read the machine: "" when the selected machine
// folder exists (always on Windows), else the message saying it does not, so
// that a query neither creates an empty machine nor answers from one.
std::string MissingMachine();

} // namespace halcyon::cli

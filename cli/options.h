// The options a command takes, read from its usage text (every "--name" it
// shows; "--name VALUE" takes a value), and the check every command's
// arguments pass before the command runs: an option the usage does not show
// is refused by name, with the nearest one it does show.
#pragma once

#include <set>
#include <string>

#include "cli/command.h"

namespace halcyon::cli {

struct UsageOptions {
    std::set<std::string> names;     // "--media", "--sample", ...
    std::set<std::string> withValue; // those followed by a placeholder in capitals
};

UsageOptions OptionsOf(const Command &cmd);

// "" when every "--name" among `args` (up to a lone "--") is one of the
// command's options or --help; else the message naming the first that is
// not ("unknown option --sampel (did you mean --sample?)"). The value of an
// option that takes one is skipped, so "--params --x" passes.
std::string UnknownOption(const Command &cmd, const Args &args);

} // namespace halcyon::cli

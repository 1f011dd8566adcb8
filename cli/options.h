// The options a command takes, read from its usage text (every "--name" it
// shows; "--name VALUE" takes a value), and the check every command's
// arguments pass before the command runs: an option the usage does not show
// is refused by name, with the nearest one it does show.
#pragma once

#include <set>
#include <string>

#include "cli/command.h"

namespace halcyon::cli {

// The version of the JSON the commands print ("schemaVersion"); raised when
// a key changes meaning or goes away.
inline constexpr int kJsonSchemaVersion = 1;

struct UsageOptions {
    std::set<std::string> names;     // "--media", "--sample", ...
    std::set<std::string> withValue; // those followed by a placeholder in capitals
};

UsageOptions OptionsOf(const Command &cmd);

// "" when every "--name" among `args` (up to a lone "--") is one of the
// command's options or --help; else the message naming the first that is
// not ("unknown option --sampel (did you mean --sample?)"). The value of an
// option that takes one is skipped, so "--params --x" passes; a command whose
// usage shows no such option at all (reg) keeps its own syntax.
std::string UnknownOption(const Command &cmd, const Args &args);

// Whether the command was asked for JSON ("--json" among its arguments, up to
// a lone "--"): its refusals, usage errors included, are then JSON on standard
// output as well. Set once by main before the command runs.
void SetJsonRequested(const Args &args);
bool JsonRequested();

} // namespace halcyon::cli

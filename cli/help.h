// The halcyon command's help in its three forms: the text "halcyon help"
// prints, the manual page and the bash completion. All three are made from
// the registered commands' summaries and usage texts, so they cannot drift.
#pragma once

#include <string>

#include "cli/command.h"

namespace halcyon::cli {

// The version of the command and its libraries ("0.1.0").
const char *Version();

// "halcyon help": the synopsis, every command with its summary, the options.
std::string OverviewText();
// "halcyon help NAME" and "halcyon NAME --help".
std::string CommandText(const Command &cmd);
// The halcyon(1) manual page (roff).
std::string ManualPage();
// A bash completion script for commands, their subcommands and options.
std::string BashCompletion();

} // namespace halcyon::cli

// The halcyon command's subcommands. Each lives in its own file under
// cli/commands/ and registers itself with a static CommandRegistration.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyon::cli {

using Args = std::vector<std::string>;
using CommandFn = int (*)(const Args &args);

struct Command {
    std::string name;     // "reg", "make-ini", ...
    std::string summary;  // one line for "halcyon help"
    std::string usage;    // printed by "halcyon help NAME" and on bad usage
    CommandFn run;
};

struct CommandRegistration {
    CommandRegistration(std::string name, std::string summary, std::string usage, CommandFn run);
};

const std::vector<Command> &Commands();
const Command *FindCommand(std::string_view name);

// Small option reader for "--name value", "--name=value" and "--flag" forms.
// Positional arguments are kept in order.
class Options {
public:
    Options(const Args &args, std::vector<std::string> flagNames = {});
    std::optional<std::string> Get(std::string_view name) const;
    std::string GetOr(std::string_view name, std::string fallback) const;
    // Parses a number given in decimal or 0x-hex; `ok` false when malformed.
    unsigned long long GetNumber(std::string_view name, unsigned long long fallback, bool *ok = nullptr) const;
    // The same, nothing when malformed.
    std::optional<unsigned long long> Number(std::string_view name, unsigned long long fallback = 0) const;
    bool Has(std::string_view flag) const;
    const std::vector<std::string> &Positional() const { return positional_; }
    // Names given that are neither known flags nor options read so far.
    const std::vector<std::pair<std::string, std::string>> &All() const { return values_; }

private:
    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> flags_;
    std::vector<std::string> positional_;
};

int UsageError(const Command &cmd, std::string_view message);

// Reads number options (decimal or 0x-hex) into the variables beside their
// names; one not given keeps its variable's value. 0, or the usage error
// "--NAME takes a number" of the first that is malformed.
int ReadNumbers(const Command &cmd, const Options &o,
                std::initializer_list<std::pair<const char *, uint64_t *>> numbers);

// For a command that takes no positional argument: the usage error naming
// the first one given, else 0.
int RefusePositional(const Command &cmd, const Options &o);

// A verb's result: `done` on standard output when `code` is 0 (exit status
// 0), else "VERB returned CODE (NAME: meaning)" on standard error (1).
int VerbResult(const char *verb, int64_t code, const char *done);

// "halcyon COMMAND: VERB returned CODE[: WHY]" on standard error; returns 1.
int VerbFailed(const Command &cmd, const char *verb, int64_t code, const std::string &why);

} // namespace halcyon::cli

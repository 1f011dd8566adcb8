// Running the built halcyon command from tests.
#pragma once

#include <string>

namespace halcyon::test {

// The halcyon binary of this build ($HALCYON_TEST_BIN_DIR/halcyon).
std::string HalcyonBinary();

// Runs "halcyon " + `arguments` (shell text, so quote paths) with standard
// input from /dev/null, or from `input` when given (printf format text).
// Standard output and error go to `output` (cleared first). Returns the exit
// status, or -1 when the command could not be run or did not exit.
int RunHalcyon(const std::string &arguments, std::string &output, const std::string &input = "");

// One verb of the command: HalcyonVerb{"reg"}("query X", output) runs
// "halcyon reg query X" as RunHalcyon does.
struct HalcyonVerb {
    std::string verb;
    int operator()(const std::string &arguments, std::string &output, const std::string &input = "") const
    {
        return RunHalcyon(verb + " " + arguments, output, input);
    }
};

// Runs the shell command line `command` with its output into `output`
// (cleared first). Returns the exit status as RunHalcyon does.
int RunShellCommand(const std::string &command, std::string &output);

} // namespace halcyon::test

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

} // namespace halcyon::test

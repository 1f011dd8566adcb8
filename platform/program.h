// This program: its arguments as UTF-8 text and the file it was started from.
#pragma once

#include <string>
#include <vector>

namespace halcyon::platform {

// The program's arguments, the program name first. On Windows they come from
// the UTF-16 command line (argv of main() is in the ANSI code page there);
// elsewhere they are argv as given.
std::vector<std::string> ProgramArguments(int argc, char **argv);

// The full path of the running program's file; empty when it cannot be told.
std::string ProgramFile();

} // namespace halcyon::platform

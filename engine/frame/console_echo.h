// Where the verbs' operator lines ("MakeIniX Begin", "EDU", progress lines)
// go. They are the console lines of the maker's tools, so by default they
// are written to the calling program's standard output; the caller routes
// them with the environment variable HALCYON_ECHO, read at every line:
//   unset or "stdout"  standard output (the default)
//   "stderr"           standard error
//   "off"              nowhere (the log keeps what it logs either way)
#pragma once

#include <cstdio>
#include <string_view>

namespace halcyon {

// The stream operator lines go to now; nullptr when they are turned off.
std::FILE *EchoStream();

// Writes `text` and a line feed (unless `text` ends with one) to EchoStream()
// and flushes it.
void EchoLine(std::string_view text);

} // namespace halcyon

// The engine's log writers. A log is 8-bit text appended one line per call:
// "YYYY.MM.DD hh:mm:ss text" in local time with CR LF line ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyon {

// Appends one time-stamped line to `logPath` (Windows or host path text) and,
// when `echo` is not 0, prints `text` and a line end on standard output.
// An empty log path writes no file. Returns 0, or 27 when the log cannot be
// opened (then nothing is echoed either).
int32_t WriteLog(std::string_view text, std::string_view logPath, int echo);

// Appends a record "YYYY.MM.DD hh:mm:ss text" (then CR LF "[CodeError : n]"
// when code != 0) and CR LF, keeping exactly one NUL byte at the end of the
// file. A log whose folder does not exist, or that has no folder part, gets
// nothing.
void WriteCodeLog(std::string_view text, std::string_view logPath, uint32_t code);

// Appends a backslash unless the text already ends with one; empty stays
// empty.
void EnsureTrailingBackslash(std::string &path);

// Converts UTF-8 text to the log's 8-bit form: characters 0-255 become the
// byte of the same value, others (and malformed bytes) "?".
std::string ToLogBytes(std::string_view utf8);

} // namespace halcyon

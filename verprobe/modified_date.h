// Last-modification dates of files, in local time.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace halcyon::verprobe {

// "%d/%d/%d %d:%d:%d": month, day, four-digit year, hour, minute, second,
// no zero padding. Empty when the time cannot be converted.
std::string FormatLocalTime(std::time_t when);

// The modification time of `target`: 0; 1 (no such file); 2 (its status or
// time cannot be read).
uint32_t ReadModifiedDate(std::string_view target, std::string *text);

// Compares the dates (day, month, year) of the file's modification time
// and of `expected`: 0 equal, 2 different. `formatted` receives the file's
// date text. A text that is not a date counts as day, month and year -1.
uint32_t CompareDates(std::string_view target, std::string_view expected, std::string *formatted);

} // namespace halcyon::verprobe

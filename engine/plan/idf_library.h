// The IDF library on disk: <root>\<first>\<second>\*.xml with a status file
// "<first>_<second>_status.txt" per second-level folder naming the released
// IDF of that folder. Finding the IDF that fits a machine's part numbers and
// answering with the folder's released IDF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/idf/string_list.h"

namespace halcyon::plan {

inline constexpr uint64_t kOptionTestRtm = 0x1;    // bit 0: "TestRTM:" lines instead of "RTM:"
inline constexpr uint64_t kOptionSetIdfForm = 0x2; // bit 1: answer as "set Idf=<path>"

// The status file of a second-level folder: "<first>_<second>_status.txt".
std::string StatusFileName(std::string_view firstLevel, std::string_view secondLevel);

// True when `name` may name one folder or file directly below a folder: a
// single path component that cannot lead elsewhere.
bool IsPlainName(std::string_view name);

// The released IDF named by the status file: the rest of the last line that
// begins with "RTM:" ("TestRTM:" with kOptionTestRtm), trimmed. The file is
// read in pieces of at most 259 characters, a piece ending at a line end.
// 0, or 3 when the file cannot be opened, no line qualifies, or the last
// qualifying name is not a plain file name (empty, or with a path in it).
int32_t ReadReleasedIdfName(std::string_view statusPath, std::string &name, uint64_t options);

// Searches the library below `root` (ending with a backslash) for the first
// IDF whose component list the part numbers match, in name order of the
// folders and files (ignoring case). An empty folder name searches every
// folder of that level; with both names given no IDF is read and the named
// folder answers. `answer` = root + first + "\" + second + "\" + released
// name. False when nothing matched, an IDF could not be read, or the status
// file gave no name (the last two print an error line on the console).
// Given names must be plain names (IsPlainName).
bool FindMatchingIdf(std::string_view root, std::string_view firstLevel, std::string_view secondLevel,
                     const support::StringList1000 &partNumbers, std::string &answer, uint64_t options);

} // namespace halcyon::plan

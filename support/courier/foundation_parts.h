// The split foundation parts of one WIM: byte pieces named "Norv1.nr2",
// "Norv2.nr2", ... that, joined in the order of their numbers, make the WIM.
#pragma once

#include <string>
#include <vector>

namespace halcyon::support::courier {

// The host paths of the parts in `folder` (Windows or host path text), in
// the numeric order of their numbers (Norv10 after Norv9). Names match
// "Norv<n>.nr2" without regard to case; other files are not parts. False
// with `error` set when the folder cannot be read, holds no part, two files
// carry the same number, a number between 1 and the highest is missing, or
// a part is a symbolic link.
bool ListFoundationParts(const std::string &folder, std::vector<std::string> &parts, std::string &error);

// The number of a part's file name ("Norv12.nr2" -> 12); 0 when the name is
// not a part's.
unsigned long PartNumber(const std::string &fileName);

} // namespace halcyon::support::courier

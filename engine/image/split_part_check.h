// Whether a split image has all its parts: read from the WIM headers (the
// image's identifier, the part's number and the number of parts).
#pragma once

#include <string>
#include <vector>

namespace halcyon::image {

// Empty when the image whose part `first` is (a host path) finds every one of
// its parts among `first` and `others`, or when `first` is not a readable WIM
// header (nothing to judge). Otherwise "part N of M", N being the first part
// missing. Files of `others` that belong to another image do not count.
std::string MissingSplitPart(const std::string &first, const std::vector<std::string> &others);

} // namespace halcyon::image

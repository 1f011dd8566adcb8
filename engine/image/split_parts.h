// The further parts of a split image (".nrv") that lie beside its first part.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halcyon::image {

// Names of the files "*.nrv" in `folder` (Windows path text ending in a
// backslash) that belong to the image `imageName`: regular files whose name
// differs (without regard to case) from `imageName` and from `otherName`,
// and whose lower-cased name contains the lower-cased part of `imageName`
// before its first ".". In name order without regard to case.
std::vector<std::string> SplitPartNames(std::string_view folder, std::string_view imageName,
                                        std::string_view otherName);

} // namespace halcyon::image

// Whether two folders overlap: one is the other or lies below it. A copy or
// a delete between overlapping folders would destroy what it reads.
#pragma once

#include <string_view>

namespace halcyon::modules {

// Windows or host path text; compared as the host folders they name, with
// symbolic links resolved as far as the folders exist.
bool FoldersOverlap(std::string_view a, std::string_view b);

} // namespace halcyon::modules

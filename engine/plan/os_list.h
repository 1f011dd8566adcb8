// OS filtering of images and modules against the foundation image's OS.
#pragma once

#include <cstdint>
#include <string_view>

namespace halcyon::plan {

// The code IsOsInList gives when the list lacks the OS.
inline constexpr int32_t kOsNotInList = 115;

// 0 when the comma-separated `osList` holds `foundationOs` (compared without
// regard to case; empty pieces are skipped), else 115.
int32_t IsOsInList(std::string_view foundationOs, std::string_view osList);

} // namespace halcyon::plan

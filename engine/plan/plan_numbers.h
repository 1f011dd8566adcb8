// Number conversions of the plan builders: IDF texts to integers, and the
// megabyte values written into the plan.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyon::plan {

// Leading decimal number of `text`: white space, an optional sign, then
// digits; text without digits gives 0. Values beyond the type's range are
// clamped to it.
int32_t LeadingInt32(std::string_view text);
int64_t LeadingInt64(std::string_view text);

// a + b, clamped to the range of int64_t.
int64_t SaturatingAdd(int64_t a, int64_t b);

// "%dMB" of a megabyte count.
std::string FormatMB(int64_t megabytes);

} // namespace halcyon::plan

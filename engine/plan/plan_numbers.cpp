#include "engine/plan/plan_numbers.h"

#include <limits>

namespace halcyon::plan {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The leading number as a clamped 64-bit value.
int64_t Leading(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    // Accumulate as a negative number so that the minimum is reachable.
    int64_t value = 0;
    bool clamped = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (clamped)
            continue;
        if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) {
            clamped = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (clamped)
        return negative ? std::numeric_limits<int64_t>::min() : kMax;
    if (negative)
        return value;
    return value == std::numeric_limits<int64_t>::min() ? kMax : -value;
}

} // namespace

int32_t LeadingInt32(std::string_view text)
{
    int64_t v = Leading(text);
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

int64_t LeadingInt64(std::string_view text) { return Leading(text); }

int64_t SaturatingAdd(int64_t a, int64_t b)
{
    int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return r;
}

std::string FormatMB(int64_t megabytes) { return std::to_string(megabytes) + "MB"; }

} // namespace halcyon::plan

// Lists in one line of text: "a, b, c".
#pragma once

#include <string>

namespace halcyon::cli {

// The items one after the other, `separator` before each but the first that
// adds any text.
template <class Items> std::string Joined(const Items &items, const char *separator)
{
    std::string out;
    for (const auto &item : items)
        out += (out.empty() ? "" : separator) + std::string(item);
    return out;
}

} // namespace halcyon::cli

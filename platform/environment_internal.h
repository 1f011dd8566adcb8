// What both hosts' environment.cpp share.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace halcyon::platform {

// Whether a variable of this name may be set: not empty, no '='.
bool IsSettableVariableName(std::string_view name);

// Hands an expansion to the caller: false (out unchanged) when it has more
// than `maxChars` characters.
bool TakeExpansion(std::string result, std::string &out, size_t maxChars);

} // namespace halcyon::platform

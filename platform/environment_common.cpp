// The host-neutral rules of the environment calls.
#include "platform/environment_internal.h"

namespace halcyon::platform {

bool IsSettableVariableName(std::string_view name) { return !name.empty() && name.find('=') == std::string_view::npos; }

bool TakeExpansion(std::string result, std::string &out, size_t maxChars)
{
    size_t chars = 0; // UTF-8 lead bytes
    for (char c : result)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++chars;
    if (chars > maxChars)
        return false;
    out = std::move(result);
    return true;
}

} // namespace halcyon::platform

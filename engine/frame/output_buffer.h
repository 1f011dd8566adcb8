// Answers handed back in a caller's character buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "halcyon/ReturnCodes.h"

namespace halcyon::frame {

// Copies `text` and its terminator into `out` of `size` bytes. 0 when it
// fits; RETURN_BUFFER_TOO_SMALL when `out` is NULL or too short, and then a
// buffer that has room for a terminator holds the empty string, never a
// cut answer that could pass for a whole one.
inline int32_t CopyToCallerBuffer(const std::string &text, char *out, uint32_t size)
{
    if (!out || size == 0)
        return RETURN_BUFFER_TOO_SMALL;
    if (text.size() >= size) {
        out[0] = '\0';
        return RETURN_BUFFER_TOO_SMALL;
    }
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return 0;
}

} // namespace halcyon::frame

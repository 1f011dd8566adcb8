// GetWimTagValue: the text of one element of the first image in a WIM's XML
// metadata, read straight from the end of the file.
#include <algorithm>
#include <cstring>

#include "engine/frame/verb.h"
#include "engine/image/wim_tags.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

namespace {

// Copies `text` into the caller's buffer, cut at a character boundary and
// always terminated.
void CopyOut(const std::string &text, char *out, uint32_t size)
{
    if (!out || size == 0)
        return;
    size_t n = std::min<size_t>(text.size(), size - 1);
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

} // namespace

extern "C" HALCYON_API int32_t GetWimTagValue(const char *wim, const char *tag, char *value, uint32_t value_size)
{
    return frame::RunVerb<int32_t>("GetWimTagValue", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        std::string text;
        const int32_t r = image::ReadWimTagValue(frame::Arg(wim), frame::Arg(tag), text);
        if (r == 0)
            CopyOut(text, value, value_size);
        return r;
    });
}

// GetWimTagValue: the text of one element of the first image in a WIM's XML
// metadata, read straight from the end of the file.
#include <algorithm>
#include <cstring>

#include "engine/frame/output_buffer.h"
#include "engine/frame/verb.h"
#include "engine/image/wim_tags.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t GetWimTagValue(const char *wim, const char *tag, char *value, uint32_t value_size)
{
    return frame::RunVerb<int32_t>("GetWimTagValue", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        std::string text;
        const int32_t r = image::ReadWimTagValue(frame::Arg(wim), frame::Arg(tag), text);
        if (r != 0)
            return r;
        // A value that does not fit whole is not handed back cut.
        return frame::CopyToCallerBuffer(text, value, value_size);
    });
}

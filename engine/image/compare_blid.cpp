// CompareBlid: whether this machine is in the BLID list of a WIM.
#include "engine/frame/verb.h"
#include "engine/image/wim_tags.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t CompareBlid(const char *wim, const char *plan)
{
    return frame::RunVerb<int32_t>("CompareBlid", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        return image::CompareWimBlid(frame::Arg(wim), frame::Arg(plan));
    });
}

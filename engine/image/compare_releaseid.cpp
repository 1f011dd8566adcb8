// CompareReleaseid: whether a WIM belongs to the given release.
#include "engine/frame/verb.h"
#include "engine/image/wim_tags.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t CompareReleaseid(const char *wim, const char *release_id)
{
    return frame::RunVerb<int32_t>("CompareReleaseid", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        return image::CompareWimReleaseId(frame::Arg(wim), frame::Arg(release_id));
    });
}

// CompareReleaseid: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t CompareReleaseid(const char *wim, const char *release_id)
{
    return frame::RunVerb<int32_t>("CompareReleaseid", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)wim; (void)release_id;
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

// CompareBlid: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t CompareBlid(const char *wim, const char *plan)
{
    return frame::RunVerb<int32_t>("CompareBlid", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)wim; (void)plan;
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

// ScrambleIdf: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t ScrambleIdf(const char *in, const char *out, uint64_t options)
{
    return frame::RunVerb<int32_t>("ScrambleIdf", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)in; (void)out; (void)options;
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

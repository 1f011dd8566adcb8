// GetWimTagValue: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t GetWimTagValue(const char *wim, const char *tag, char *value, uint32_t value_size)
{
    return frame::RunVerb<int32_t>("GetWimTagValue", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)wim; (void)tag; (void)value; (void)value_size;
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

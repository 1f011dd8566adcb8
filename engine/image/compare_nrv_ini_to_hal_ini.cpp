// CompareNrvIniToHalIni: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t CompareNrvIniToHalIni(const char *nrvhdrcv, const char *plan, uint64_t options)
{
    return frame::RunVerb<int32_t>("CompareNrvIniToHalIni", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)nrvhdrcv; (void)plan; (void)options;
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

// EpicCrcCheck: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t EpicCrcCheck(const char *ini, const char *source, const char *unused, const char *log, uint64_t options)
{
    return frame::RunVerb<int32_t>("EpicCrcCheck", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)ini; (void)source; (void)unused; (void)options;
        WriteLog("EpicCrcCheck Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

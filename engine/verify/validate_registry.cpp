// ValidateRegistry: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t ValidateRegistry(const char *prefix, const char *plan, const char *log, uintptr_t root_key )
{
    return frame::RunVerb<int32_t>("ValidateRegistry", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)prefix; (void)plan; (void)root_key;
        WriteLog("ValidateRegistry Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

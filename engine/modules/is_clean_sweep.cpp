// IsCleanSweep: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API bool IsCleanSweep(const char *plan)
{
    return frame::RunVerb<bool>("IsCleanSweep", false, [&]() -> bool {
        (void)plan;
        return false;
    });
}

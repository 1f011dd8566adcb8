// IsLastModuleRecoverable: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t IsLastModuleRecoverable(void)
{
    return frame::RunVerbKeepingState<int32_t>("IsLastModuleRecoverable", 0, [&]() -> int32_t {
        
        return 0;
    });
}

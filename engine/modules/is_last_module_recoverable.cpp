// IsLastModuleRecoverable: whether the module the setup verb looked at last
// is recoverable. Keeps the caller's module state and takes no lock.
#include "engine/frame/verb.h"
#include "engine/modules/last_module_recoverable.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t IsLastModuleRecoverable(void)
{
    return frame::RunVerbKeepingState<int32_t>("IsLastModuleRecoverable", 0,
                                               []() -> int32_t { return modules::LastModuleRecoverable(); });
}

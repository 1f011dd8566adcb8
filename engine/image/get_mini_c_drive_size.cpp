// GetMiniCDriveSize: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t GetMiniCDriveSize(const char *plan, const char *settings, const char *unused, uint8_t *warning, int32_t *size, int32_t *size_no_recovery)
{
    return frame::RunVerbKeepingState<int32_t>("GetMiniCDriveSize", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)plan; (void)settings; (void)unused; (void)warning; (void)size; (void)size_no_recovery;
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

// LoadImgX: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t LoadImgX(const char *plan, const char *source, const char *dest, const char *temp, const char *wim_name, const char *log, uint64_t options, WimMessageCallback cb, void *cb_data, const char *nrvinst_oem, const char *pbr_suffix)
{
    return frame::RunVerb<int32_t>("LoadImgX", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)plan; (void)source; (void)dest; (void)temp; (void)wim_name; (void)options; (void)cb; (void)cb_data; (void)nrvinst_oem; (void)pbr_suffix;
        WriteLog("LoadImgX Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

// GetFoundationImage: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t GetFoundationImage(const char *source, const char *dest, const char *plan, const char *nrvhdrcv, const char *media_type, uint64_t options, const char *export_arg, WimCourierCallback cb, void *cb_data, const char *log)
{
    return frame::RunVerbKeepingState<int32_t>("GetFoundationImage", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)source; (void)dest; (void)plan; (void)nrvhdrcv; (void)media_type; (void)options; (void)export_arg; (void)cb; (void)cb_data;
        WriteLog("GetFoundationImage Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

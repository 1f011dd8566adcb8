// CopyDiscToDisk: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t CopyDiscToDisk(const char *source, const char *dest, const char *plan, const char *nrvhdrcv, const char *media_type, const char *installer_type, uint64_t options, WimMessageCallback cb, void *cb_data, const char *temporary, const char *log)
{
    return frame::RunVerb<int32_t>("CopyDiscToDisk", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)source; (void)dest; (void)plan; (void)nrvhdrcv; (void)media_type; (void)installer_type; (void)options; (void)cb; (void)cb_data; (void)temporary;
        WriteLog("CopyDiscToDisk Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

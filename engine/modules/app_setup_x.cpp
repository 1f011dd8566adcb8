// AppSetupX: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t AppSetupX(const char *plan, const char *app_ini, const char *source, const char *dest, const char *apply_dir, const char *installer_type, const char *part_type, const char *recoverable, const char *temporary, const char *log, int32_t start, uint64_t options, ModuleProgressCallback cb, uintptr_t user_data)
{
    return frame::RunVerb<int32_t>("AppSetupX", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)plan; (void)app_ini; (void)source; (void)dest; (void)apply_dir; (void)installer_type; (void)part_type; (void)recoverable; (void)temporary; (void)start; (void)options; (void)cb; (void)user_data;
        WriteLog("AppSetupX Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

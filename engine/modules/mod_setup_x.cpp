// ModSetupX: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t ModSetupX(const char *plan, const char *perm_source, const char *temp_source, const char *truefulfillment_source, const char *dest, const char *mount, const char *installer_type, const char *part_type, const char *recoverable, const char *temporary, const char *log, int32_t start, uint64_t options, ModuleProgressCallback cb, uintptr_t user_data, const char *nrvinst_oem, uint32_t *exit_code)
{
    return frame::RunVerb<int32_t>("ModSetupX", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)plan; (void)perm_source; (void)temp_source; (void)truefulfillment_source; (void)dest; (void)mount; (void)installer_type; (void)part_type; (void)recoverable; (void)temporary; (void)start; (void)options; (void)cb; (void)user_data; (void)nrvinst_oem; (void)exit_code;
        WriteLog("ModSetupX Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

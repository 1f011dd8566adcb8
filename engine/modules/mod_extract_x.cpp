// ModExtractX: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t ModExtractX(const char *plan, const char *source, const char *dest, const char *installer_type, const char *part_type, const char *module_type, const char *recoverable, const char *temporary, const char *log, uint64_t unused, uint64_t options, uint64_t copy_arg)
{
    return frame::RunVerb<int32_t>("ModExtractX", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)plan; (void)source; (void)dest; (void)installer_type; (void)part_type; (void)module_type; (void)recoverable; (void)temporary; (void)unused; (void)options; (void)copy_arg;
        WriteLog("ModExtractX Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

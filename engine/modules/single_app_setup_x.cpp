// SingleAppSetupX_s: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t SingleAppSetupX_s(const char *section, const char *ini, const char *source, const char *dest, const char *installer_type, const char *part_type, const char *recoverable, const char *temporary, const char *log, uint64_t options, uint8_t *verified, uint32_t *verify_result, char *message, uint32_t message_size, bool no_arguments)
{
    return frame::RunVerb<int32_t>("SingleAppSetupX_s", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)section; (void)ini; (void)source; (void)dest; (void)installer_type; (void)part_type; (void)recoverable; (void)temporary; (void)options; (void)verified; (void)verify_result; (void)message; (void)message_size; (void)no_arguments;
        WriteLog("SingleAppSetupX_s Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

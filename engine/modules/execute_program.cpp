// ExecuteProgram: not built yet. Logs its begin line and returns RETURN_NOT_BUILT.
#include "engine/frame/log.h"
#include "engine/frame/verb.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t ExecuteProgram(const char *work_dir, const char *file, const char *parameters, int32_t show_command, uint32_t wait_seconds, uint32_t *exit_code, const char *log)
{
    return frame::RunVerb<int32_t>("ExecuteProgram", static_cast<int32_t>(RETURN_NOT_BUILT), [&]() -> int32_t {
        (void)work_dir; (void)file; (void)parameters; (void)show_command; (void)wait_seconds; (void)exit_code;
        WriteLog("ExecuteProgram Begin", frame::Arg(log), 1);
        return static_cast<int32_t>(RETURN_NOT_BUILT);
    });
}

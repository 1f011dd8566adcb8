// ExecuteProgram: runs an installer program and hands back its exit code.
#include "engine/frame/verb.h"
#include "engine/modules/program_runner.h"
#include "halcyon/HalcyonDLL.h"

using namespace halcyon;

extern "C" HALCYON_API int32_t ExecuteProgram(const char *work_dir, const char *file, const char *parameters,
                                              int32_t show_command, uint32_t wait_seconds, uint32_t *exit_code,
                                              const char *log)
{
    return frame::RunVerb<int32_t>("ExecuteProgram", static_cast<int32_t>(RETURN_INTERNAL_ERROR), [&]() -> int32_t {
        return modules::ExecuteProgram(frame::Arg(work_dir), frame::Arg(file), frame::Arg(parameters), show_command,
                                       wait_seconds, exit_code, frame::Arg(log));
    });
}

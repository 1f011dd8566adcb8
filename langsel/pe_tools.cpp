#include "langsel/pe_tools.h"

#include "platform/process.h"

namespace halcyon::langsel {

bool RunLanguageToolOnce(const std::string &arguments, int waitMs)
{
    platform::ProcessHandle process;
    if (platform::ShellExecute("", kLanguageTool, arguments, process) != 0 || !process)
        return false;
    if (process.Wait(waitMs) != platform::WaitResult::Signaled)
        return false;
    uint32_t code = platform::STILL_ACTIVE;
    return process.GetExitCode(&code) && code == 0;
}

bool RunBcdTool(const std::string &arguments)
{
    platform::ProcessHandle process;
    if (platform::ShellExecute("", kBcdTool, arguments, process) != 0 || !process)
        return false;
    return process.Wait(-1) == platform::WaitResult::Signaled;
}

} // namespace halcyon::langsel

// The program's arguments from the UTF-16 command line and its file from
// the module table.
#include "platform/program.h"

#include "platform/win/module_file.h"
#include "platform/win/wide_text.h"
#include "platform/win/windows_api.h"

namespace halcyon::platform {

std::vector<std::string> ProgramArguments(int argc, char **argv)
{
    int count = 0;
    LPWSTR *wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(win::Narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

std::string ProgramFile() { return win::ModuleFileName(nullptr); }

} // namespace halcyon::platform

// The program's arguments from the UTF-16 command line and its file from
// the module table.
#include "platform/program.h"

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

std::string ProgramFile()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return win::Narrow(path);
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

} // namespace halcyon::platform

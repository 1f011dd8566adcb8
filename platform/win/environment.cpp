// The process environment through the Win32 API: names compare without
// regard to case and expansion is the system's own.
#include "platform/environment.h"
#include "platform/environment_internal.h"

#include "platform/win/windows_api.h"

#include "platform/win/wide_text.h"

namespace halcyon::platform {

std::optional<std::string> GetEnvironmentVariable(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    std::wstring wname = win::Widen(name);
    DWORD n = ::GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0)
        return std::nullopt;
    std::wstring value(n, L'\0');
    n = ::GetEnvironmentVariableW(wname.c_str(), value.data(), n);
    value.resize(n);
    return win::Narrow(value);
}

bool ExpandEnvironmentStrings(std::string_view in, std::string &out, size_t maxChars)
{
    std::wstring src = win::Widen(in);
    DWORD n = ::ExpandEnvironmentStringsW(src.c_str(), nullptr, 0);
    if (n == 0)
        return false;
    std::wstring expanded(n, L'\0');
    n = ::ExpandEnvironmentStringsW(src.c_str(), expanded.data(), n);
    if (n == 0)
        return false;
    expanded.resize(n - 1); // the count includes the terminator
    std::string result = win::Narrow(expanded);
    return TakeExpansion(std::move(result), out, maxChars);
}

bool SetEnvironmentVariable(std::string_view name, std::string_view value)
{
    if (!IsSettableVariableName(name))
        return false;
    return ::SetEnvironmentVariableW(win::Widen(name).c_str(), win::Widen(value).c_str()) != 0;
}

std::string HostName()
{
    return GetEnvironmentVariable("COMPUTERNAME").value_or("");
}

} // namespace halcyon::platform

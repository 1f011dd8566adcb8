#include "platform/environment.h"
#include "platform/environment_internal.h"

#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "platform/path_map.h"

extern char **environ;

namespace halcyon::platform {

namespace {

struct FolderDefault {
    const char *name;
    const char *value;
};

// The folders every Windows machine names in its environment.
constexpr FolderDefault kDefaults[] = {
    {"windir", "C:\\Windows"},
    {"SystemRoot", "C:\\Windows"},
    {"SystemDrive", "C:"},
    {"ProgramFiles", "C:\\Program Files"},
    {"ProgramW6432", "C:\\Program Files"},
    {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
    {"CommonProgramFiles", "C:\\Program Files\\Common Files"},
    {"CommonProgramW6432", "C:\\Program Files\\Common Files"},
    {"CommonProgramFiles(x86)", "C:\\Program Files (x86)\\Common Files"},
    {"ProgramData", "C:\\ProgramData"},
    {"ALLUSERSPROFILE", "C:\\ProgramData"},
    {"PUBLIC", "C:\\Users\\Public"},
};

} // namespace

std::optional<std::string> GetEnvironmentVariable(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    // An exact spelling wins over one differing in case.
    std::optional<std::string> folded;
    for (char **e = environ; e && *e; ++e) {
        std::string_view entry(*e);
        size_t eq = entry.find('=', 1);
        if (eq == std::string_view::npos)
            continue;
        std::string_view n = entry.substr(0, eq);
        if (n == name)
            return std::string(entry.substr(eq + 1));
        if (!folded && EqualsNoCase(n, name))
            folded = std::string(entry.substr(eq + 1));
    }
    if (folded)
        return folded;
    for (const auto &d : kDefaults)
        if (EqualsNoCase(name, d.name))
            return std::string(d.value);
    return std::nullopt;
}

bool ExpandEnvironmentStrings(std::string_view in, std::string &out, size_t maxChars)
{
    std::string result;
    size_t i = 0;
    while (i < in.size()) {
        if (in[i] != '%') {
            result += in[i++];
            continue;
        }
        size_t close = in.find('%', i + 1);
        if (close == std::string_view::npos) {
            result.append(in.substr(i));
            break;
        }
        std::string_view name = in.substr(i + 1, close - i - 1);
        if (auto value = GetEnvironmentVariable(name)) {
            result += *value;
            i = close + 1;
        } else {
            // Unknown: kept as written; its closing '%' may open the next name.
            result += '%';
            result.append(name);
            i = close;
        }
    }
    return TakeExpansion(std::move(result), out, maxChars);
}

bool SetEnvironmentVariable(std::string_view name, std::string_view value)
{
    if (!IsSettableVariableName(name))
        return false;
    return ::setenv(std::string(name).c_str(), std::string(value).c_str(), 1) == 0;
}

std::string HostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

} // namespace halcyon::platform

#include "engine/modules/target_path.h"

#include <cctype>

#include "engine/modules/program_runner.h"
#include "platform/environment.h"

namespace halcyon::modules {

namespace {
// The expansion buffer holds 260 characters, its terminator included.
constexpr size_t kExpandChars = 259;
} // namespace

std::string PathRoot(std::string_view path)
{
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
        return std::string(path.substr(0, path.size() >= 3 && path[2] == '\\' ? 3 : 2));
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        size_t server = path.find('\\', 2);
        if (server == std::string_view::npos)
            return std::string(path);
        size_t share = path.find('\\', server + 1);
        return std::string(path.substr(0, share));
    }
    if (!path.empty() && path[0] == '\\')
        return "\\";
    return std::string();
}

std::string UnquoteSpaces(std::string_view path)
{
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        return std::string(path.substr(1, path.size() - 2));
    return std::string(path);
}

ResolvedTarget ResolveTarget(std::string_view path, std::string_view destDir, bool keepTokensOnFailure)
{
    ResolvedTarget r;
    std::string tokens;
    ExpandProgramFilesTokens(path, tokens);
    std::string expanded;
    if (!platform::ExpandEnvironmentStrings(tokens, expanded, kExpandChars)) {
        r.expanded = false;
        if (keepTokensOnFailure) {
            r.path = tokens;
            r.hasDrive = PathRoot(tokens).find(':', 1) != std::string::npos;
            if (!r.hasDrive)
                r.relative = tokens;
        } else {
            r.relative = std::string(path);
            r.path = std::string(destDir) + r.relative;
        }
        return r;
    }
    std::string unquoted = UnquoteSpaces(expanded);
    if (PathRoot(unquoted).find(':', 1) != std::string::npos) {
        r.hasDrive = true;
        r.path = unquoted;
        return r;
    }
    r.relative = unquoted;
    r.path = std::string(destDir) + unquoted;
    return r;
}

std::string ResolveTargetPath(std::string_view path, std::string_view destDir)
{
    return ResolveTarget(path, destDir).path;
}

} // namespace halcyon::modules

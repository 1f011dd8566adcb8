#include "engine/modules/plan_path_checks.h"

#include "platform/path_map.h"

namespace halcyon::modules {

namespace {

template <typename Fn>
bool AllComponents(std::string_view path, Fn &&ok)
{
    size_t pos = 0;
    while (true) {
        size_t sep = path.find_first_of("\\/", pos);
        std::string_view comp = path.substr(pos, sep == std::string_view::npos ? std::string_view::npos : sep - pos);
        if (!ok(comp))
            return false;
        if (sep == std::string_view::npos)
            return true;
        pos = sep + 1;
    }
}

} // namespace

bool IsSafeSubfolder(std::string_view part)
{
    if (!platform::IsSafeRelativePart(part))
        return false;
    bool named = false;
    bool ok = AllComponents(part, [&](std::string_view c) {
        if (c == "." || c == "..")
            return false;
        if (!c.empty())
            named = true;
        return true;
    });
    return ok && named;
}

std::string LastComponent(std::string_view path)
{
    while (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        path.remove_suffix(1);
    size_t sep = path.find_last_of("\\/");
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

bool IsSafeDrivePath(std::string_view path)
{
    return AllComponents(path, [](std::string_view c) { return c != ".."; });
}

} // namespace halcyon::modules

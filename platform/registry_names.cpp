// Root names of the registry as reg.exe and .reg files spell them.
#include "platform/path_map.h"
#include "platform/registry.h"

namespace halcyon::platform::reg {

namespace {

struct RootNames {
    HKEY root;
    const char *shortName;
    const char *longName;
};

constexpr RootNames kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKCR", "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKCU", "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKLM", "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKU", "HKEY_USERS"},
    {HKEY_PERFORMANCE_DATA, "HKPD", "HKEY_PERFORMANCE_DATA"},
    {HKEY_CURRENT_CONFIG, "HKCC", "HKEY_CURRENT_CONFIG"},
    {HKEY_DYN_DATA, "HKDD", "HKEY_DYN_DATA"},
};

} // namespace

HKEY RootFromName(std::string_view name)
{
    for (const auto &r : kRoots)
        if (EqualsNoCase(name, r.shortName) || EqualsNoCase(name, r.longName))
            return r.root;
    return 0;
}

std::string RootName(HKEY root)
{
    for (const auto &r : kRoots)
        if (r.root == root)
            return r.longName;
    return {};
}

bool SplitKeyPath(std::string_view path, HKEY *root, std::string *subKey)
{
    size_t sep = path.find('\\');
    HKEY r = RootFromName(path.substr(0, sep));
    if (!r)
        return false;
    if (root)
        *root = r;
    if (subKey) {
        std::string_view rest = sep == std::string_view::npos ? std::string_view() : path.substr(sep + 1);
        while (!rest.empty() && rest.back() == '\\')
            rest.remove_suffix(1);
        subKey->assign(rest);
    }
    return true;
}

} // namespace halcyon::platform::reg

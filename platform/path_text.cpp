// Windows path and name text rules that touch no file system: the same on
// every host.
#include "platform/path_map.h"

#include <cctype>

namespace halcyon::platform {

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string ToUpperAscii(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string ToLowerAscii(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool HasDrive(std::string_view path) { return path.size() >= 2 && path.find(':', 1) != std::string_view::npos; }

bool IsSafeRelativePart(std::string_view part)
{
    if (part.empty())
        return false;
    if (part[0] == '\\' || part[0] == '/')
        return false;
    if (part.find(':') != std::string_view::npos)
        return false;
    size_t pos = 0;
    while (pos <= part.size()) {
        size_t sep = part.find_first_of("\\/", pos);
        std::string_view comp = part.substr(pos, sep == std::string_view::npos ? std::string_view::npos : sep - pos);
        if (comp == "..")
            return false;
        if (sep == std::string_view::npos)
            break;
        pos = sep + 1;
    }
    return true;
}

bool WildcardMatch(std::string_view pattern, std::string_view name)
{
    if (pattern == "*.*" || pattern == "*")
        return true;
    // Iterative glob with backtracking on the last '*'.
    size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    // "name.*" also matches "name" (a Windows rule for a trailing ".*").
    if (p + 2 == pattern.size() && pattern[p] == '.' && pattern[p + 1] == '*')
        return true;
    return p == pattern.size();
}

} // namespace halcyon::platform

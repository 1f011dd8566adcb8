#include "support/wdmi/oem_strings.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace halcyon::support {

std::vector<std::string> ParseOemStrings(std::string_view raw)
{
    std::vector<std::string> out;
    // Header: type (11), length of the formatted part (at least 5), handle,
    // string count; then the NUL-terminated strings, ended by an empty one.
    if (raw.size() < 5 || static_cast<uint8_t>(raw[0]) != 11)
        return out;
    size_t pos = static_cast<uint8_t>(raw[1]);
    unsigned count = static_cast<uint8_t>(raw[4]);
    if (pos < 5 || pos > raw.size())
        return out;
    while (pos < raw.size() && out.size() < count) {
        size_t nul = raw.find('\0', pos);
        if (nul == std::string_view::npos || nul == pos)
            break;
        out.emplace_back(raw.substr(pos, nul - pos));
        pos = nul + 1;
    }
    return out;
}

std::vector<std::string> ReadOemStrings(const std::string &entriesDir)
{
    std::vector<std::string> dirs;
    if (DIR *d = ::opendir(entriesDir.c_str())) {
        while (dirent *e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n.rfind("11-", 0) == 0)
                dirs.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(dirs.begin(), dirs.end());
    for (const auto &dir : dirs) {
        std::ifstream in(entriesDir + "/" + dir + "/raw", std::ios::binary);
        if (!in)
            continue;
        std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto strings = ParseOemStrings(raw);
        if (!strings.empty())
            return strings;
    }
    return {};
}

} // namespace halcyon::support

#include "support/wdmi/oem_strings.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/firmware_table.h"
#include "platform/folder_list.h"
#include "platform/fs_path.h"

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

std::vector<std::string> ReadOemStrings()
{
    const std::optional<std::string> raw = platform::SmbiosStructure(11);
    return raw ? ParseOemStrings(*raw) : std::vector<std::string>{};
}

std::vector<std::string> ReadOemStrings(const std::string &entriesDir)
{
    std::vector<std::string> dirs;
    std::vector<platform::FolderEntry> entries;
    if (platform::ListFolder(entriesDir, entries) == 0) {
        for (platform::FolderEntry &e : entries)
            if (e.name.rfind("11-", 0) == 0)
                dirs.push_back(std::move(e.name));
    }
    std::sort(dirs.begin(), dirs.end());
    for (const auto &dir : dirs) {
        std::ifstream in(platform::FsPath(entriesDir + "/" + dir + "/raw"), std::ios::binary);
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

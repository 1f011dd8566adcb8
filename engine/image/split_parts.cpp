#include "engine/image/split_parts.h"

#include <algorithm>

#include "platform/folder_list.h"
#include "platform/host_file.h"
#include "platform/path_map.h"

namespace halcyon::image {

std::vector<std::string> SplitPartNames(std::string_view folder, std::string_view imageName,
                                        std::string_view otherName)
{
    std::vector<std::string> names;
    const std::string host = platform::HostPath(folder);
    std::vector<platform::FolderEntry> entries;
    if (platform::ListFolder(host, entries) != 0)
        return names;

    const std::string base = platform::ToLowerAscii(imageName.substr(0, imageName.find('.')));
    for (const platform::FolderEntry &entry : entries) {
        const std::string &name = entry.name;
        if (!platform::WildcardMatch("*.nrv", name))
            continue;
        const auto status = platform::StatHostPath(host + "/" + name);
        if (!status || status->directory)
            continue;
        if (platform::EqualsNoCase(name, imageName) || platform::EqualsNoCase(name, otherName))
            continue;
        if (platform::ToLowerAscii(name).find(base) == std::string::npos)
            continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return platform::ToLowerAscii(a) < platform::ToLowerAscii(b);
    });
    return names;
}

} // namespace halcyon::image

#include "engine/image/split_parts.h"

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

#include "platform/path_map.h"

namespace halcyon::image {

namespace {

struct DirCloser {
    void operator()(DIR *d) const { ::closedir(d); }
};

} // namespace

std::vector<std::string> SplitPartNames(std::string_view folder, std::string_view imageName,
                                        std::string_view otherName)
{
    std::vector<std::string> names;
    const std::string host = platform::HostPath(folder);
    std::unique_ptr<DIR, DirCloser> dir(::opendir(host.c_str()));
    if (!dir)
        return names;

    const std::string base = platform::ToLowerAscii(imageName.substr(0, imageName.find('.')));
    while (const dirent *entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (!platform::WildcardMatch("*.nrv", name))
            continue;
        struct stat st;
        if (::stat((host + "/" + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode))
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

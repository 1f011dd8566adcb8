#include "platform/path_map.h"

#include <cctype>
#include <dirent.h>
#include <sys/stat.h>
#include <memory>
#include <vector>

#include "platform/machine_prefix.h"

namespace halcyon::platform {

namespace {

bool Exists(const std::string &p)
{
    struct stat st{};
    return ::lstat(p.c_str(), &st) == 0;
}

struct DirCloser {
    void operator()(DIR *d) const { ::closedir(d); }
};

// Finds `name` in `folder` without regard to case; empty when absent.
std::string FindNoCase(const std::string &folder, std::string_view name)
{
    std::unique_ptr<DIR, DirCloser> d(::opendir(folder.empty() ? "." : folder.c_str()));
    if (!d)
        return {};
    while (dirent *e = ::readdir(d.get())) {
        if (EqualsNoCase(e->d_name, name))
            return e->d_name;
    }
    return {};
}

} // namespace

std::string MapPathText(std::string_view in)
{
    std::string out;
    out.reserve(in.size() + 32);
    size_t start = 0;
    if (in.size() >= 2 && in[1] == ':' && std::isalpha(static_cast<unsigned char>(in[0]))) {
        out = DriveFolder(in[0]);
        start = 2;
        if (start < in.size() && in[start] != '\\' && in[start] != '/')
            out += '/';
    }
    for (size_t i = start; i < in.size(); ++i)
        out += in[i] == '\\' ? '/' : in[i];
    return out;
}

std::string HostPath(std::string_view windowsPath)
{
    std::string mapped = MapPathText(windowsPath);
    if (mapped.empty() || Exists(mapped))
        return mapped;

    // The drive folder is taken as it is; each component after it that does
    // not exist as written is looked up without regard to case.
    std::string result;
    std::string_view rest = mapped;
    if (windowsPath.size() >= 2 && windowsPath[1] == ':' && std::isalpha(static_cast<unsigned char>(windowsPath[0]))) {
        result = DriveFolder(windowsPath[0]);
        rest.remove_prefix(result.size());
    } else if (mapped[0] == '/') {
        result = "/";
    }
    auto join = [](const std::string &dir, std::string_view name) {
        if (dir.empty())
            return std::string(name);
        return dir.back() == '/' ? dir + std::string(name) : dir + "/" + std::string(name);
    };
    bool resolving = true;
    size_t pos = 0;
    while (pos < rest.size()) {
        size_t slash = rest.find('/', pos);
        std::string_view comp = rest.substr(pos, slash == std::string_view::npos ? std::string_view::npos : slash - pos);
        pos = slash == std::string_view::npos ? rest.size() : slash + 1;
        if (comp.empty())
            continue;
        std::string candidate = join(result, comp);
        if (resolving && comp != "." && comp != ".." && !Exists(candidate)) {
            std::string found = FindNoCase(result.empty() ? std::string(".") : result, comp);
            if (!found.empty())
                candidate = join(result, found);
            else
                resolving = false;
        }
        result = std::move(candidate);
    }
    if (mapped.back() == '/' && (result.empty() || result.back() != '/'))
        result += '/';
    return result;
}

} // namespace halcyon::platform

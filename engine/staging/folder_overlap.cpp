#include "engine/staging/folder_overlap.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/fs_path.h"
#include "platform/path_map.h"

namespace fs = std::filesystem;

namespace halcyon::modules {

namespace {

fs::path Resolved(std::string_view path)
{
    fs::path host = fs::absolute(platform::FsPath(platform::HostPath(path)));
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(host, ec);
    fs::path out = (ec ? host.lexically_normal() : canonical);
    // "a/b/" and "a/b" name the same folder.
    if (!out.has_filename() && out.has_parent_path() && out != out.root_path())
        out = out.parent_path();
    return out;
}

// True when `inner` is `outer` or lies below it.
bool Within(const fs::path &inner, const fs::path &outer)
{
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (i == inner.end() || *i != *o)
            return false;
    }
    return true;
}

} // namespace

bool FoldersOverlap(std::string_view a, std::string_view b)
{
    fs::path pa = Resolved(a);
    fs::path pb = Resolved(b);
    return Within(pa, pb) || Within(pb, pa);
}

} // namespace halcyon::modules

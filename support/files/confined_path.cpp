#include "support/files/confined_path.h"

#include <cerrno>
#include <filesystem>
#include <vector>

#include "platform/confined_folder.h"
#include "platform/fs_path.h"
#include "platform/host_path_text.h"
#include "platform/path_map.h"

namespace fs = std::filesystem;

namespace halcyon::support {

namespace {


bool HasDotDot(const fs::path &p)
{
    for (const auto &part : p)
        if (part == "..")
            return true;
    return false;
}

fs::path Absolute(const fs::path &p)
{
    std::error_code ec;
    fs::path a = fs::absolute(p, ec);
    return (ec ? p : a).lexically_normal();
}

// Path text as a path; on Windows the drive letter in upper case, so that
// "c:\\x" lies below "C:\\".
fs::path PathOf(std::string_view text)
{
#if defined(_WIN32)
    // Compared as text, so in the ordinary form: FsPath gives the long form
    // to a long path only, and a root and a path below it would differ.
    const std::string t = platform::ComparableHostPath(text);
    return fs::path(std::u8string_view(reinterpret_cast<const char8_t *>(t.data()), t.size()));
#else
    return platform::FsPath(platform::ComparableHostPath(text));
#endif
}

// The components of `path` below `root`; false when it is not below it.
bool SplitBelow(std::string_view root, std::string_view path, fs::path &rootOut, std::vector<fs::path> &parts)
{
    fs::path r = Absolute(PathOf(root));
    fs::path p = PathOf(path);
    if (HasDotDot(p))
        return false;
    if (p.is_relative())
        p = r / p;
    p = Absolute(p);
    fs::path rel = p.lexically_relative(r);
    if (rel.empty() || HasDotDot(rel))
        return false;
    rootOut = r;
    parts.clear();
    for (const auto &part : rel)
        if (!part.empty() && part != ".")
            parts.push_back(part);
    return true;
}

} // namespace

ConfinedCheck CheckConfinedPath(std::string_view root, std::string_view path)
{
    ConfinedCheck out;
    fs::path cur;
    std::vector<fs::path> parts;
    if (!SplitBelow(root, path, cur, parts)) {
        out.result = Confinement::Outside;
        out.component = std::string(path);
        return out;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        cur /= parts[i];
        platform::EntryKind kind = platform::EntryKind::Other;
        if (const int err = platform::ExamineEntry(platform::PathUtf8(cur), kind); err != 0) {
            if (err == ENOENT)
                break; // the rest will be created
            out.result = err == ENOTDIR ? Confinement::NotFolder : Confinement::Error;
            out.error = err;
            out.component = platform::PathUtf8(cur);
            return out;
        }
        if (kind == platform::EntryKind::Link) {
            out.result = Confinement::Link;
            out.component = platform::PathUtf8(cur);
            return out;
        }
        if (kind != platform::EntryKind::Folder && i + 1 < parts.size()) {
            out.result = Confinement::NotFolder;
            out.component = platform::PathUtf8(cur);
            return out;
        }
    }
    out.result = Confinement::Inside;
    return out;
}

bool IsConfinedPath(std::string_view root, std::string_view path)
{
    return CheckConfinedPath(root, path).result == Confinement::Inside;
}

std::string DescribeConfinement(const ConfinedCheck &check, std::string_view root, std::string_view path)
{
    switch (check.result) {
    case Confinement::Inside:
        return std::string(path) + " is inside " + std::string(root);
    case Confinement::Outside:
        return std::string(path) + " is outside " + std::string(root);
    case Confinement::Link:
        return check.component + " is a symbolic link";
    case Confinement::NotFolder:
        return check.component + " is not a folder";
    case Confinement::Error:
        break;
    }
    return "cannot examine " + check.component + " (errno " + std::to_string(check.error) + ")";
}

int CheckConfinedWrite(std::string_view root, std::string_view path, ConfinedCheck *check)
{
    ConfinedCheck c = CheckConfinedPath(root, path);
    int rc = 0;
    switch (c.result) {
    case Confinement::Inside: rc = 0; break;
    case Confinement::Outside: rc = EXDEV; break;
    case Confinement::Link: rc = ELOOP; break;
    case Confinement::NotFolder: rc = ENOTDIR; break;
    case Confinement::Error: rc = c.error ? c.error : EIO; break;
    }
    if (check)
        *check = std::move(c);
    return rc;
}

std::string WriteRootOf(std::string_view path, std::string_view target)
{
    if (platform::HasDrive(path) && path.size() >= 2)
        return platform::TrimHostSeparators(platform::HostPath(std::string(path.substr(0, 2)) + "\\"));
    const std::string host = platform::HostPath(path);
    if (!target.empty()) {
        const std::string root = platform::TrimHostSeparators(platform::HostPath(target));
        fs::path r;
        std::vector<fs::path> parts;
        if (SplitBelow(root, host, r, parts))
            return root;
    }
    fs::path parent = Absolute(PathOf(host)).parent_path();
    return platform::PathUtf8(parent);
}

int CreateConfinedFolders(std::string_view root, std::string_view path)
{
    fs::path r;
    std::vector<fs::path> parts;
    if (!SplitBelow(root, path, r, parts))
        return EXDEV;
    std::vector<std::string> names;
    for (const auto &part : parts)
        names.push_back(platform::PathUtf8(part));
    return platform::CreateFoldersBelow(platform::PathUtf8(r), names);
}

int RemoveTreeNoFollow(std::string_view path, uint32_t *counter)
{
    if (counter)
        *counter = 0;
    if (path.empty())
        return EINVAL;
    fs::path p = platform::FsPath(path).lexically_normal();
    // "x/" names the folder x; without the slash a link named x is not followed.
    if (!p.has_filename())
        p = p.parent_path();
    fs::path parent = p.parent_path();
    if (parent.empty())
        parent = ".";
    std::string name = platform::PathUtf8(p.filename());
    if (name.empty() || name == "." || name == "..")
        return EINVAL;
    return platform::RemoveEntryTree(platform::PathUtf8(parent), name, counter);
}

int EmptyFolderNoFollow(std::string_view path, uint32_t *counter)
{
    if (counter)
        *counter = 0;
    if (path.empty())
        return EINVAL;
    return platform::EmptyFolderTree(platform::TrimHostSeparators(path), counter);
}

} // namespace halcyon::support

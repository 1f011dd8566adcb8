#include "platform/folder_list.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace halcyon::platform {

namespace {

EntryKind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

} // namespace

int ListFolder(const std::string &hostPath, std::vector<FolderEntry> &out)
{
    out.clear();
    DIR *dir = ::opendir(hostPath.c_str());
    if (dir == nullptr)
        return errno;
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(dir);
        if (e == nullptr) {
            error = errno;
            break;
        }
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        FolderEntry entry{name, EntryKind::Other};
        switch (e->d_type) {
        case DT_REG: entry.kind = EntryKind::File; break;
        case DT_DIR: entry.kind = EntryKind::Folder; break;
        case DT_LNK: entry.kind = EntryKind::Link; break;
        case DT_UNKNOWN: {
            struct stat st{};
            if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                entry.kind = KindOfMode(st.st_mode);
            break;
        }
        default: break;
        }
        out.push_back(std::move(entry));
    }
    ::closedir(dir);
    if (error != 0)
        out.clear();
    return error;
}

} // namespace halcyon::platform

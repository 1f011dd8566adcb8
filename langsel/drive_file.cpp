#include "langsel/drive_file.h"

#include <cerrno>
#include <filesystem>

#include "platform/confined_folder.h"
#include "platform/fs_path.h"
#include "platform/host_path_text.h"
#include "platform/path_map.h"

namespace halcyon::langsel {

bool DriveFileWritable(const std::string &windowsPath, std::string *why)
{
    if (windowsPath.size() < 3 || !platform::HasDrive(windowsPath)) {
        if (why)
            *why = windowsPath + " names no drive";
        return false;
    }
    const std::filesystem::path root =
        platform::FsPath(platform::TrimHostSeparators(platform::HostPath(windowsPath.substr(0, 2) + "\\")));
    const std::filesystem::path full = platform::FsPath(platform::HostPath(windowsPath));
    const std::filesystem::path rel = full.lexically_relative(root);
    std::filesystem::path at = root;
    for (const auto &part : rel) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (why)
                *why = windowsPath + " leads outside its drive";
            return false;
        }
        at /= part;
        platform::EntryKind kind = platform::EntryKind::Other;
        const int err = platform::ExamineEntry(platform::PathUtf8(at), kind);
        if (err == ENOENT)
            return true; // the rest is created
        const bool last = platform::PathUtf8(at) == platform::PathUtf8(full);
        if (err != 0 || kind == platform::EntryKind::Link || (!last && kind != platform::EntryKind::Folder)) {
            if (why)
                *why = platform::PathUtf8(at) + (kind == platform::EntryKind::Link ? " is a symbolic link"
                                                                                     : " is not a folder");
            return false;
        }
    }
    return true;
}

int OpenDriveFile(const std::string &windowsPath, platform::FileAccess access, platform::FileCreation creation,
                  platform::HostFile &file)
{
    if (!DriveFileWritable(windowsPath))
        return ELOOP;
    return file.OpenNoFollow(platform::HostPath(windowsPath), access, creation);
}

} // namespace halcyon::langsel

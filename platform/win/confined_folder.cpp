// Windows: every component is opened with FILE_FLAG_OPEN_REPARSE_POINT, so a
// symbolic link or junction is seen (and removed) as itself, never entered.
// Folders being walked are held open without FILE_SHARE_DELETE: nobody can
// rename one away and put a link in its place meanwhile.
#include "platform/confined_folder.h"

#include <cerrno>
#include <filesystem>

#include "platform/fs_path.h"
#include "platform/win/windows_api.h"

#include "platform/win/errno_of.h"
#include "platform/win/unique_handle.h"
#include "platform/win/wide_text.h"

namespace halcyon::platform {

namespace {

int LastErrno() { return win::ErrnoOf(::GetLastError()); }

std::string Join(const std::string &folder, const std::string &name)
{
    if (folder.empty())
        return name;
    const char last = folder.back();
    return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

using Handle = win::UniqueHandle;

// The entry itself (a link is not followed), open for `access`; others may
// read and write it but not delete or rename it while it is held.
Handle OpenEntry(const std::string &hostPath, DWORD access)
{
    return Handle(::CreateFileW(win::FileApiPath(hostPath).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
}

int AttributesOf(HANDLE h, DWORD &attributes)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info))
        return LastErrno();
    attributes = info.dwFileAttributes;
    return 0;
}

int RemoveEntry(const std::string &hostPath, uint32_t *counter);

int EmptyOpenFolder(const std::string &hostPath, uint32_t *counter)
{
    std::vector<FolderEntry> entries;
    if (int rc = ListFolder(hostPath, entries))
        return rc;
    for (const FolderEntry &e : entries)
        if (int rc = RemoveEntry(Join(hostPath, e.name), counter))
            return rc;
    return 0;
}

// Opens the entry and reads its attributes: 0 (with `h` not open when the
// entry is gone), or errno.
int OpenWithAttributes(const std::string &hostPath, DWORD access, Handle &h, DWORD &attributes)
{
    Handle opened = OpenEntry(hostPath, access);
    if (!opened.ok()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : win::ErrnoOf(error);
    }
    h.Swap(opened);
    return AttributesOf(h.get(), attributes);
}

// Removes the entry through a handle on the entry itself: a link goes as a
// link. A folder is emptied while held open without delete access (the
// listing opens it too, and a handle with delete access would refuse
// that), then opened again to be removed. A read-only entry is made
// writable first (Windows refuses to delete it otherwise).
int RemoveEntry(const std::string &hostPath, uint32_t *counter)
{
    for (bool emptied = false;;) {
        const DWORD access = emptied ? DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES : FILE_READ_ATTRIBUTES;
        Handle h;
        DWORD attributes = 0;
        if (int rc = OpenWithAttributes(hostPath, access, h, attributes))
            return rc;
        if (!h.ok())
            return 0;
        const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (!emptied) {
            if (folder)
                if (int rc = EmptyOpenFolder(hostPath, counter))
                    return rc;
            emptied = true;
            continue;
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            FILE_BASIC_INFO basic{};
            constexpr DWORD kSettable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                        FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY;
            basic.FileAttributes = attributes & kSettable;
            if (basic.FileAttributes == 0)
                basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            if (!::SetFileInformationByHandle(h.get(), FileBasicInfo, &basic, sizeof basic))
                return LastErrno();
        }
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        if (!::SetFileInformationByHandle(h.get(), FileDispositionInfo, &disposition, sizeof disposition))
            return LastErrno();
        if (counter)
            ++*counter;
        return 0;
    }
}

} // namespace

int ExamineEntry(const std::string &hostPath, EntryKind &kind)
{
    const DWORD attributes = ::GetFileAttributesW(win::FileApiPath(hostPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LastErrno();
    kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::Link
           : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? EntryKind::Folder
           : (attributes & FILE_ATTRIBUTE_DEVICE)      ? EntryKind::Other
                                                       : EntryKind::File;
    return 0;
}

int CreateFoldersBelow(const std::string &root, const std::vector<std::string> &names)
{
    std::error_code ec;
    std::filesystem::create_directories(FsPath(root), ec); // the root is the caller's: it may be a link
    const DWORD rootAttributes = ::GetFileAttributesW(win::FileApiPath(root).c_str());
    if (rootAttributes == INVALID_FILE_ATTRIBUTES)
        return LastErrno();
    if (!(rootAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return ENOTDIR;
    std::vector<Handle> held; // every folder of the walk stays where it is
    std::string current = root;
    for (const std::string &name : names) {
        current = Join(current, name);
        if (!::CreateDirectoryW(win::FileApiPath(current).c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS)
            return LastErrno();
        Handle h = OpenEntry(current, FILE_READ_ATTRIBUTES);
        if (!h.ok())
            return LastErrno();
        DWORD attributes = 0;
        if (int rc = AttributesOf(h.get(), attributes))
            return rc;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return ELOOP;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return ENOTDIR;
        held.push_back(std::move(h));
    }
    return 0;
}

int RemoveEntryTree(const std::string &parent, const std::string &name, uint32_t *counter)
{
    return RemoveEntry(Join(parent, name), counter);
}

int EmptyFolderTree(const std::string &hostPath, uint32_t *counter)
{
    Handle h;
    DWORD attributes = 0;
    if (int rc = OpenWithAttributes(hostPath, FILE_READ_ATTRIBUTES, h, attributes))
        return rc;
    if (!h.ok())
        return 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ELOOP;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ENOTDIR;
    return EmptyOpenFolder(hostPath, counter);
}

} // namespace halcyon::platform

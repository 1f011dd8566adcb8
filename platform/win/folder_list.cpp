// Folder listing through FindFirstFileExW; reparse points (symbolic links,
// junctions) are reported as links and never entered.
#include "platform/folder_list.h"

#include <cerrno>

#include "platform/win/windows_api.h"

#include "platform/win/errno_of.h"
#include "platform/win/wide_text.h"

namespace halcyon::platform {

int ListFolder(const std::string &hostPath, std::vector<FolderEntry> &out)
{
    out.clear();
    if (hostPath.empty())
        return ENOENT;
    const DWORD attributes = ::GetFileAttributesW(win::FileApiPath(hostPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return win::ErrnoOf(::GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return ENOTDIR;
    std::string pattern = hostPath;
    if (pattern.back() != '\\' && pattern.back() != '/')
        pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileExW(win::FileApiPath(pattern).c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : win::ErrnoOf(error);
    }
    int error = 0;
    do {
        const std::wstring_view name(data.cFileName);
        if (name == L"." || name == L"..")
            continue;
        FolderEntry entry{win::Narrow(name), EntryKind::File};
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            entry.kind = EntryKind::Link;
        else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            entry.kind = EntryKind::Folder;
        else if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
            entry.kind = EntryKind::Other;
        out.push_back(std::move(entry));
    } while (::FindNextFileW(find, &data));
    if (::GetLastError() != ERROR_NO_MORE_FILES)
        error = win::ErrnoOf(::GetLastError());
    ::FindClose(find);
    if (error != 0)
        out.clear();
    return error;
}

} // namespace halcyon::platform

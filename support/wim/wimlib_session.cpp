#include "support/wim/wimlib_session.h"

#include <wimlib.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <mutex>

#include "platform/fs_path.h"
#include "platform/host_file.h"
#include "support/wim/wim_api.h"
#include "support/wim/wim_tchar.h"
#include "support/wim/wim_text.h"

namespace fs = std::filesystem;

namespace halcyon::support::wim {

void EnsureWimlibReady()
{
    static std::once_flag once;
    std::call_once(once, [] {
        wimlib_global_init(0);
        wimlib_set_print_errors(false);
    });
}

uint32_t MapWimlibError(int code, int sysErrno)
{
    // A full disk is a full disk whichever step of the library met it.
    if (code != WIMLIB_ERR_SUCCESS && sysErrno == ENOSPC)
        return WIM_ERROR_DISK_FULL;
    switch (code) {
    case WIMLIB_ERR_SUCCESS:
        return WIM_ERROR_SUCCESS;
    case WIMLIB_ERR_OPEN:
    case WIMLIB_ERR_OPENDIR:
    case WIMLIB_ERR_STAT:
        if (sysErrno == EACCES || sysErrno == EPERM)
            return WIM_ERROR_ACCESS_DENIED;
        return WIM_ERROR_FILE_NOT_FOUND;
    case WIMLIB_ERR_PATH_DOES_NOT_EXIST:
    case WIMLIB_ERR_RESOURCE_NOT_FOUND:
        return WIM_ERROR_FILE_NOT_FOUND;
    case WIMLIB_ERR_NOT_A_WIM_FILE:
    case WIMLIB_ERR_UNKNOWN_VERSION:
    case WIMLIB_ERR_INVALID_HEADER:
    case WIMLIB_ERR_IMAGE_COUNT:
    case WIMLIB_ERR_INVALID_PART_NUMBER:
    case WIMLIB_ERR_INVALID_CHUNK_SIZE:
    case WIMLIB_ERR_INVALID_COMPRESSION_TYPE:
    case WIMLIB_ERR_WIM_IS_ENCRYPTED:
        return WIM_ERROR_BAD_FORMAT;
    case WIMLIB_ERR_DECOMPRESSION:
    case WIMLIB_ERR_INTEGRITY:
    case WIMLIB_ERR_INVALID_INTEGRITY_TABLE:
    case WIMLIB_ERR_INVALID_LOOKUP_TABLE_ENTRY:
    case WIMLIB_ERR_INVALID_METADATA_RESOURCE:
    case WIMLIB_ERR_INVALID_RESOURCE_HASH:
    case WIMLIB_ERR_METADATA_NOT_FOUND:
    case WIMLIB_ERR_XML:
    case WIMLIB_ERR_SPLIT_INVALID:
    case WIMLIB_ERR_WIM_IS_INCOMPLETE:
    case WIMLIB_ERR_INVALID_REPARSE_DATA:
        return WIM_ERROR_INVALID_DATA;
    case WIMLIB_ERR_READ:
    case WIMLIB_ERR_UNEXPECTED_END_OF_FILE:
        return WIM_ERROR_READ_FAULT;
    case WIMLIB_ERR_WRITE:
    case WIMLIB_ERR_MKDIR:
    case WIMLIB_ERR_LINK:
    case WIMLIB_ERR_MKNOD:
    case WIMLIB_ERR_SET_ATTRIBUTES:
    case WIMLIB_ERR_SET_TIMESTAMPS:
    case WIMLIB_ERR_SET_SECURITY:
    case WIMLIB_ERR_SET_XATTR:
    case WIMLIB_ERR_SET_REPARSE_DATA:
        if (sysErrno == ENOSPC)
            return WIM_ERROR_DISK_FULL;
        if (sysErrno == EACCES || sysErrno == EPERM || sysErrno == EROFS)
            return WIM_ERROR_ACCESS_DENIED;
        return WIM_ERROR_WRITE_FAULT;
    case WIMLIB_ERR_NOMEM:
        return WIM_ERROR_NOT_ENOUGH_MEMORY;
    case WIMLIB_ERR_INVALID_IMAGE:
        return WIM_ERROR_INVALID_INDEX;
    case WIMLIB_ERR_INVALID_PARAM:
        return WIM_ERROR_INVALID_PARAMETER;
    case WIMLIB_ERR_ABORTED_BY_PROGRESS:
        return WIM_ERROR_REQUEST_ABORTED;
    case WIMLIB_ERR_UNSUPPORTED:
    case WIMLIB_ERR_FUSE:
    case WIMLIB_ERR_IS_SPLIT_WIM:
        return WIM_ERROR_NOT_SUPPORTED;
    case WIMLIB_ERR_INSUFFICIENT_PRIVILEGES:
    case WIMLIB_ERR_NOT_PERMITTED_TO_UNMOUNT:
    case WIMLIB_ERR_WIM_IS_READONLY:
        return WIM_ERROR_ACCESS_DENIED;
    default:
        return WIM_ERROR_GEN_FAILURE;
    }
}

std::string WimlibErrorText(int code)
{
    const wimlib_tchar *text = wimlib_get_error_string(static_cast<enum wimlib_error_code>(code));
    return text ? FromWimText(text) : "error " + std::to_string(code);
}

int ReadWimXml(WIMStruct *wim, std::string &xml)
{
    void *buffer = nullptr;
    size_t size = 0;
    const int ret = wimlib_get_xml_data(wim, &buffer, &size);
    if (ret != 0)
        return ret;
    std::string_view bytes(static_cast<const char *>(buffer), size);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        bytes.remove_prefix(2);
    xml = Utf16LeToUtf8(bytes);
    free(buffer);
    return 0;
}

std::string ImageElement(const std::string &xml, uint32_t index)
{
    const std::string open = "<IMAGE INDEX=\"" + std::to_string(index) + "\"";
    size_t start = xml.find(open);
    while (start != std::string::npos) {
        const char next = start + open.size() < xml.size() ? xml[start + open.size()] : '\0';
        if (next == '>' || next == ' ' || next == '/')
            break;
        start = xml.find(open, start + 1);
    }
    if (start == std::string::npos)
        return {};
    const std::string close = "</IMAGE>";
    const size_t end = xml.find(close, start);
    if (end == std::string::npos)
        return {};
    return xml.substr(start, end + close.size() - start);
}

namespace {

constexpr int kFoundUnixData = 0x7FFF0001;

int OnDirEntry(const struct wimlib_dir_entry *entry, void *context)
{
    (void)context;
    return entry->unix_mode != 0 ? kFoundUnixData : 0;
}

constexpr int kFoundLink = 0x7FFF0002;

// What the link check looks for: an entry of the image that already stands
// in the target folder as a symbolic link (a reparse point on Windows).
struct LinkSearch {
    std::string hostFolder;
    std::string found; // host path of the first link met
};

int OnEntryCheckLink(const struct wimlib_dir_entry *entry, void *context)
{
    auto *search = static_cast<LinkSearch *>(context);
    const std::string inImage = FromWimText(entry->full_path);
    if (inImage.empty() || inImage == "/" || inImage == "\\")
        return 0; // the root is the folder the caller named
    if (entry->attributes & WIMLIB_FILE_ATTRIBUTE_REPARSE_POINT)
        return 0; // a link of the image itself: put in place as a link
    const std::string host = platform::PathUtf8(platform::FsPath(search->hostFolder) /
                                                platform::FsPath(inImage).relative_path());
    const auto status = platform::LinkStatHostPath(host);
    if (!status || !status->link)
        return 0;
    search->found = host;
    return kFoundLink;
}

struct ApplyProgress {
    const std::vector<std::pair<WimMessageCallback, void *>> *callbacks = nullptr;
    std::chrono::steady_clock::time_point start;
    int lastPercent = -1;
    bool rangeSent = false;
    bool aborted = false;

    void Send(uint32_t message, uintptr_t wparam, intptr_t lparam)
    {
        for (const auto &cb : *callbacks) {
            if (cb.first(message, wparam, lparam, cb.second) == WIM_MSG_ABORT_IMAGE)
                aborted = true;
        }
    }
    // Progress only moves forward.
    void Progress(int percent, intptr_t msLeft)
    {
        if (percent <= lastPercent)
            return;
        lastPercent = percent;
        Send(WIM_MSG_PROGRESS, static_cast<uintptr_t>(percent), msLeft);
    }
};

enum wimlib_progress_status OnProgress(enum wimlib_progress_msg msg, union wimlib_progress_info *info, void *context)
{
    auto *p = static_cast<ApplyProgress *>(context);
    switch (msg) {
    case WIMLIB_PROGRESS_MSG_EXTRACT_IMAGE_BEGIN:
        p->Progress(0, 0);
        break;
    case WIMLIB_PROGRESS_MSG_EXTRACT_FILE_STRUCTURE:
    case WIMLIB_PROGRESS_MSG_EXTRACT_METADATA:
        if (!p->rangeSent) {
            p->rangeSent = true;
            p->Send(WIM_MSG_SETRANGE, 0, static_cast<intptr_t>(info->extract.end_file_count));
        }
        p->Send(WIM_MSG_SETPOS, 0, static_cast<intptr_t>(info->extract.current_file_count));
        break;
    case WIMLIB_PROGRESS_MSG_EXTRACT_STREAMS: {
        const uint64_t total = info->extract.total_bytes;
        const uint64_t done = info->extract.completed_bytes;
        const int percent = total == 0 ? 100 : static_cast<int>(done >= total ? 100 : done * 100 / total);
        intptr_t msLeft = 0;
        if (done > 0 && done < total) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - p->start)
                                     .count();
            const long double estimate =
                static_cast<long double>(elapsed) * static_cast<long double>(total - done) / static_cast<long double>(done);
            msLeft = static_cast<intptr_t>(estimate);
        }
        p->Progress(percent, msLeft);
        break;
    }
    case WIMLIB_PROGRESS_MSG_EXTRACT_IMAGE_END:
        p->Progress(100, 0);
        break;
    default:
        break;
    }
    return p->aborted ? WIMLIB_PROGRESS_STATUS_ABORT : WIMLIB_PROGRESS_STATUS_CONTINUE;
}

} // namespace

int ImageHasUnixData(WIMStruct *wim, int image, bool &unixData)
{
    unixData = false;
    const int ret = wimlib_iterate_dir_tree(wim, image, WIMLIB_WIM_ROOT_PATH, WIMLIB_ITERATE_DIR_TREE_FLAG_RECURSIVE,
                                            OnDirEntry, nullptr);
    if (ret == kFoundUnixData) {
        unixData = true;
        return 0;
    }
    return ret;
}

bool ExtractImage(WIMStruct *wim, uint32_t index, bool unixData, const std::string &hostFolder,
                  const std::vector<std::pair<WimMessageCallback, void *>> &callbacks, uint32_t &error,
                  std::string &text)
{
    std::error_code ec;
    if (!fs::is_directory(platform::FsPath(hostFolder), ec)) {
        fs::create_directories(platform::FsPath(hostFolder), ec);
        if (ec) {
            error = (ec == std::errc::permission_denied) ? WIM_ERROR_ACCESS_DENIED : WIM_ERROR_PATH_NOT_FOUND;
            text = "cannot create " + hostFolder + ": " + ec.message();
            return false;
        }
    }
    // An earlier image or run may have left a link where this image puts a
    // folder or a file: extracting would write through it, outside the
    // folder. Nothing is extracted then.
    LinkSearch search{hostFolder, {}};
    if (wimlib_iterate_dir_tree(wim, static_cast<int>(index), WIMLIB_WIM_ROOT_PATH,
                                WIMLIB_ITERATE_DIR_TREE_FLAG_RECURSIVE, OnEntryCheckLink, &search) == kFoundLink) {
        error = WIM_ERROR_STOPPED_ON_SYMLINK;
        text = "cannot apply image " + std::to_string(index) + " to " + hostFolder + ": " + search.found +
               " is a symbolic link; nothing is written through it";
        return false;
    }
    ApplyProgress progress;
    progress.callbacks = &callbacks;
    progress.start = std::chrono::steady_clock::now();
    wimlib_register_progress_function(wim, OnProgress, &progress);
    errno = 0;
    const int ret = wimlib_extract_image(wim, static_cast<int>(index), ToWimText(hostFolder).c_str(),
                                         unixData ? WIMLIB_EXTRACT_FLAG_UNIX_DATA : 0);
    const int savedErrno = errno;
    wimlib_register_progress_function(wim, nullptr, nullptr);
    if (ret != 0) {
        error = MapWimlibError(ret, savedErrno);
        text = "cannot apply image " + std::to_string(index) + " to " + hostFolder + ": wimlib: " + WimlibErrorText(ret);
        progress.Send(WIM_MSG_ERROR, reinterpret_cast<uintptr_t>(hostFolder.c_str()), static_cast<intptr_t>(error));
        return false;
    }
    return true;
}

} // namespace halcyon::support::wim

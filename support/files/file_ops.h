// File operations of the support library. Paths are Windows or host path
// text; each is mapped to the host when touched.
//
// Copies never follow a symbolic link found inside the tree they copy: a
// link is copied as a link (the same target text), and a link met in the
// destination where a file, folder or link goes is replaced, never written
// through. The roots handed in are taken as given; callers that join
// untrusted relative paths below a root check those paths themselves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "halcyon/HalcyonDLL.h"
#include "platform/host_file_rw.h"

namespace halcyon::support {

bool FileExist(std::string_view path);
bool DirExist(std::string_view path);
// True when the folder exists afterwards (created with its parents).
bool RecursiveFolderCreate(std::string_view path);

// Result of RecursiveFolderCopy when the destination ran out of space.
constexpr int32_t kCopyDiskFull = -84;

// Copies the folder's contents (files, subfolders, links as links, file
// modes) into `dest`, creating it, and makes the copy durable (on disk)
// before returning 0. kCopyDiskFull (-84) when the destination is full;
// otherwise the errno of the first failure as a positive number. Special
// files (pipes, devices, sockets) are refused (EINVAL). `copyArg` is handed
// through by the verbs and not interpreted.
int32_t RecursiveFolderCopy(std::string_view source, std::string_view dest, uint64_t copyArg);

// RecursiveFolderCopy without the flush, for a caller that copies several
// folders and makes them durable at once (SyncFileSystem) before it reports
// success.
int32_t RecursiveFolderCopyUnflushed(std::string_view source, std::string_view dest);

// Removes the folder and everything below it; `counter` (when given) receives
// the number of entries removed.
void DeleteTree(const std::string &path, uint32_t *counter);

// Stream copies from removable media. `callback` (may be null) receives
// WIM_MSG_PROGRESS with the percentage of `total` in wparam and the copied
// byte count in lparam, when the percentage moves or every few MiB, and once
// at the end of the call; `copied` advances by each byte written. `retries`
// is the number of further attempts on a read error. 0 on success, else
// errno. These copies are not flushed: the caller makes the whole set
// durable once (SyncFileSystem, SyncFile) before it reports success.
int32_t CopyFileByStreamFromCDROM(std::string_view source, std::string_view dest, WimMessageCallback callback,
                                  void *context, uint64_t *copied, uint64_t total, int retries);
int32_t CopyFileByStreamFromUFD(std::string_view source, std::string_view dest, WimMessageCallback callback,
                                void *context, uint64_t *copied, uint64_t total, int retries);
// Copies the files of `source` matching `mask` ("*.*", "*.app") and, for
// "*.*", its subfolders.
int32_t CopyFolderByStreamFromCDROM(std::string_view source, std::string_view dest, std::string_view mask,
                                    WimMessageCallback callback, void *context, uint64_t *copied, uint64_t total,
                                    int retries);
int32_t CopyFolderByStreamFromUFD(std::string_view source, std::string_view dest, std::string_view mask,
                                  WimMessageCallback callback, void *context, uint64_t *copied, uint64_t total,
                                  int retries);

// The system error a log line gives for a copy's errno, numbered as the
// logs have always numbered it (Windows error codes): 112 for a full disk
// (ENOSPC, EDQUOT, kCopyDiskFull), 2 file not found, 3 path not found, 5
// access denied, 183 already exists; other values as they are.
int32_t CopyErrorCode(int32_t err);

// The host path of the file the last failed copy call of this thread was
// writing (or, failing before any file, its destination); empty after a
// call that succeeded. For the line that names what could not be written.
std::string LastCopyFailurePath();

// Copies the rest of `in` to `out` from their current offsets: in-kernel
// where the file systems allow it, else through one large reused buffer.
// `advanced` (may be null) is called with each piece's byte count (pieces
// of several MiB). `hostOut` names `out` for the observer's write faults.
// 0, or an errno value.
int CopyFileData(platform::HostFile &in, platform::HostFile &out, const std::string &hostOut,
                 void (*advanced)(uint64_t bytes, void *context), void *context, int retries = 0);

// ---- Durability ----
// What a flush made durable: a file's data, a folder's entries (files
// created in, renamed into or removed from it), or a whole file system.
enum class FlushKind { FileData, Folder, FileSystem };

// Watches the file layer; tests install one to record which files were made
// durable, or to make writes fail.
class FileLayerObserver {
public:
    virtual ~FileLayerObserver() = default;
    // Called after a successful flush of `hostPath`.
    virtual void Flushed(FlushKind kind, const std::string &hostPath)
    {
        (void)kind;
        (void)hostPath;
    }
    // A non-zero errno makes the copy into `hostPath` fail with it.
    virtual int WriteFault(const std::string &hostPath)
    {
        (void)hostPath;
        return 0;
    }
};

// Installs `observer` (null: none) for the whole process; returns the one
// installed before.
FileLayerObserver *SetFileLayerObserver(FileLayerObserver *observer);

// Flushes the data of an open file (`hostPath` names it for the observer).
// File systems that cannot flush (EINVAL, EROFS) count as flushed. 0 or errno.
int FlushFileData(platform::HostFile &file, const std::string &hostPath);
// Opens `path` and flushes its data. 0 or errno.
int SyncFile(std::string_view path);
// fsync of the folder: the entries created, renamed or removed in it are on
// disk afterwards. 0 or errno.
int SyncFolder(std::string_view path);
// fsync of the folder that holds `path`.
int SyncParentFolder(std::string_view path);
// Flushes the file system holding `path`: everything written there is on
// disk afterwards. Cheaper than a flush per file for a tree of many files
// where the host flushes whole file systems (Linux); on Windows, where that
// needs rights the engine may lack, every file below `path` is flushed
// instead (see platform/file_tree.h).
int SyncFileSystem(std::string_view path);

} // namespace halcyon::support

// File operations of the support library. Paths are Windows or host path
// text; each is mapped to the host when touched.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "halcyon/HalcyonDLL.h"

namespace halcyon::support {

bool FileExist(std::string_view path);
bool DirExist(std::string_view path);
// True when the folder exists afterwards (created with its parents).
bool RecursiveFolderCreate(std::string_view path);

// Result of RecursiveFolderCopy when the destination ran out of space.
constexpr int32_t kCopyDiskFull = -84;

// Copies the folder's contents (files, subfolders, file modes) into `dest`,
// creating it. 0 on success; kCopyDiskFull (-84) when the destination is
// full; otherwise the errno of the first failure as a positive number.
// `copyArg` is handed through by the verbs and not interpreted.
int32_t RecursiveFolderCopy(std::string_view source, std::string_view dest, uint64_t copyArg);

// Removes the folder and everything below it; `counter` (when given) receives
// the number of entries removed.
void DeleteTree(const std::string &path, uint32_t *counter);

// Stream copies from removable media. `callback` (may be null) receives
// WIM_MSG_PROGRESS with the percentage of `total` in wparam and the copied
// byte count in lparam; `copied` advances by each byte written. `retries` is
// the number of further attempts on a read error. 0 on success, else errno.
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

} // namespace halcyon::support

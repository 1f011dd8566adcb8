// A file read once from its start to its end, with the host told so (read
// ahead, drop behind): the fast path of the folder checks over large trees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/non_copyable.h"

namespace halcyon::platform {

class SequentialFile : NonCopyable {
public:
    SequentialFile() = default;
    ~SequentialFile();

    // Opens a regular file for reading (links followed). 0 or errno (EISDIR
    // for a folder, EINVAL for other non-regular files). `size` (when given)
    // receives the file's length at the open.
    int Open(const std::string &hostPath, uint64_t *size = nullptr);
    // The file's length at the time of the call. 0 or errno.
    int Size(uint64_t *size) const;
    // Up to `count` bytes at the current position; `got` is 0 at the end.
    int Read(void *buffer, size_t count, size_t *got);

private:
    static constexpr intptr_t kNoHandle = -1;
    intptr_t handle_ = kNoHandle;
    // The folder of the file opened last (where the host opens by folder
    // handle and name): the next file of the same folder is opened from it
    // without walking the whole path again.
    intptr_t folder_ = kNoHandle;
    std::string folderPath_;
};

} // namespace halcyon::platform

// A file opened by host path for reading and writing: the one place that
// creates, writes, sizes, flushes and locks files for the engine. Every call
// answers 0 or an errno value (Windows errors are mapped to the nearest one:
// ENOENT, EACCES, EEXIST, ENOSPC, EAGAIN for a range another handle locked,
// EISDIR for a folder, ...). Handles are not inherited by child processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/non_copyable.h"

namespace halcyon::platform {

// Append: every Write goes to the end of the file in one step, also when
// other handles or processes append to it at the same time.
enum class FileAccess { Read, Write, ReadWrite, Append };
enum class FileCreation {
    OpenExisting,     // fails with ENOENT when absent
    OpenOrCreate,     // keeps the contents
    CreateOrTruncate, // empties an existing file
    CreateNew,        // fails with EEXIST when present
};
enum class SeekFrom { Begin, Current, End };

class HostFile : NonCopyable {
public:
    HostFile() = default;
    ~HostFile();
    HostFile(HostFile &&other) noexcept;
    HostFile &operator=(HostFile &&other) noexcept;

    // Opens a regular file (a folder answers EISDIR); closes what was open.
    int Open(const std::string &hostPath, FileAccess access, FileCreation creation);
    // Open, but a symbolic link (a reparse point on Windows) at the path
    // itself is refused with ELOOP instead of followed. The folders on the
    // way are followed: callers check them (support/files/confined_path.h).
    int OpenNoFollow(const std::string &hostPath, FileAccess access, FileCreation creation);
    bool IsOpen() const { return handle_ != kNoHandle; }
    // Closes and reports a failure of the close itself (a late write error).
    int Close();

    // At the current position; `got` is 0 at the end of the file.
    int Read(void *buffer, size_t count, size_t *got);
    // All of `count` at the current position (ENOSPC when the disk is full).
    int Write(const void *buffer, size_t count);
    // At an offset, leaving the current position alone (where the host can).
    int ReadAt(uint64_t offset, void *buffer, size_t count, size_t *got);
    int WriteAt(uint64_t offset, const void *buffer, size_t count);
    int Seek(int64_t offset, SeekFrom from, uint64_t *position);
    int Size(uint64_t *size) const;
    // Sets the length (the current position moves to `size`).
    int SetSize(uint64_t size);
    // The file's data is on disk afterwards. File systems that cannot flush
    // (read-only media, pipes) count as flushed.
    int Flush();
    // Locks a byte range of this open file, shared or exclusive, without
    // waiting (EAGAIN when another handle holds it), or unlocks it. Locks
    // belong to this handle: two handles in one process exclude each other.
    int LockRange(uint64_t position, uint64_t count, bool exclusive);
    int UnlockRange(uint64_t position, uint64_t count);
    // Whether another open file holds an exclusive lock on the range, asked
    // without taking it. ENOSYS where the host cannot ask without locking.
    int RangeLockedElsewhere(uint64_t position, uint64_t count, bool *held) const;

    // The descriptor (Linux) or HANDLE (Windows), for the file layer's copies.
    intptr_t Native() const { return handle_; }

private:
    int OpenAs(const std::string &hostPath, FileAccess access, FileCreation creation, bool followLink);
    static constexpr intptr_t kNoHandle = -1;
    intptr_t handle_ = kNoHandle;
};

// Renames `from` to `to`, replacing `to` in one step (a reader sees the old
// or the new file, never none), and makes the rename durable when `durable`.
int ReplaceHostFile(const std::string &fromHostPath, const std::string &toHostPath, bool durable);
// Removes a file (not a folder); 0 also when it was absent.
int RemoveHostFile(const std::string &hostPath);
// The entries of the folder (files created, renamed or removed in it) are on
// disk afterwards; hosts and file systems that cannot count as flushed.
int FlushHostFolder(const std::string &hostPath);
// This process's id, for names of temporary files.
uint32_t CurrentProcessId();

} // namespace halcyon::platform

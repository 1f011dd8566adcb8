// Reading files by host path, the one place that opens them for the version
// probes: their status, random-access reads, text reads and local time.
// Host paths are what HostPath() returns (UTF-8).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "platform/non_copyable.h"

namespace halcyon::platform {

struct HostFileStatus {
    bool regular = false;
    bool directory = false;
    uint64_t size = 0;
    std::time_t modified = 0; // last write, seconds since 1970 (UTC)
    bool link = false;        // a symbolic link (reparse point); only from LinkStatHostPath
};

// Status of the file or folder (links followed); nothing when absent.
std::optional<HostFileStatus> StatHostPath(const std::string &hostPath);
// Status of the path itself: a symbolic link (a reparse point on Windows) is
// reported as a link, not followed.
std::optional<HostFileStatus> LinkStatHostPath(const std::string &hostPath);

// A regular file opened for reading, not inherited by child processes.
class ReadOnlyFile : NonCopyable {
public:
    explicit ReadOnlyFile(const std::string &hostPath);
    ~ReadOnlyFile();
    // False when the path cannot be opened or is not a regular file.
    bool ok() const { return handle_ != kNoHandle; }
    uint64_t Size() const { return size_; }
    // Reads exactly `n` bytes at `offset`; false when they are not all there.
    bool ReadAt(uint64_t offset, void *out, size_t n) const;

private:
    static constexpr intptr_t kNoHandle = -1;
    intptr_t handle_ = kNoHandle; // a descriptor or a HANDLE
    uint64_t size_ = 0;
};

// fopen() of a host path in binary read mode, not inherited by child
// processes; null on failure.
std::FILE *OpenHostFileForRead(const std::string &hostPath);

// The next byte of a stream that only this thread reads; EOF at the end.
inline int ReadByteUnlocked(std::FILE *file)
{
#if defined(_WIN32)
    return _getc_nolock(file);
#else
    return getc_unlocked(file);
#endif
}

// The local civil time of `when`; false when it cannot be represented.
bool LocalCivilTime(std::time_t when, std::tm *out);

// Unicode letter or digit classification of the host for characters above
// U+007F (true when the host cannot classify).
bool IsUnicodeLetterOrDigit(char32_t c);

} // namespace halcyon::platform

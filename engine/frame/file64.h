// CFile64: a file with 64-bit positions, lengths and locked ranges, so that
// files larger than 4 GiB are handled without truncation. Failures raise
// CFileException, which callers in the engine catch: it never leaves an
// exported verb.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "platform/host_file_rw.h"

namespace halcyon::frame {

class CFileException : public std::exception {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    CFileException(Cause cause, int osError, std::string fileName);
    const char *what() const noexcept override { return text_.c_str(); }

    // Raises the exception for an operating-system error (errno) on a file.
    [[noreturn]] static void ThrowOsError(int osError, const std::string &fileName);
    static Cause OsErrorToCause(int osError);

    Cause m_cause;
    int m_lOsError;
    std::string m_strFileName;

private:
    std::string text_;
};

class CFile64 {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040, // sharing modes are accepted; Linux does not enforce them
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile64() = default;
    // Opens or throws.
    CFile64(const std::string &path, unsigned openFlags);
    virtual ~CFile64();
    CFile64(const CFile64 &) = delete;
    CFile64 &operator=(const CFile64 &) = delete;

    // Opens `path` (Windows path text or host path). False, with `error`
    // filled when given, instead of throwing.
    bool Open(const std::string &path, unsigned openFlags, CFileException *error = nullptr);
    // Closes; throws when the close reports an error.
    virtual void Close();
    // Closes without ever throwing.
    void Abort();
    bool IsOpen() const { return file_.IsOpen(); }
    // The descriptor (Linux) or HANDLE (Windows).
    intptr_t Handle() const { return file_.Native(); }

    // Reads up to `count` bytes; fewer only at the end of the file.
    uint64_t Read(void *buffer, uint64_t count);
    void Write(const void *buffer, uint64_t count);
    void Flush();

    // Moves the file pointer; returns the new position.
    virtual uint64_t Seek(int64_t offset, unsigned from);
    void SeekToBegin() { Seek(0, begin); }
    uint64_t SeekToEnd() { return Seek(0, end); }
    uint64_t GetPosition() const;
    uint64_t GetLength() const;
    // Seeks to `length` from the beginning and ends the file there.
    virtual void SetLength(uint64_t length);

    // Locks (exclusively where the file is writable) or unlocks a byte
    // range; a conflicting lock fails at once with lockViolation.
    virtual void LockRange(uint64_t position, uint64_t count);
    virtual void UnlockRange(uint64_t position, uint64_t count);

    // The stored file name; a null path is an invalid-argument error.
    virtual void SetFilePath(const char *path);
    const std::string &GetFilePath() const { return path_; }

private:
    void ThrowIfClosed() const;

    platform::HostFile file_;
    unsigned flags_ = 0;
    std::string path_;
};

} // namespace halcyon::frame

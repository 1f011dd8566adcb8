#include "platform/host_file.h"

#include <cerrno>
#include <clocale>
#include <cwctype>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyon::platform {

namespace {

std::optional<HostFileStatus> StatusOf(const std::string &hostPath, bool follow)
{
    struct stat st{};
    if (hostPath.empty() || (follow ? ::stat(hostPath.c_str(), &st) : ::lstat(hostPath.c_str(), &st)) != 0)
        return std::nullopt;
    HostFileStatus s;
    s.regular = S_ISREG(st.st_mode);
    s.directory = S_ISDIR(st.st_mode);
    s.link = S_ISLNK(st.st_mode);
    s.size = static_cast<uint64_t>(st.st_size);
    s.modified = st.st_mtime;
    return s;
}

} // namespace

std::optional<HostFileStatus> StatHostPath(const std::string &hostPath) { return StatusOf(hostPath, true); }

std::optional<HostFileStatus> LinkStatHostPath(const std::string &hostPath) { return StatusOf(hostPath, false); }

ReadOnlyFile::ReadOnlyFile(const std::string &hostPath)
{
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    handle_ = fd;
    size_ = static_cast<uint64_t>(st.st_size);
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (handle_ != kNoHandle)
        ::close(static_cast<int>(handle_));
}

bool ReadOnlyFile::ReadAt(uint64_t offset, void *out, size_t n) const
{
    if (handle_ == kNoHandle || offset > size_ || n > size_ - offset)
        return false;
    auto *p = static_cast<uint8_t *>(out);
    while (n > 0) {
        ssize_t got = ::pread(static_cast<int>(handle_), p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

std::FILE *OpenHostFileForRead(const std::string &hostPath) { return std::fopen(hostPath.c_str(), "rbe"); }

bool LocalCivilTime(std::time_t when, std::tm *out) { return localtime_r(&when, out) != nullptr; }

namespace {

// The Unicode classification of the C.UTF-8 locale, made once.
locale_t Utf8Locale()
{
    static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return loc;
}

} // namespace

bool IsUnicodeLetterOrDigit(char32_t c)
{
    if (locale_t loc = Utf8Locale())
        return iswalnum_l(static_cast<wint_t>(c), loc) != 0;
    return true;
}

} // namespace halcyon::platform

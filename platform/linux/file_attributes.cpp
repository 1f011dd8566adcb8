#include "platform/file_attributes.h"

#include <cerrno>
#include <charconv>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "platform/path_map.h"

namespace halcyon::platform {

namespace {

constexpr uint32_t kDerivedBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL;

// The stored bits; 0 when the attribute is absent or unreadable.
uint32_t StoredBits(const std::string &host)
{
    char buf[16];
    ssize_t n = ::getxattr(host.c_str(), kAttributesXattr, buf, sizeof buf);
    if (n <= 0)
        return 0;
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(buf, buf + n, value);
    if (ec != std::errc() || end != buf + n)
        return 0;
    return value & ~kDerivedBits;
}

} // namespace

uint32_t GetFileAttributes(std::string_view path)
{
    const std::string host = HostPath(path);
    struct stat st;
    if (::stat(host.c_str(), &st) != 0)
        return INVALID_FILE_ATTRIBUTES;
    uint32_t attributes = StoredBits(host);
    if (S_ISDIR(st.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

bool SetFileAttributes(std::string_view path, uint32_t attributes)
{
    const std::string host = HostPath(path);
    struct stat st;
    if (::stat(host.c_str(), &st) != 0)
        return false;

    mode_t mode = st.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && ::chmod(host.c_str(), mode) != 0)
        return false;

    const uint32_t stored = attributes & ~kDerivedBits;
    if (stored == 0) {
        if (::removexattr(host.c_str(), kAttributesXattr) != 0 && errno != ENODATA && errno != ENOTSUP)
            return false;
        return true;
    }
    const std::string text = std::to_string(stored);
    return ::setxattr(host.c_str(), kAttributesXattr, text.data(), text.size(), 0) == 0;
}

} // namespace halcyon::platform

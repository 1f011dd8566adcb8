// Reads and sizes through a file descriptor, shared by the Linux file classes.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace halcyon::platform {

// Up to `count` bytes at the descriptor's position (retried when a signal
// interrupts it); `got` is 0 at the end. 0 or errno.
inline int ReadDescriptor(int fd, void *buffer, size_t count, size_t *got)
{
    *got = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, count);
        if (n >= 0) {
            *got = static_cast<size_t>(n);
            return 0;
        }
        if (errno != EINTR)
            return errno;
    }
}

// The length of the open file. 0 or errno.
inline int DescriptorSize(int fd, uint64_t *size)
{
    struct stat st{};
    if (::fstat(fd, &st) != 0)
        return errno;
    *size = static_cast<uint64_t>(st.st_size);
    return 0;
}

} // namespace halcyon::platform

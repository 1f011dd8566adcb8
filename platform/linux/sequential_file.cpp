// Linux: open + posix_fadvise(SEQUENTIAL), plain read().
#include "platform/sequential_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "descriptor_io.h"

namespace halcyon::platform {

SequentialFile::~SequentialFile()
{
    if (handle_ != kNoHandle)
        ::close(static_cast<int>(handle_));
}

int SequentialFile::Open(const std::string &hostPath, uint64_t *size)
{
    if (handle_ != kNoHandle)
        ::close(static_cast<int>(handle_));
    handle_ = kNoHandle;
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return err;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    handle_ = fd;
    if (size)
        *size = static_cast<uint64_t>(st.st_size);
    return 0;
}

int SequentialFile::Size(uint64_t *size) const { return DescriptorSize(static_cast<int>(handle_), size); }

int SequentialFile::Read(void *buffer, size_t count, size_t *got)
{
    return ReadDescriptor(static_cast<int>(handle_), buffer, count, got);
}

} // namespace halcyon::platform

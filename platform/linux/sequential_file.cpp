// Linux: open + fstat, posix_fadvise(SEQUENTIAL) for large files, plain
// read().
#include "platform/sequential_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "descriptor_io.h"

namespace halcyon::platform {

namespace {

// Smaller files are read in a few requests, each of which reads ahead by
// itself: the hint would only cost a call per file.
constexpr off_t kAdviseFrom = off_t{1} << 20;

} // namespace

SequentialFile::~SequentialFile()
{
    if (handle_ != kNoHandle)
        ::close(static_cast<int>(handle_));
    if (folder_ != kNoHandle)
        ::close(static_cast<int>(folder_));
}

int SequentialFile::Open(const std::string &hostPath, uint64_t *size)
{
    if (handle_ != kNoHandle)
        ::close(static_cast<int>(handle_));
    handle_ = kNoHandle;
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    const size_t slash = hostPath.rfind('/');
    int fd = -1;
    if (slash == std::string::npos || slash + 1 == hostPath.size()) {
        fd = ::open(hostPath.c_str(), kFlags);
    } else {
        const std::string_view folder(hostPath.data(), slash == 0 ? 1 : slash);
        if (folder_ == kNoHandle || folder != folderPath_) {
            if (folder_ != kNoHandle)
                ::close(static_cast<int>(folder_));
            folderPath_.assign(folder);
            folder_ = ::open(folderPath_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        }
        fd = folder_ != kNoHandle ? ::openat(static_cast<int>(folder_), hostPath.c_str() + slash + 1, kFlags)
                                  : ::open(hostPath.c_str(), kFlags);
    }
    if (fd < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return err;
    }
    if (st.st_size >= kAdviseFrom)
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

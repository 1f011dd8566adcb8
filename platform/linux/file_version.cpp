#include "platform/file_version.h"

#include <sys/stat.h>

namespace halcyon::platform {

std::optional<FileVersion> FileVersionOf(const std::string &hostPath)
{
    struct stat st{};
    if (::stat(hostPath.c_str(), &st) != 0)
        return std::nullopt;
    FileVersion v;
    v.regular = S_ISREG(st.st_mode);
    v.size = static_cast<uint64_t>(st.st_size);
    v.writeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    v.changeNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    v.identity = static_cast<uint64_t>(st.st_ino);
    v.device = static_cast<uint64_t>(st.st_dev);
    return v;
}

} // namespace halcyon::platform

#include "platform/file_identity.h"

#include <sys/stat.h>

namespace halcyon::platform {

std::optional<FileIdentity> IdentifyFile(const std::string &hostPath)
{
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0)
        return std::nullopt;
    FileIdentity id;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.file = static_cast<uint64_t>(st.st_ino);
    id.writtenNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return id;
}

} // namespace halcyon::platform

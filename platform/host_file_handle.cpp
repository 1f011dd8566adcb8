// The ownership of a HostFile's handle and its two ways to open; the open
// itself, the close and the I/O are the host's (linux/, win/ host_file_rw.cpp).
#include "platform/host_file_rw.h"

#include <utility>

namespace halcyon::platform {

HostFile::~HostFile() { Close(); }

HostFile::HostFile(HostFile &&other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}

HostFile &HostFile::operator=(HostFile &&other) noexcept
{
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kNoHandle);
    }
    return *this;
}

int HostFile::Open(const std::string &hostPath, FileAccess access, FileCreation creation)
{
    return OpenAs(hostPath, access, creation, true);
}

int HostFile::OpenNoFollow(const std::string &hostPath, FileAccess access, FileCreation creation)
{
    return OpenAs(hostPath, access, creation, false);
}

} // namespace halcyon::platform

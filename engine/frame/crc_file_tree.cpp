#include "engine/frame/crc_file_tree.h"

#include <cerrno>

#include "platform/host_file.h"
#include "platform/path_map.h"

namespace halcyon::frame {

std::string HostCrcFileTree::HostPath(const std::string &path) { return platform::HostPath(path); }

int HostCrcFileTree::List(const std::string &hostFolder, std::vector<platform::FolderEntry> &out)
{
    return platform::ListFolder(hostFolder, out);
}

int HostCrcFileTree::Stat(const std::string &hostPath, bool *folder)
{
    const auto status = platform::StatHostPath(hostPath);
    if (!status)
        return ENOENT;
    *folder = status->directory;
    return 0;
}

int HostCrcFileTree::Open(const std::string &hostPath, uint64_t *size) { return file_.Open(hostPath, size); }

int HostCrcFileTree::Read(void *buffer, size_t count, size_t *got) { return file_.Read(buffer, count, got); }

} // namespace halcyon::frame

// The file system as the folder CRC check sees it: folder listings, the
// kind of a path, and files read once from their start to their end. The
// host's file system serves the check; another tree (files kept in memory)
// can stand in for it where a real folder would only cost time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/folder_list.h"
#include "platform/sequential_file.h"

namespace halcyon::frame {

class CrcFileTree {
public:
    virtual ~CrcFileTree() = default;

    // The host path of a Windows path or host path.
    virtual std::string HostPath(const std::string &path) = 0;
    // The entries of a folder, links reported as links (as
    // platform::ListFolder). 0 or an errno value.
    virtual int List(const std::string &hostFolder, std::vector<platform::FolderEntry> &out) = 0;
    // Whether the path exists (links followed): 0 with `folder` set, or an
    // errno value.
    virtual int Stat(const std::string &hostPath, bool *folder) = 0;
    // Opens a regular file (links followed) to be read once, closing the
    // one opened before; `size` receives its length. 0 or an errno value.
    virtual int Open(const std::string &hostPath, uint64_t *size) = 0;
    // Up to `count` bytes of the open file; `got` is 0 at its end.
    virtual int Read(void *buffer, size_t count, size_t *got) = 0;
};

// The host's file system: one open, one status and one read-ahead hint per
// file read.
class HostCrcFileTree final : public CrcFileTree {
public:
    std::string HostPath(const std::string &path) override;
    int List(const std::string &hostFolder, std::vector<platform::FolderEntry> &out) override;
    int Stat(const std::string &hostPath, bool *folder) override;
    int Open(const std::string &hostPath, uint64_t *size) override;
    int Read(void *buffer, size_t count, size_t *got) override;

private:
    platform::SequentialFile file_;
};

} // namespace halcyon::frame

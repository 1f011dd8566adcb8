// A folder tree kept in memory for the folder CRC check: the fuzz targets
// lay out each input here instead of on disk, which costs a few map
// entries instead of a dozen system calls per file.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "engine/frame/crc_file_tree.h"

namespace halcyon::fuzz {

class MemoryCrcTree final : public frame::CrcFileTree {
public:
    // Adds a folder with its parents; false when a file is in the way.
    bool AddFolder(const std::string &path)
    {
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos && slash > 0 && !AddFolder(path.substr(0, slash)))
            return false;
        auto [it, added] = nodes_.try_emplace(path, Node{true, {}});
        return added || it->second.folder;
    }
    // Adds or replaces a file below an existing folder; false when a folder
    // is in the way or the parent is missing.
    bool PutFile(const std::string &path, std::string_view data)
    {
        const size_t slash = path.rfind('/');
        const auto parent = nodes_.find(path.substr(0, slash));
        if (slash == std::string::npos || parent == nodes_.end() || !parent->second.folder)
            return false;
        auto [it, added] = nodes_.try_emplace(path, Node{false, std::string(data)});
        if (!added && it->second.folder)
            return false;
        it->second.data.assign(data);
        return true;
    }
    const std::string *FileData(const std::string &path) const
    {
        const auto it = nodes_.find(path);
        return it == nodes_.end() || it->second.folder ? nullptr : &it->second.data;
    }
    void Clear()
    {
        nodes_.clear();
        open_ = nullptr;
    }

    // Separators as the host writes them, doubled ones taken as one.
    std::string HostPath(const std::string &path) override
    {
        std::string out;
        for (char c : path) {
            c = c == '\\' ? '/' : c;
            if (c != '/' || out.empty() || out.back() != '/')
                out.push_back(c);
        }
        return out;
    }
    int List(const std::string &hostFolder, std::vector<platform::FolderEntry> &out) override
    {
        out.clear();
        const auto it = nodes_.find(hostFolder);
        if (it == nodes_.end())
            return ENOENT;
        if (!it->second.folder)
            return ENOTDIR;
        const std::string prefix = hostFolder + "/";
        for (auto c = nodes_.lower_bound(prefix); c != nodes_.end() && c->first.compare(0, prefix.size(), prefix) == 0;
             ++c) {
            const std::string_view name = std::string_view(c->first).substr(prefix.size());
            if (name.find('/') == std::string_view::npos)
                out.push_back({std::string(name), c->second.folder ? platform::EntryKind::Folder : platform::EntryKind::File});
        }
        return 0;
    }
    int Stat(const std::string &hostPath, bool *folder) override
    {
        const auto it = nodes_.find(hostPath);
        if (it == nodes_.end())
            return ENOENT;
        *folder = it->second.folder;
        return 0;
    }
    int Open(const std::string &hostPath, uint64_t *size) override
    {
        open_ = nullptr;
        const auto it = nodes_.find(hostPath);
        if (it == nodes_.end())
            return ENOENT;
        if (it->second.folder)
            return EISDIR;
        open_ = &it->second.data;
        offset_ = 0;
        *size = open_->size();
        return 0;
    }
    int Read(void *buffer, size_t count, size_t *got) override
    {
        *got = 0;
        if (!open_)
            return EBADF;
        *got = std::min(count, open_->size() - offset_);
        std::memcpy(buffer, open_->data() + offset_, *got);
        offset_ += *got;
        return 0;
    }

private:
    struct Node {
        bool folder = false;
        std::string data;
    };
    std::map<std::string, Node> nodes_;
    const std::string *open_ = nullptr;
    size_t offset_ = 0;
};

// The one tree of a target's process, emptied for the next input but for the
// folder `manifest`.
inline MemoryCrcTree &TreeWithManifest(const std::string &manifest)
{
    static MemoryCrcTree tree;
    tree.Clear();
    tree.AddFolder(manifest);
    return tree;
}

} // namespace halcyon::fuzz

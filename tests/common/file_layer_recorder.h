// Records what the file layer made durable while it is installed, and can
// make its writes fail.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/host_path_text.h"
#include "platform/non_copyable.h"
#include "support/files/file_ops.h"

namespace halcyon::test {

class FileLayerRecorder : public support::FileLayerObserver, NonCopyable {
public:
    FileLayerRecorder() { previous_ = support::SetFileLayerObserver(this); }
    ~FileLayerRecorder() override { support::SetFileLayerObserver(previous_); }

    // errno every copy fails with (0: none).
    int failWritesWith = 0;

    void Flushed(support::FlushKind kind, const std::string &hostPath) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        flushes_.emplace_back(kind, std::filesystem::weakly_canonical(hostPath).string());
    }
    int WriteFault(const std::string &) override { return failWritesWith; }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        flushes_.clear();
    }

    // True when the file's data and its folder entry were flushed (a file
    // written under a temporary name counts by the name it was renamed to
    // or by "<name>.partial"), or a whole file system holding it; for a
    // folder, the same of everything below it.
    bool Durable(const std::string &path) const
    {
        namespace fs = std::filesystem;
        const std::string p = fs::weakly_canonical(path).string();
        if (FileSystemFlushed(p))
            return true;
        if (fs::is_directory(fs::symlink_status(p))) {
            for (const auto &e : fs::recursive_directory_iterator(p))
                if (e.is_regular_file() && !Durable(e.path().string()))
                    return false;
            return Has(support::FlushKind::Folder, fs::path(p).parent_path().string());
        }
        return (Has(support::FlushKind::FileData, p) || Has(support::FlushKind::FileData, p + ".partial")) &&
               Has(support::FlushKind::Folder, fs::path(p).parent_path().string());
    }

private:
    bool Has(support::FlushKind kind, const std::string &p) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto &[k, path] : flushes_)
            if (k == kind && path == p)
                return true;
        return false;
    }
    bool FileSystemFlushed(const std::string &p) const
    {
#if defined(_WIN32)
        // A file system is a volume: the same drive or share root.
        auto volume = [](const std::string &path) {
            return platform::ComparableHostPath(std::filesystem::path(path).root_name().string());
        };
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto &[k, path] : flushes_)
            if (k == support::FlushKind::FileSystem && volume(path) == volume(p))
                return true;
        return false;
#else
        struct stat target{};
        if (::lstat(p.c_str(), &target) != 0)
            return false;
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto &[k, path] : flushes_) {
            struct stat st{};
            if (k == support::FlushKind::FileSystem && ::stat(path.c_str(), &st) == 0 && st.st_dev == target.st_dev)
                return true;
        }
        return false;
#endif
    }

    support::FileLayerObserver *previous_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<std::pair<support::FlushKind, std::string>> flushes_;
};

} // namespace halcyon::test

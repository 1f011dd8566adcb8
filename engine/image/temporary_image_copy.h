// The working copy of an image file in the caller's temporary folder. It is
// removed when the owner goes away, so every path out of the loader that
// follows the copy deletes it.
#pragma once

#include <string>

namespace halcyon::image {

class TemporaryImageCopy {
public:
    TemporaryImageCopy() = default;
    ~TemporaryImageCopy() { Remove(); }
    TemporaryImageCopy(const TemporaryImageCopy &) = delete;
    TemporaryImageCopy &operator=(const TemporaryImageCopy &) = delete;

    // Copies `source` to `target` (Windows or host path text), replacing a
    // file already there; a symbolic link there is removed as a link, never
    // written through. On failure the target is removed and false is
    // returned; on success the copy is owned by this object. A target that
    // is the source file itself is refused and left alone.
    bool Make(const std::string &source, const std::string &target);
    // Deletes the copy now (nothing when there is none).
    void Remove();
    bool Exists() const { return !path_.empty(); }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

} // namespace halcyon::image

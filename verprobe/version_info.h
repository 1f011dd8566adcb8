// The version resource's block tree (VS_VERSIONINFO): the fixed file
// information of the root block, and values found by a path such as
// "\VarFileInfo\Translation" or "\StringFileInfo\040904b0\LegalCopyright".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyon::verprobe {

struct FileVersion {
    uint16_t major = 0, minor = 0, build = 0, revision = 0;
};

class VersionInfo {
public:
    // Parses the resource bytes; a malformed tree keeps the blocks that were
    // whole. Nesting deeper than kMaxDepth and more than kMaxBlocks blocks
    // are ignored.
    explicit VersionInfo(std::vector<uint8_t> data);

    static constexpr int kMaxDepth = 8;
    static constexpr size_t kMaxBlocks = 4096;

    bool valid() const { return !blocks_.empty(); }
    // The root's VS_FIXEDFILEINFO file version (signature 0xFEEF04BD).
    std::optional<FileVersion> FixedFileVersion() const;
    // The value bytes of the block at `path` ("\A\B"; names compared without
    // regard to ASCII case). "\" is the root block.
    std::optional<std::vector<uint8_t>> QueryBytes(std::string_view path) const;
    // A text value as UTF-8 (up to its first NUL).
    std::optional<std::string> QueryText(std::string_view path) const;

private:
    struct Block {
        std::string key; // UTF-8
        uint16_t type = 0;
        size_t valueOffset = 0;
        size_t valueBytes = 0;
        std::vector<size_t> children;
    };

    void ParseChildren(size_t parent, size_t begin, size_t end, int depth);
    std::optional<size_t> ParseBlock(size_t offset, size_t limit, int depth, size_t *next);
    const Block *Find(std::string_view path) const;

    std::vector<uint8_t> data_;
    std::vector<Block> blocks_;
};

// UTF-16LE bytes to UTF-8, stopping at the first NUL; unpaired surrogates
// become U+FFFD.
std::string Utf16ToUtf8(const uint8_t *data, size_t bytes);

} // namespace halcyon::verprobe

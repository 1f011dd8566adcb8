#include "verprobe/version_info.h"

#include "platform/path_map.h"
#include "platform/text_utf16.h"

namespace halcyon::verprobe {

namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr size_t kFixedInfoSize = 52;
constexpr size_t kBlockHeader = 6;

uint16_t Le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
size_t Align4(size_t v) { return (v + 3) & ~size_t{3}; }

} // namespace

std::string Utf16ToUtf8(const uint8_t *data, size_t bytes)
{
    // Resource texts end at their first NUL character.
    size_t units = bytes / 2;
    size_t used = 0;
    while (used < units && Le16(data + 2 * used) != 0)
        ++used;
    return platform::Utf16LeToUtf8(std::string_view(reinterpret_cast<const char *>(data), used * 2));
}

VersionInfo::VersionInfo(std::vector<uint8_t> data) : data_(std::move(data))
{
    size_t next = 0;
    ParseBlock(0, data_.size(), 0, &next);
}

// Block layout: wLength, wValueLength, wType, szKey (UTF-16, NUL-terminated),
// padding to 4 bytes, the value (wValueLength bytes for binary values,
// characters for text values), padding, then the children up to wLength.
std::optional<size_t> VersionInfo::ParseBlock(size_t offset, size_t limit, int depth, size_t *next)
{
    if (depth > kMaxDepth || blocks_.size() >= kMaxBlocks)
        return std::nullopt;
    if (offset > limit || limit - offset < kBlockHeader)
        return std::nullopt;
    const uint8_t *p = data_.data() + offset;
    size_t length = Le16(p);
    size_t valueLength = Le16(p + 2);
    uint16_t type = Le16(p + 4);
    if (length < kBlockHeader || length > limit - offset)
        return std::nullopt;
    size_t end = offset + length;
    *next = Align4(end);

    size_t keyStart = offset + kBlockHeader;
    size_t keyEnd = keyStart;
    while (keyEnd + 2 <= end && Le16(data_.data() + keyEnd) != 0)
        keyEnd += 2;
    if (keyEnd + 2 > end)
        return std::nullopt; // key not terminated inside the block
    Block block;
    block.key = Utf16ToUtf8(data_.data() + keyStart, keyEnd - keyStart);
    block.type = type;
    size_t valueStart = Align4(keyEnd + 2);
    size_t valueBytes = type == 1 ? valueLength * 2 : valueLength;
    if (valueStart > end)
        valueStart = end;
    if (valueBytes > end - valueStart)
        valueBytes = end - valueStart;
    block.valueOffset = valueStart;
    block.valueBytes = valueBytes;

    size_t index = blocks_.size();
    blocks_.push_back(std::move(block));
    ParseChildren(index, Align4(valueStart + valueBytes), end, depth + 1);
    return index;
}

void VersionInfo::ParseChildren(size_t parent, size_t begin, size_t end, int depth)
{
    size_t offset = begin;
    while (offset < end && blocks_.size() < kMaxBlocks) {
        size_t next = 0;
        auto child = ParseBlock(offset, end, depth, &next);
        if (!child)
            break;
        blocks_[parent].children.push_back(*child);
        if (next <= offset)
            break;
        offset = next;
    }
}

const VersionInfo::Block *VersionInfo::Find(std::string_view path) const
{
    if (blocks_.empty())
        return nullptr;
    const Block *block = &blocks_[0];
    size_t pos = 0;
    while (pos < path.size()) {
        size_t sep = path.find('\\', pos);
        std::string_view name = path.substr(pos, sep == std::string_view::npos ? std::string_view::npos : sep - pos);
        pos = sep == std::string_view::npos ? path.size() : sep + 1;
        if (name.empty())
            continue;
        const Block *found = nullptr;
        for (size_t c : block->children) {
            if (platform::EqualsNoCase(blocks_[c].key, name)) {
                found = &blocks_[c];
                break;
            }
        }
        if (!found)
            return nullptr;
        block = found;
    }
    return block;
}

std::optional<std::vector<uint8_t>> VersionInfo::QueryBytes(std::string_view path) const
{
    const Block *b = Find(path);
    if (!b || b->valueBytes == 0)
        return std::nullopt;
    return std::vector<uint8_t>(data_.begin() + static_cast<std::ptrdiff_t>(b->valueOffset),
                                data_.begin() + static_cast<std::ptrdiff_t>(b->valueOffset + b->valueBytes));
}

std::optional<std::string> VersionInfo::QueryText(std::string_view path) const
{
    const Block *b = Find(path);
    if (!b)
        return std::nullopt;
    return Utf16ToUtf8(data_.data() + b->valueOffset, b->valueBytes);
}

std::optional<FileVersion> VersionInfo::FixedFileVersion() const
{
    if (blocks_.empty() || blocks_[0].valueBytes < kFixedInfoSize)
        return std::nullopt;
    const uint8_t *p = data_.data() + blocks_[0].valueOffset;
    if (Le32(p) != kFixedInfoSignature)
        return std::nullopt;
    uint32_t ms = Le32(p + 8);
    uint32_t ls = Le32(p + 12);
    return FileVersion{static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms & 0xFFFF),
                       static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls & 0xFFFF)};
}

} // namespace halcyon::verprobe

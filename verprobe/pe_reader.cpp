#include "verprobe/pe_reader.h"

#include <cstring>

namespace halcyon::verprobe {

namespace {

constexpr uint16_t kMzMagic = 0x5A4D;
constexpr uint32_t kPeSignature = 0x00004550;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kResourceTypeVersion = 16;
constexpr uint32_t kVersionInfoId = 1;
constexpr uint16_t kMaxSections = 96;        // the loader's limit
constexpr uint32_t kMaxDirectoryEntries = 4096;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kNameIsStringFlag = 0x80000000u;

uint16_t Le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

class PeImage {
public:
    explicit PeImage(const ByteSource &file) : file_(file) {}

    bool Load();
    std::optional<std::vector<uint8_t>> VersionResource() const;

private:
    // File offset of `rva` with at least `n` bytes of the same section's raw
    // data behind it.
    std::optional<uint64_t> RvaToOffset(uint32_t rva, uint32_t n) const;
    // Entry of the resource directory at `dirOffset` (relative to the
    // resource root) whose id is `id`, or the first entry when `id` is 0 or
    // not present; its OffsetToData field.
    std::optional<uint32_t> PickEntry(uint32_t dirOffset, uint32_t id) const;
    bool ReadResource(uint64_t offset, void *out, size_t n) const;

    const ByteSource &file_;
    std::vector<Section> sections_;
    uint32_t resourceRva_ = 0;
    uint32_t resourceSize_ = 0;
};

bool PeImage::Load()
{
    uint8_t dos[64];
    if (!file_.Read(0, dos, sizeof dos) || Le16(dos) != kMzMagic)
        return false;
    uint32_t peOffset = Le32(dos + 0x3C);

    uint8_t header[24]; // signature and file header
    if (!file_.Read(peOffset, header, sizeof header) || Le32(header) != kPeSignature)
        return false;
    uint16_t sectionCount = Le16(header + 4 + 2);
    uint16_t optionalSize = Le16(header + 4 + 16);
    if (sectionCount == 0 || sectionCount > kMaxSections)
        return false;

    uint64_t optionalOffset = uint64_t{peOffset} + sizeof header;
    std::vector<uint8_t> optional(optionalSize);
    if (optionalSize < 2 || !file_.Read(optionalOffset, optional.data(), optional.size()))
        return false;
    uint16_t magic = Le16(optional.data());
    size_t countField, directoriesAt;
    if (magic == kPe32Magic) {
        countField = 92, directoriesAt = 96;
    } else if (magic == kPe32PlusMagic) {
        countField = 108, directoriesAt = 112;
    } else {
        return false;
    }
    if (optional.size() < countField + 4)
        return false;
    uint32_t directoryCount = Le32(optional.data() + countField);
    size_t resourceAt = directoriesAt + kResourceDirectoryIndex * 8;
    if (directoryCount <= kResourceDirectoryIndex || optional.size() < resourceAt + 8)
        return false;
    resourceRva_ = Le32(optional.data() + resourceAt);
    resourceSize_ = Le32(optional.data() + resourceAt + 4);
    if (resourceRva_ == 0 || resourceSize_ == 0)
        return false;

    uint64_t tableOffset = optionalOffset + optionalSize;
    std::vector<uint8_t> table(size_t{sectionCount} * 40);
    if (!file_.Read(tableOffset, table.data(), table.size()))
        return false;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t *s = table.data() + size_t{i} * 40;
        sections_.push_back(Section{Le32(s + 12), Le32(s + 8), Le32(s + 16), Le32(s + 20)});
    }
    return true;
}

std::optional<uint64_t> PeImage::RvaToOffset(uint32_t rva, uint32_t n) const
{
    for (const Section &s : sections_) {
        uint32_t span = s.virtualSize ? s.virtualSize : s.rawSize;
        if (rva < s.virtualAddress || rva - s.virtualAddress >= span)
            continue;
        uint64_t delta = rva - s.virtualAddress;
        if (delta + n > s.rawSize)
            return std::nullopt; // beyond the bytes the file holds
        uint64_t offset = uint64_t{s.rawOffset} + delta;
        if (offset + n > file_.Size())
            return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

bool PeImage::ReadResource(uint64_t offset, void *out, size_t n) const
{
    // Offsets inside the resource tree are relative to its root and must
    // stay inside the resource directory's stated size.
    if (offset + n > resourceSize_)
        return false;
    uint64_t rva = resourceRva_ + offset;
    if (rva > UINT32_MAX)
        return false;
    auto at = RvaToOffset(static_cast<uint32_t>(rva), static_cast<uint32_t>(n));
    return at && file_.Read(*at, out, n);
}

std::optional<uint32_t> PeImage::PickEntry(uint32_t dirOffset, uint32_t id) const
{
    uint8_t dir[16];
    if (!ReadResource(dirOffset, dir, sizeof dir))
        return std::nullopt;
    uint32_t count = uint32_t{Le16(dir + 12)} + Le16(dir + 14);
    if (count == 0 || count > kMaxDirectoryEntries)
        return std::nullopt;
    std::optional<uint32_t> first;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t entry[8];
        if (!ReadResource(uint64_t{dirOffset} + 16 + uint64_t{i} * 8, entry, sizeof entry))
            return std::nullopt;
        uint32_t name = Le32(entry);
        uint32_t data = Le32(entry + 4);
        if (!first)
            first = data;
        if (id != 0 && !(name & kNameIsStringFlag) && name == id)
            return data;
    }
    return id == 0 || id == kVersionInfoId ? first : std::nullopt;
}

std::optional<std::vector<uint8_t>> PeImage::VersionResource() const
{
    // Three fixed levels: type, name, language; then the data entry. The
    // walk never follows more than these three links, so a tree that points
    // back at itself cannot loop.
    auto type = PickEntry(0, kResourceTypeVersion);
    if (!type || !(*type & kSubdirectoryFlag))
        return std::nullopt;
    auto name = PickEntry(*type & ~kSubdirectoryFlag, kVersionInfoId);
    if (!name || !(*name & kSubdirectoryFlag))
        return std::nullopt;
    auto language = PickEntry(*name & ~kSubdirectoryFlag, 0);
    if (!language || (*language & kSubdirectoryFlag))
        return std::nullopt;

    uint8_t dataEntry[16];
    if (!ReadResource(*language, dataEntry, sizeof dataEntry))
        return std::nullopt;
    uint32_t dataRva = Le32(dataEntry);
    uint32_t dataSize = Le32(dataEntry + 4);
    if (dataSize == 0 || dataSize > kMaxVersionResourceSize)
        return std::nullopt;
    auto at = RvaToOffset(dataRva, dataSize);
    if (!at)
        return std::nullopt;
    std::vector<uint8_t> data(dataSize);
    if (!file_.Read(*at, data.data(), data.size()))
        return std::nullopt;
    return data;
}

} // namespace

bool MemorySource::Read(uint64_t offset, void *out, size_t n) const
{
    if (offset > size_ || n > size_ - offset)
        return false;
    if (n)
        std::memcpy(out, data_ + offset, n);
    return true;
}

std::optional<std::vector<uint8_t>> FindVersionResource(const ByteSource &file)
{
    PeImage image(file);
    if (!image.Load())
        return std::nullopt;
    return image.VersionResource();
}

} // namespace halcyon::verprobe

#include "tests/common/pe_writer.h"

#include <cstdio>
#include <stdexcept>

#include "platform/text_utf16.h"

namespace halcyon::test {

namespace {

void Put16(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Pad4(std::vector<uint8_t> &b)
{
    while (b.size() % 4)
        b.push_back(0);
}

// UTF-8 to UTF-16LE with a terminating NUL.
std::vector<uint8_t> Utf16z(const std::string &s)
{
    const std::string units = platform::Utf8ToUtf16Le(s);
    std::vector<uint8_t> out(units.begin(), units.end());
    out.insert(out.end(), {0, 0});
    return out;
}

struct Block {
    std::string key;
    uint16_t type = 0; // 1 text, 0 binary
    std::vector<uint8_t> value;
    uint16_t valueLength = 0;
    std::vector<Block> children;
};

Block TextBlock(const std::string &key, const std::string &text)
{
    Block b{key, 1, Utf16z(text)};
    b.valueLength = static_cast<uint16_t>(b.value.size() / 2);
    return b;
}

std::vector<uint8_t> Serialize(const Block &block)
{
    std::vector<uint8_t> out(6, 0);
    auto key = Utf16z(block.key);
    out.insert(out.end(), key.begin(), key.end());
    Pad4(out);
    out.insert(out.end(), block.value.begin(), block.value.end());
    for (const Block &child : block.children) {
        Pad4(out);
        auto bytes = Serialize(child);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    Put16(out, 0, static_cast<uint32_t>(out.size()));
    Put16(out, 2, block.valueLength);
    Put16(out, 4, block.type);
    return out;
}

} // namespace

std::vector<uint8_t> BuildVersionResource(const PeVersion &v)
{
    Block root{"VS_VERSION_INFO"};
    if (v.withFixedInfo) {
        root.value.assign(52, 0);
        Put32(root.value, 0, 0xFEEF04BD);
        Put32(root.value, 4, 0x00010000);
        Put32(root.value, 8, (uint32_t{v.major} << 16) | v.minor);
        Put32(root.value, 12, (uint32_t{v.build} << 16) | v.revision);
        Put32(root.value, 16, (uint32_t{v.major} << 16) | v.minor); // product version
        Put32(root.value, 20, (uint32_t{v.build} << 16) | v.revision);
        Put32(root.value, 32, 0x00040004); // VOS_NT_WINDOWS32
        Put32(root.value, 36, 1);          // VFT_APP
        root.valueLength = 52;
    }
    if (!v.strings.empty()) {
        char table[16];
        std::snprintf(table, sizeof table, "%04X%04X", v.language, v.codePage);
        Block tableBlock{table, 1};
        for (const auto &[k, text] : v.strings)
            tableBlock.children.push_back(TextBlock(k, text));
        Block sfi{"StringFileInfo", 1};
        sfi.children.push_back(std::move(tableBlock));
        root.children.push_back(std::move(sfi));
    }
    if (v.withTranslation) {
        Block translation{"Translation", 0, std::vector<uint8_t>(4, 0), 4};
        Put16(translation.value, 0, v.language);
        Put16(translation.value, 2, v.codePage);
        Block vfi{"VarFileInfo", 1};
        vfi.children.push_back(std::move(translation));
        root.children.push_back(std::move(vfi));
    }
    return Serialize(root);
}

std::vector<uint8_t> BuildPe(const PeLayout &layout)
{
    constexpr uint32_t kPeAt = 0x40;
    constexpr uint32_t kSectionRva = 0x1000;
    constexpr uint32_t kRawAt = 0x200;
    const uint32_t optionalSize = layout.is64 ? 240 : 224;
    const bool hasResource = !layout.versionResource.empty();

    // Resource section: three directory levels (type 16, name 1, language
    // 0x409), the data entry, then the data.
    std::vector<uint8_t> rsrc;
    if (hasResource) {
        rsrc.assign(0x58, 0);
        auto directory = [&](uint32_t at, uint32_t id, uint32_t target) {
            Put16(rsrc, at + 14, 1); // one id entry
            Put32(rsrc, at + 16, id);
            Put32(rsrc, at + 20, target);
        };
        directory(0x00, 16, 0x80000000u | 0x18);
        directory(0x18, 1, 0x80000000u | 0x30);
        directory(0x30, 0x409, 0x48);
        Put32(rsrc, 0x48, kSectionRva + 0x58);
        Put32(rsrc, 0x4C, static_cast<uint32_t>(layout.versionResource.size()));
        rsrc.insert(rsrc.end(), layout.versionResource.begin(), layout.versionResource.end());
    } else {
        rsrc.assign(16, 0); // some section content, no resources
    }
    uint32_t rawSize = static_cast<uint32_t>((rsrc.size() + 0x1FF) & ~size_t{0x1FF});

    std::vector<uint8_t> pe(kRawAt + rawSize, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    Put32(pe, 0x3C, kPeAt);
    Put32(pe, kPeAt, 0x00004550);
    size_t coff = kPeAt + 4;
    Put16(pe, coff, layout.is64 ? 0x8664 : 0x014C);
    Put16(pe, coff + 2, 1);
    Put16(pe, coff + 16, optionalSize);
    Put16(pe, coff + 18, layout.is64 ? 0x0022 : 0x0102);
    size_t opt = coff + 20;
    Put16(pe, opt, layout.is64 ? 0x20B : 0x10B);
    size_t countField = layout.is64 ? 108 : 92;
    size_t dirs = layout.is64 ? 112 : 96;
    Put32(pe, opt + 32, 0x1000); // section alignment
    Put32(pe, opt + 36, 0x200);  // file alignment
    Put32(pe, opt + 56, kSectionRva + 0x1000); // size of image
    Put32(pe, opt + 60, kRawAt);               // size of headers
    Put32(pe, opt + countField, 16);
    if (hasResource) {
        Put32(pe, opt + dirs + 2 * 8, kSectionRva);
        Put32(pe, opt + dirs + 2 * 8 + 4, static_cast<uint32_t>(rsrc.size()));
    }
    size_t section = opt + optionalSize;
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (int i = 0; i < 8; ++i)
        pe[section + i] = static_cast<uint8_t>(name[i]);
    Put32(pe, section + 8, static_cast<uint32_t>(rsrc.size()));
    Put32(pe, section + 12, kSectionRva);
    Put32(pe, section + 16, rawSize);
    Put32(pe, section + 20, kRawAt);
    Put32(pe, section + 36, 0x40000040); // initialized data, readable
    std::copy(rsrc.begin(), rsrc.end(), pe.begin() + kRawAt);
    return pe;
}

void WritePeFile(const std::string &path, const PeVersion &v, bool is64)
{
    auto bytes = BuildPe(PeLayout{is64, BuildVersionResource(v)});
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (written != bytes.size())
        throw std::runtime_error("cannot write " + path);
}

} // namespace halcyon::test

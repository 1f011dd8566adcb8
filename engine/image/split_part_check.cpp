#include "engine/image/split_part_check.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>

#include "platform/fs_path.h"

namespace halcyon::image {

namespace {

struct PartHeader {
    std::array<uint8_t, 16> guid{};
    uint16_t number = 0;
    uint16_t total = 0;
};

// The header fields of a WIM part; false when the file is not one.
bool ReadPartHeader(const std::string &path, PartHeader &out)
{
    std::ifstream in(platform::FsPath(path), std::ios::binary);
    uint8_t head[48] = {};
    if (!in.read(reinterpret_cast<char *>(head), sizeof head))
        return false;
    if (std::memcmp(head, "MSWIM\0\0\0", 8) != 0)
        return false;
    std::memcpy(out.guid.data(), head + 24, 16);
    out.number = static_cast<uint16_t>(head[40] | (head[41] << 8));
    out.total = static_cast<uint16_t>(head[42] | (head[43] << 8));
    return out.number >= 1 && out.total >= 1 && out.number <= out.total;
}

} // namespace

std::string MissingSplitPart(const std::string &first, const std::vector<std::string> &others)
{
    PartHeader head;
    if (!ReadPartHeader(first, head) || head.total == 1)
        return {};
    std::set<uint16_t> present{head.number};
    for (const std::string &path : others) {
        PartHeader part;
        if (ReadPartHeader(path, part) && part.guid == head.guid && part.total == head.total)
            present.insert(part.number);
    }
    for (uint16_t n = 1; n <= head.total; ++n)
        if (!present.count(n))
            return "part " + std::to_string(n) + " of " + std::to_string(head.total);
    return {};
}

} // namespace halcyon::image

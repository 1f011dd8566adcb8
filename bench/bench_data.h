// The data the benchmarks copy and check: files of pseudo-random bytes that
// no compressor or deduplicator can shortcut.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

// Writes `size` bytes of the xorshift sequence `seed` starts to `path`.
inline void WriteData(const std::string &path, size_t size, uint32_t seed)
{
    std::vector<char> block(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i + 4 <= size; i += 4) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        std::memcpy(block.data() + i, &x, 4);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(block.data(), static_cast<std::streamsize>(size));
}

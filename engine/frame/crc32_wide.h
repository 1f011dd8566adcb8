// CRC-32 (the gzip polynomial, as libdeflate_crc32 computes it) of large
// buffers with 512-bit carry-less multiplication where the processor has it
// (x86-64 Linux builds), libdeflate's own routine otherwise: the same value
// either way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halcyon::frame {

// `crc` is the CRC of the bytes before `data` (0 to start).
uint32_t Crc32(uint32_t crc, const void *data, size_t size);

} // namespace halcyon::frame

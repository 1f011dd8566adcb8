#include "engine/frame/crc32_wide.h"

#include <libdeflate.h>

// Not on Windows: its GCC cannot keep the stack aligned for 512-bit values.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#include <immintrin.h>
#define HALCYON_CRC32_WIDE 1
#endif

namespace halcyon::frame {

namespace {

#ifdef HALCYON_CRC32_WIDE

// Four 128-bit lanes moved on by the distance whose multipliers `k` holds,
// added to `next`.
__attribute__((target("avx512f,vpclmulqdq"), always_inline)) inline __m512i Fold(__m512i lane, __m512i k, __m512i next)
{
    const __m512i low = _mm512_clmulepi64_epi128(lane, k, 0x10);
    const __m512i high = _mm512_clmulepi64_epi128(lane, k, 0x01);
    return _mm512_ternarylogic_epi64(low, high, next, 0x96);
}

// Bytes per step: eight 512-bit registers, thirty-two 128-bit lanes (enough
// independent lanes to keep the carry-less multiplier busy).
constexpr size_t kStep = 512;

// The bytes are folded in thirty-two 128-bit lanes, each moved 4096 bits on
// per step (a lane times x^4128 and x^4064 modulo the polynomial,
// bit-reflected); the eight registers are then folded into four (x^2080,
// x^2016), which take one more half step of 256 bytes where that many are
// left, and their sixteen lanes into one by 128 bits each (x^160, x^96).
// What is left, taken as 16 bytes of message, has the CRC the folded bytes
// had.
__attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1"))) uint32_t Crc32Folded(uint32_t crc, const uint8_t *p,
                                                                                     size_t size)
{
    const __m512i k4096 = _mm512_set_epi64(0x1072db28, 0x1d741f35c, 0x1072db28, 0x1d741f35c, 0x1072db28, 0x1d741f35c,
                                           0x1072db28, 0x1d741f35c);
    const __m512i k2048 = _mm512_set_epi64(0x11542778a, 0x1322d1430, 0x11542778a, 0x1322d1430, 0x11542778a,
                                           0x1322d1430, 0x11542778a, 0x1322d1430);
    __m512i a[8];
    for (int i = 0; i < 8; ++i)
        a[i] = _mm512_loadu_si512(p + 64 * i);
    // The CRC so far enters as the first four bytes' complement.
    a[0] = _mm512_xor_si512(a[0], _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(~crc))));
    p += kStep;
    size -= kStep;
    while (size >= kStep) {
        for (int i = 0; i < 8; ++i)
            a[i] = Fold(a[i], k4096, _mm512_loadu_si512(p + 64 * i));
        p += kStep;
        size -= kStep;
    }
    for (int i = 0; i < 4; ++i)
        a[i] = Fold(a[i], k2048, a[i + 4]);
    if (size >= kStep / 2) {
        for (int i = 0; i < 4; ++i)
            a[i] = Fold(a[i], k2048, _mm512_loadu_si512(p + 64 * i));
        p += kStep / 2;
        size -= kStep / 2;
    }
    const __m128i k128 = _mm_set_epi64x(0x1751997d0, 0x0ccaa009e);
    alignas(64) uint8_t lanes[kStep / 2];
    for (int i = 0; i < 4; ++i)
        _mm512_store_si512(lanes + 64 * i, a[i]);
    __m128i acc = _mm_load_si128(reinterpret_cast<const __m128i *>(lanes));
    for (int i = 1; i < 16; ++i) {
        const __m128i low = _mm_clmulepi64_si128(acc, k128, 0x10);
        const __m128i high = _mm_clmulepi64_si128(acc, k128, 0x01);
        acc = _mm_xor_si128(_mm_xor_si128(low, high), _mm_load_si128(reinterpret_cast<const __m128i *>(lanes + 16 * i)));
    }
    alignas(16) uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i *>(rest), acc);
    const uint32_t folded = libdeflate_crc32(0xFFFFFFFFu, rest, sizeof rest);
    return libdeflate_crc32(folded, p, size);
}

bool HaveWideCarrylessMultiply()
{
    static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq") &&
                             __builtin_cpu_supports("pclmul");
    return have;
}

#endif

} // namespace

uint32_t Crc32(uint32_t crc, const void *data, size_t size)
{
#ifdef HALCYON_CRC32_WIDE
    // Below a few steps the lanes' set-up and folding cost more than they save.
    if (size >= 2 * kStep && HaveWideCarrylessMultiply())
        return Crc32Folded(crc, static_cast<const uint8_t *>(data), size);
#endif
    return libdeflate_crc32(crc, data, size);
}

} // namespace halcyon::frame

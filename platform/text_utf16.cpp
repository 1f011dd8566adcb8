#include "platform/text_utf16.h"

#include <cstdint>

namespace halcyon::platform {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes the UTF-8 sequence at s[i]: its code point and length. A malformed
// sequence gives U+FFFD with the length of its valid start (at least 1), so
// the byte that broke it is read again as the start of the next one.
uint32_t DecodeUtf8(std::string_view s, size_t i, size_t *length, bool *valid)
{
    auto b = static_cast<uint8_t>(s[i]);
    *length = 1;
    *valid = true;
    if (b < 0x80)
        return b;
    size_t n = 0;
    uint32_t c = 0;
    uint8_t lo = 0x80, hi = 0xBF; // range of the second byte
    // The three- and four-byte branches look alike, but each bounds its own
    // second byte (overlong forms, surrogates, the end of Unicode).
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        c = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        c = b & 0x0Fu;
        if (b == 0xE0)
            lo = 0xA0; // overlong
        else if (b == 0xED)
            hi = 0x9F; // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        c = b & 0x07u;
        if (b == 0xF0)
            lo = 0x90; // overlong
        else if (b == 0xF4)
            hi = 0x8F; // past U+10FFFF
    } else {
        *valid = false;
        return kReplacement;
    }
    for (size_t k = 1; k < n; ++k) {
        if (i + k >= s.size()) {
            *length = k;
            *valid = false;
            return kReplacement;
        }
        auto cb = static_cast<uint8_t>(s[i + k]);
        uint8_t min = k == 1 ? lo : 0x80, max = k == 1 ? hi : 0xBF;
        if (cb < min || cb > max) {
            *length = k;
            *valid = false;
            return kReplacement;
        }
        c = c << 6 | (cb & 0x3Fu);
    }
    *length = n;
    return c;
}

void AppendUtf8(std::string &out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

uint32_t Unit(std::string_view bytes, size_t i)
{
    return static_cast<uint8_t>(bytes[i]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
}

} // namespace

std::string Utf16LeToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t c = Unit(bytes, i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t lo = Unit(bytes, i + 2);
            if (lo >= 0xDC00 && lo < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            } else {
                c = kReplacement;
            }
        } else if (c >= 0xD800 && c < 0xE000) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

void AppendUtf16Le(std::string_view s, std::string *out)
{
    const size_t start = out->size();
    out->resize(start + 2 * s.size()); // enough: no UTF-8 sequence gets longer
    char *p = out->data() + start;
    auto put = [&](uint32_t u) {
        *p++ = static_cast<char>(u & 0xFF);
        *p++ = static_cast<char>(u >> 8);
    };
    for (size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            put(static_cast<unsigned char>(s[i++]));
            continue;
        }
        size_t n = 1;
        bool valid = true;
        uint32_t c = DecodeUtf8(s, i, &n, &valid);
        i += n;
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    out->resize(static_cast<size_t>(p - out->data()));
}

std::string Utf8ToUtf16Le(std::string_view s)
{
    std::string out;
    AppendUtf16Le(s, &out);
    return out;
}

size_t FindInvalidUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        size_t n = 1;
        bool valid = true;
        DecodeUtf8(s, i, &n, &valid);
        if (!valid)
            return i;
        i += n;
    }
    return std::string_view::npos;
}

bool IsValidUtf8(std::string_view s) { return FindInvalidUtf8(s) == std::string_view::npos; }

size_t FindInvalidUtf16Le(std::string_view bytes)
{
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t c = Unit(bytes, i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t lo = Unit(bytes, i + 2);
            if (lo < 0xDC00 || lo >= 0xE000)
                return i;
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            return i;
        }
    }
    return i < bytes.size() ? i : std::string_view::npos;
}

std::string ToValidUtf8(std::string_view s)
{
    if (IsValidUtf8(s))
        return std::string(s);
    std::string out;
    for (size_t i = 0; i < s.size();) {
        size_t n = 1;
        bool valid = true;
        uint32_t c = DecodeUtf8(s, i, &n, &valid);
        AppendUtf8(out, c);
        i += n;
    }
    return out;
}

} // namespace halcyon::platform

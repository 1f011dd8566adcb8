#include "verprobe/text_rules.h"

#include <vector>

#include "platform/host_file.h"

namespace halcyon::verprobe {

namespace {

// One character of a UTF-8 text: its code point and its byte span. A byte
// that does not start a valid sequence is a character of its own with the
// code point 0xDC00 + byte, which no rule treats as letter or digit.
struct Char {
    char32_t code;
    size_t pos;
    size_t len;
};

size_t SequenceLength(std::string_view s, size_t i, char32_t *code)
{
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        *code = b;
        return 1;
    }
    size_t len;
    char32_t c;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
        len = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, c = b & 0x07, min = 0x10000;
    } else {
        *code = 0xDC00 + b;
        return 1;
    }
    if (i + len > s.size()) {
        *code = 0xDC00 + b;
        return 1;
    }
    for (size_t k = 1; k < len; ++k) {
        unsigned char n = static_cast<unsigned char>(s[i + k]);
        if ((n & 0xC0) != 0x80) {
            *code = 0xDC00 + b;
            return 1;
        }
        c = (c << 6) | (n & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        *code = 0xDC00 + b;
        return 1;
    }
    *code = c;
    return len;
}

std::vector<Char> Split(std::string_view s)
{
    std::vector<Char> out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t c;
        size_t n = SequenceLength(s, i, &c);
        out.push_back(Char{c, i, n});
        i += n;
    }
    return out;
}

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

} // namespace

size_t CharCount(std::string_view text)
{
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++n) {
        char32_t c;
        i += SequenceLength(text, i, &c);
    }
    return n;
}

bool IsLetterOrDigit(char32_t c)
{
    if (c < 0x80)
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    return platform::IsUnicodeLetterOrDigit(c);
}

bool IsLetterOrDigitText(std::string_view character)
{
    if (character.empty())
        return false;
    char32_t c;
    SequenceLength(character, 0, &c);
    return IsLetterOrDigit(c);
}

std::string ToUpper(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string StripLeading(std::string_view text)
{
    auto chars = Split(text);
    size_t i = 0;
    while (i + 1 < chars.size() && !IsLetterOrDigit(chars[i].code))
        ++i;
    return chars.empty() ? std::string() : std::string(text.substr(chars[i].pos));
}

std::string StripTrailing(std::string_view text)
{
    auto chars = Split(text);
    size_t n = chars.size();
    while (n > 1 && !IsLetterOrDigit(chars[n - 1].code))
        --n;
    return n == 0 ? std::string() : std::string(text.substr(0, chars[n - 1].pos + chars[n - 1].len));
}

std::string StripLeadingZeros(std::string_view text)
{
    size_t i = 0;
    while (i + 1 < text.size() && text[i] == '0')
        ++i;
    return std::string(text.substr(i));
}

std::string StripLeadingZerosOfNumber(std::string_view text)
{
    size_t i = 0;
    while (i + 1 < text.size() && text[i] == '0' && text[i + 1] >= '0' && text[i + 1] <= '9')
        ++i;
    return std::string(text.substr(i));
}

std::string StripTrailingZeros(std::string_view text)
{
    size_t n = text.size();
    while (n > 1 && text[n - 1] == '0')
        --n;
    return std::string(text.substr(0, n));
}

std::string StripTrailingDotZero(std::string_view text)
{
    std::string out(text);
    while (CharCount(out) >= 4 && out.size() >= 2 && out.compare(out.size() - 2, 2, ".0") == 0)
        out.resize(out.size() - 2);
    return out;
}

std::string DotSeparators(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const Char &c : Split(text)) {
        if (IsLetterOrDigit(c.code))
            out.append(text.substr(c.pos, c.len));
        else
            out += '.';
    }
    return out;
}

std::string TrimWhiteSpace(std::string_view text)
{
    size_t b = 0, e = text.size();
    while (b < e && IsWhite(text[b]))
        ++b;
    while (e > b && IsWhite(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

std::string TrimChar(std::string_view text, char c)
{
    size_t b = 0, e = text.size();
    while (b < e && text[b] == c)
        ++b;
    while (e > b && text[e - 1] == c)
        --e;
    return std::string(text.substr(b, e - b));
}

std::string EightBitToUtf8(std::string_view text)
{
    bool valid = true;
    for (size_t i = 0; i < text.size() && valid;) {
        char32_t c;
        size_t n = SequenceLength(text, i, &c);
        valid = !(c >= 0xDC80 && c <= 0xDCFF && n == 1 && static_cast<unsigned char>(text[i]) >= 0x80);
        i += n;
    }
    if (valid)
        return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    for (char ch : text) {
        unsigned char b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

} // namespace halcyon::verprobe

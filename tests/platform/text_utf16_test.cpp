// UTF-8 to UTF-16LE: each malformed sequence becomes one U+FFFD and the byte
// that broke it is read again.
#include <gtest/gtest.h>

#include <vector>

#include "platform/text_utf16.h"

using namespace halcyon::platform;

namespace {

std::vector<uint16_t> Units(const std::string &utf16)
{
    std::vector<uint16_t> out;
    for (size_t i = 0; i + 1 < utf16.size(); i += 2)
        out.push_back(static_cast<uint16_t>(static_cast<uint8_t>(utf16[i]) | static_cast<uint8_t>(utf16[i + 1]) << 8));
    return out;
}

} // namespace

TEST(TextUtf16, MalformedUtf8BecomesOneReplacementPerSequence)
{
    const struct {
        const char *utf8;
        std::vector<uint16_t> units;
        size_t firstInvalid;
    } cases[] = {
        {"a\xFF\xC3(", {'a', 0xFFFD, 0xFFFD, '('}, 1},
        {"\xE2\x82x", {0xFFFD, 'x'}, 0},          // truncated three-byte form
        {"x\xC3\r\n", {'x', 0xFFFD, '\r', '\n'}, 1}, // a lead byte before the line end
        {"\xC0\xAF", {0xFFFD, 0xFFFD}, 0},          // overlong
        {"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}, 0}, // an encoded surrogate
        {"\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}, 0}, // past U+10FFFF
        {"\xF0\x9F\x98\x80\xC3\xA9", {0xD83D, 0xDE00, 0xE9}, std::string::npos},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Units(Utf8ToUtf16Le(c.utf8)), c.units);
        EXPECT_EQ(FindInvalidUtf8(c.utf8), c.firstInvalid);
        EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(c.utf8)), ToValidUtf8(c.utf8));
    }
    EXPECT_EQ(FindInvalidUtf16Le(std::string("a\0\x00\xD8", 4)), 2u);
    EXPECT_EQ(FindInvalidUtf16Le(std::string("a\0b", 3)), 2u);
    EXPECT_EQ(FindInvalidUtf16Le(std::string("\x3D\xD8\x00\xDE", 4)), std::string::npos);
}

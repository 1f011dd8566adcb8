#include "langsel/text16.h"

#include "platform/text_utf16.h"

namespace halcyon::langsel {

std::u16string ToUtf16(std::string_view utf8)
{
    std::string bytes = platform::Utf8ToUtf16Le(utf8);
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return out;
}

std::string ToUtf8(std::u16string_view utf16)
{
    std::string bytes;
    bytes.reserve(utf16.size() * 2);
    for (char16_t c : utf16) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return platform::Utf16LeToUtf8(bytes);
}

} // namespace halcyon::langsel

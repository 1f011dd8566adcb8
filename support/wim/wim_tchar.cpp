#include "support/wim/wim_tchar.h"

#include "platform/text_utf16.h"

namespace halcyon::support::wim {

WimString ToWimText(std::string_view utf8)
{
    if constexpr (sizeof(wimlib_tchar) == 1) {
        return WimString(utf8.begin(), utf8.end());
    } else {
        const std::string bytes = platform::Utf8ToUtf16Le(utf8);
        WimString out(bytes.size() / 2, 0);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<wimlib_tchar>(static_cast<unsigned char>(bytes[2 * i]) |
                                               (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
        return out;
    }
}

std::string FromWimText(const wimlib_tchar *text)
{
    if (!text)
        return {};
    const std::basic_string_view<wimlib_tchar> view(text);
    if constexpr (sizeof(wimlib_tchar) == 1) {
        return std::string(view.begin(), view.end());
    } else {
        std::string bytes;
        bytes.reserve(view.size() * 2);
        for (const wimlib_tchar c : view) {
            bytes.push_back(static_cast<char>(static_cast<unsigned>(c) & 0xFF));
            bytes.push_back(static_cast<char>((static_cast<unsigned>(c) >> 8) & 0xFF));
        }
        return platform::Utf16LeToUtf8(bytes);
    }
}

WimTextList::WimTextList(const std::vector<std::string> &utf8)
{
    texts_.reserve(utf8.size());
    for (const std::string &text : utf8)
        texts_.push_back(ToWimText(text));
    for (const WimString &text : texts_)
        pointers_.push_back(text.c_str());
}

} // namespace halcyon::support::wim

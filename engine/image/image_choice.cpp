#include "engine/image/image_choice.h"

#include "platform/path_map.h"

namespace halcyon::image {

std::optional<std::string> ElementContent(std::string_view xml, std::string_view tag)
{
    const std::string open = "<" + std::string(tag) + ">";
    const std::string close = "</" + std::string(tag) + ">";
    const size_t start = xml.find(open);
    if (start == std::string_view::npos)
        return std::nullopt;
    const size_t end = xml.find(close, start + open.size());
    if (end == std::string_view::npos)
        return std::nullopt;
    return std::string(xml.substr(start + open.size(), end - start - open.size()));
}

std::string PushButtonResetDescription(std::string_view suffix)
{
    std::string target = "PUSHBUTTONRESET IMAGE";
    if (!suffix.empty()) {
        target += ' ';
        target += suffix;
    }
    return target;
}

bool IsWantedImage(std::string_view description, uint64_t options, std::string_view pushButtonResetDescription)
{
    const bool basePlus = (options & kOptionBasePlus) != 0;
    const bool pushButtonReset = (options & kOptionPushButtonReset) != 0;
    if (basePlus && platform::EqualsNoCase(description, "BASE PLUS IMAGE"))
        return true;
    if (pushButtonReset && platform::EqualsNoCase(description, pushButtonResetDescription))
        return true;
    return !basePlus && !pushButtonReset && platform::EqualsNoCase(description, "FOUNDATION IMAGE 1");
}

} // namespace halcyon::image

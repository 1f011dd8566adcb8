// Choosing the image of a WIM to lay down by its description.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyon::image {

// Option bits of the image loader that steer the choice.
inline constexpr uint64_t kOptionBasePlus = 0x100000;            // "BASE PLUS IMAGE"
inline constexpr uint64_t kOptionPushButtonReset = 0x800000000ull; // "PUSHBUTTONRESET IMAGE" [+ suffix]

// The text between "<tag>" and the following "</tag>" of an image's XML, as
// it stands; nullopt when either tag is missing.
std::optional<std::string> ElementContent(std::string_view xml, std::string_view tag);

// The text between "<DESCRIPTION>" and the following "</DESCRIPTION>" of an
// image's XML; nullopt when either tag is missing.
inline std::optional<std::string> ImageDescription(std::string_view xml) { return ElementContent(xml, "DESCRIPTION"); }

// The description a push-button-reset load looks for: "PUSHBUTTONRESET
// IMAGE", plus a blank and `suffix` when the suffix is not empty.
std::string PushButtonResetDescription(std::string_view suffix);

// True when an image with `description` is the one to load under `options`
// (compared without regard to case):
//   0x100000 set and "BASE PLUS IMAGE";
//   0x800000000 set and the push-button-reset description;
//   neither set and "FOUNDATION IMAGE 1".
bool IsWantedImage(std::string_view description, uint64_t options, std::string_view pushButtonResetDescription);

} // namespace halcyon::image

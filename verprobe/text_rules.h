// Text rules of the version probes. Texts are UTF-8; the rules count and
// classify characters (code points), never bytes, so no rule splits a
// character. Bytes that are not valid UTF-8 pass through unchanged and count
// as one character each that is neither a letter nor a digit.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::verprobe {

// Number of characters in `text`.
size_t CharCount(std::string_view text);

// Letter or digit by the Unicode classification.
bool IsLetterOrDigit(char32_t c);
bool IsLetterOrDigitText(std::string_view character);

// ASCII upper case (paths resolve without regard to ASCII case).
std::string ToUpper(std::string_view text);

// Drops leading characters that are neither letter nor digit, keeping at
// least the last character.
std::string StripLeading(std::string_view text);
// Drops trailing characters that are neither letter nor digit, keeping at
// least the first character.
std::string StripTrailing(std::string_view text);
// Drops leading "0" while more than one character remains.
std::string StripLeadingZeros(std::string_view text);
// As StripLeadingZeros, but never drops the zero that stands right before a
// non-digit ("0.5" stays "0.5", "007.1" becomes "7.1").
std::string StripLeadingZerosOfNumber(std::string_view text);
// Drops trailing "0" while more than one character remains.
std::string StripTrailingZeros(std::string_view text);
// While the text has at least 4 characters and ends with ".0", drops them.
std::string StripTrailingDotZero(std::string_view text);
// Every character that is neither letter nor digit becomes ".".
std::string DotSeparators(std::string_view text);

// Leading and trailing white space (space, tab, CR, LF, VT, FF) removed.
std::string TrimWhiteSpace(std::string_view text);
// Leading and trailing `c` removed.
std::string TrimChar(std::string_view text, char c);

// `text` if it is valid UTF-8, else each byte taken as Latin-1.
std::string EightBitToUtf8(std::string_view text);

} // namespace halcyon::verprobe

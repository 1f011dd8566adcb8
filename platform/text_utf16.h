// UTF-8 <-> UTF-16LE byte conversions for text stored the Windows way
// (profile and .reg files, INI files, version resources). Conversions never
// fail: each malformed UTF-8 sequence (its longest valid start, or one byte)
// and each unpaired surrogate becomes one U+FFFD and the bytes after it are
// read normally; NUL characters are kept. Readers that must refuse malformed
// input check it first with the Find* functions.
#pragma once

#include <string>
#include <string_view>

namespace halcyon::platform {

std::string Utf16LeToUtf8(std::string_view bytes);
std::string Utf8ToUtf16Le(std::string_view text);
// The same, appended to `out`.
void AppendUtf16Le(std::string_view text, std::string *out);
// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// Offset of the first byte of the first malformed UTF-8 sequence; npos when
// there is none.
size_t FindInvalidUtf8(std::string_view text);
// Byte offset of the first unpaired surrogate (or of a lone last byte);
// npos when `bytes` are well-formed UTF-16LE.
size_t FindInvalidUtf16Le(std::string_view bytes);
// `text` with every malformed sequence replaced by U+FFFD (unchanged when it
// is well-formed).
std::string ToValidUtf8(std::string_view text);

} // namespace halcyon::platform

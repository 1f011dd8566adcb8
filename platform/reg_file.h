// Registry text files ("Windows Registry Editor Version 5.00").
//
// Export writes a key with its values and all subkeys as UTF-16LE with a
// BOM and CR LF line ends, the way the Windows tools write them. Strings
// that are well-formed text without NUL characters are written "quoted";
// other string data go as hex(1)/hex(2)/hex(7) lists of their UTF-16LE
// bytes, so every value reads back with the bytes it had.
//
// Import reads UTF-16LE with BOM or UTF-8 (with or without BOM). The whole
// file is checked before anything is written, and all of it is applied in
// one transaction: a malformed file or a failing write leaves the registry
// as it was.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace halcyon::platform::reg {

// The export text (UTF-8) of `subKey` below `root`; `view` is 0,
// KEY_WOW64_32KEY or KEY_WOW64_64KEY. ERROR_FILE_NOT_FOUND when the key is
// absent. A key below it that is listed but cannot be opened or listed is
// written as an empty key and its path added to `skipped` (when given): the
// export is then partial, not failed.
LONG ExportRegText(HKEY root, std::string_view subKey, uint32_t view, std::string *text,
                   std::vector<std::string> *skipped = nullptr);
// Writes the export as a file (host path), replacing it whole.
LONG ExportRegFile(HKEY root, std::string_view subKey, uint32_t view, const std::string &hostPath,
                   std::vector<std::string> *skipped = nullptr);

// Applies a file's bytes. ERROR_INVALID_DATA (with `error` naming the line)
// when the text is malformed; a store error when the registry refused.
constexpr LONG ERROR_INVALID_DATA = 13;
LONG ImportRegText(std::string_view bytes, uint32_t view, std::string *error);
// The same for a file (host path); ERROR_FILE_NOT_FOUND when unreadable.
LONG ImportRegFile(const std::string &hostPath, uint32_t view, std::string *error);

} // namespace halcyon::platform::reg

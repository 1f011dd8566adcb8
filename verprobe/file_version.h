// Versions and the copyright text of files, from their version resource.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "verprobe/version_info.h"

namespace halcyon::verprobe {

// The host path of `target` (Windows path text) when it names a regular
// file; folders, devices and missing names give nothing.
std::optional<std::string> RegularFile(std::string_view target);

// The file's version resource, when it has a readable one.
std::optional<VersionInfo> LoadVersionInfo(const std::string &hostPath);

// "%d.%d.%d.%d", most significant part first.
std::string FormatFileVersion(const FileVersion &v);

// The fixed file version of `target` as text: 0, 1 (no such file) or 2 (no
// readable version resource).
uint32_t ReadFileVersion(std::string_view target, std::string *text);

// The "LegalCopyright" string of the first translation: 0; 1 (no such
// file, or no translation table); 4 (no version resource); 3 (no such
// string).
uint32_t ReadCopyright(std::string_view target, std::string *text);

} // namespace halcyon::verprobe

// Private profile (INI) files with Windows semantics: every call reads the
// file afresh; a write creates the file and the section as needed and keeps
// the rest of the file as it was. Paths are Windows or host path text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyon::platform {

// The value (trimmed), or `fallback` when the file, section or key is absent.
std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view fallback,
                                    std::string_view file);
// The value as a number, or `fallback`.
uint32_t GetPrivateProfileInt(std::string_view section, std::string_view key, int32_t fallback, std::string_view file);
// Sets (or, with nullopt, deletes) a key. False when the file cannot be
// written.
bool WritePrivateProfileString(std::string_view section, std::string_view key, std::optional<std::string_view> value,
                               std::string_view file);
// Names of the keys of a section, in file order (empty when absent).
std::vector<std::string> GetPrivateProfileKeys(std::string_view section, std::string_view file);
// Names of the sections, in file order.
std::vector<std::string> GetPrivateProfileSectionNames(std::string_view file);

// The value (trimmed, surrounding quotes removed) or nullopt when the file,
// section or key is absent.
std::optional<std::string> GetPrivateProfileValue(std::string_view section, std::string_view key,
                                                  std::string_view file);
// Removes a whole section. True when the file is as asked afterwards.
bool DeletePrivateProfileSection(std::string_view section, std::string_view file);

// The host path a profile file name stands for: a bare file name lives in
// the Windows folder (C:\Windows), anything else goes through HostPath.
std::string ProfileHostPath(std::string_view file);

} // namespace halcyon::platform

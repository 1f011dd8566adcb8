// Registry items as versions: a key's name (kind 0), a named value (kind 1)
// or a key's default value (kind 2), read or checked against the expected
// text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "verprobe/work_record.h"

namespace halcyon::verprobe {

enum class RegKind { KeyName = 0, NamedValue = 1, DefaultValue = 2 };
enum class RegMode { Read, Check };

constexpr uint32_t kView32 = 0x200; // KEY_WOW64_32KEY
constexpr uint32_t kView64 = 0x100; // KEY_WOW64_64KEY

// One registry step on `rec.target` with `rec.view`; in check mode against
// `rec.expected`. Writes the text read to `rec.output`.
uint32_t RegistryStep(WorkRecord &rec, RegKind kind, RegMode mode);

// True when the (upper-case) target names a registry item: it contains
// "HKE", "HKCU", "HKLM", "HKU", "HKCC" or "HKDD".
bool LooksLikeRegistryTarget(std::string_view target);

// The check of VerifyVersion_s: kinds 0, 2, 1 in the 32-bit view, then in
// the 64-bit view, up to the first success.
uint32_t CheckRegistryTarget(WorkRecord &rec);

// Value data as text: REG_SZ/REG_EXPAND_SZ expanded and stripped, REG_BINARY
// as "%02X " bytes, REG_DWORD as hexadecimal without leading zeros. 0, 12
// (other types) or 15 (a string longer than 255 characters).
uint32_t FormatValue(uint32_t type, const std::vector<uint8_t> &data, std::string *text);

} // namespace halcyon::verprobe

// Option bits of the module installation verb (the 64-bit option word).
#pragma once

#include <cstdint>

namespace halcyon::modules {

constexpr uint64_t OPTION_RECOVERY = 0x4;
constexpr uint64_t OPTION_PE_MODULES = 0x40;
constexpr uint64_t OPTION_FILTER_PART_TYPE = 0x80;
constexpr uint64_t OPTION_FILTER_INSTALLER_TYPE = 0x100;
constexpr uint64_t OPTION_FILTER_TEMPORARY = 0x200;
constexpr uint64_t OPTION_FILTER_RECOVERABLE = 0x400;
constexpr uint64_t OPTION_INI_STORE_FLAG = 0x80000;
constexpr uint64_t OPTION_FILTER_BASE_PLUS = 0x100000;
constexpr uint64_t OPTION_KEEP_SYSTEM_RESTORE = 0x400000;
constexpr uint64_t OPTION_KEEP_HIBERNATION = 0x2000000;
constexpr uint64_t OPTION_MOUNT_WIM = 0x4000000;
constexpr uint64_t OPTION_IGNORE_RESUME = 0x8000000;
constexpr uint64_t OPTION_COPY_MODULE_FOLDER = 0x40000000;
constexpr uint64_t OPTION_WRITE_EPID = 0x80000000;
constexpr uint64_t OPTION_KEEP_MOUNT_UNTIL_VERIFIED = 0x8000000000ull;

constexpr bool HasOption(uint64_t options, uint64_t bit) { return (options & bit) != 0; }

} // namespace halcyon::modules

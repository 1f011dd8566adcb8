// The six probes with UTF-8 text, behind the UTF-16 exports of the Windows
// build.
#pragma once

#include <cstdint>

namespace halcyon::verprobe::utf8 {

uint32_t GetExeVersion_s(const char *file, char *out, uint32_t out_size);
uint32_t GetRegVersion_s(const char *registry_path, char *out, uint32_t out_size);
uint32_t GetTextVersion_s(const char *file, char *out, uint32_t out_size);
uint32_t GetCopyright_s(const char *file, char *out, uint32_t out_size);
uint32_t GetLastModifiedDate_s(const char *file, char *out, uint32_t out_size);
uint32_t VerifyVersion_s(const char *target, const char *expected, char *out, uint32_t out_size);

} // namespace halcyon::verprobe::utf8

// The engine's calls into VerGauge with UTF-8 text. VerGauge.dll takes and
// answers UTF-16 on Windows; there the text is converted both ways and the
// answer cut to `size` bytes at a character boundary. Results are VerGauge's.
#pragma once

#include <cstdint>

namespace halcyon::frame {

uint32_t VerifyVersion(const char *target, const char *expected, char *out, uint32_t size);
uint32_t GetRegVersion(const char *registryPath, char *out, uint32_t size);

} // namespace halcyon::frame

// The record one probe call works on: built on entry, gone on return.
// Nothing is kept between calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "verprobe/output_buffer.h"

namespace halcyon::verprobe {

struct WorkRecord {
    WorkRecord(char *out, uint32_t size) : output(out, size) {}

    std::string target;    // environment expanded, unquoted, upper case, trimmed
    std::string expected;  // environment expanded, upper case, stripped (VerifyVersion_s only)
    std::string valueText; // registry value as text
    std::vector<uint8_t> rawData; // registry value data
    uint32_t dataSize = 0;
    uint32_t valueType = 0;
    OutputBuffer output;   // cleared on construction
    uint32_t view = 0;     // 0, or the 32-bit (0x200) or 64-bit (0x100) registry view
};

// Expands %NAME% in `text`; false when the result is longer than
// kMaxTextChars characters.
bool ExpandLimited(std::string_view text, std::string *out);

// The target as the probes use it: expanded, surrounding white space and
// quotes removed, upper case. 0, or kTextTooLong.
uint32_t PrepareTarget(std::string_view raw, std::string *target);
// The expected text: expanded, upper case, stripped of leading and trailing
// characters that are neither letters nor digits. 0, or kTextTooLong.
uint32_t PrepareExpected(std::string_view raw, std::string *expected);

} // namespace halcyon::verprobe

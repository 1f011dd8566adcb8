// Result codes of the VerGauge exports (unsigned 32-bit, shared by all six).
#pragma once

#include <cstddef>
#include <cstdint>

namespace halcyon::verprobe {

enum Result : uint32_t {
    kOk = 0,                 // value read, or expectation met
    kFileNotFound = 1,       // not found / not a regular file; copyright: no translation table
    kNoVersionOrMismatch = 2, // no readable version resource, version or date mismatch
    kRegistryMismatch = 3,   // registry value or key name differs; copyright: no "LegalCopyright"
    kTextNotFound = 4,       // text file cannot be opened or no line matches; copyright: no resource
    kEmptyTarget = 5,
    kEmptyExpected = 6,
    kNoBackslash = 7,
    kUnknownRoot = 8,
    kNoValueName = 9,
    kKeyOpenFailed = 10,
    kValueReadFailed = 11,
    kUnsupportedType = 12,
    kEmptyText = 13,
    kZeroSize = 14,
    // Added here: a text (target, expected text, registry string after
    // expansion, first text line) longer than kMaxTextChars characters.
    kTextTooLong = 15,
    // Added here: an internal failure (out of memory) stopped the probe.
    kInternalError = 16,
};

// Longest text the probes handle, in characters.
constexpr size_t kMaxTextChars = 255;

// A short English description of a result code, for operators.
const char *ResultMeaning(uint32_t code);

} // namespace halcyon::verprobe

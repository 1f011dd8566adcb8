// Builds small Windows PE files for tests: a header, one ".rsrc" section and
// an optional version resource (VS_VERSIONINFO with fixed file information,
// a string table and a translation table).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace halcyon::test {

struct PeVersion {
    uint16_t major = 1, minor = 0, build = 0, revision = 0;
    bool withFixedInfo = true;
    bool withTranslation = true;
    uint16_t language = 0x0409;
    uint16_t codePage = 0x04B0;
    // Table name written as "%04X%04X" of language and code page.
    std::vector<std::pair<std::string, std::string>> strings; // ASCII/UTF-8 key, UTF-8 value
};

// The VS_VERSIONINFO bytes.
std::vector<uint8_t> BuildVersionResource(const PeVersion &v);

struct PeLayout {
    bool is64 = false;
    // Bytes of the version resource; empty: no resource directory at all.
    std::vector<uint8_t> versionResource;
};

std::vector<uint8_t> BuildPe(const PeLayout &layout);

// Convenience: a PE file with the given version, written to `path`.
void WritePeFile(const std::string &path, const PeVersion &v, bool is64 = false);

} // namespace halcyon::test

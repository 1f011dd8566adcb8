// Fuzz target: the firmware's OEM strings (an SMBIOS type 11 structure).
// The strings read must lie inside the structure, be neither empty nor hold
// a NUL, be no more than it announces, and be the same whether the bytes
// come from memory or from an entries folder as the kernel shows it.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_scratch.h"
#include "support/wdmi/oem_strings.h"

using namespace halcyon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::Scratch &scratch = [&]() -> fuzz::Scratch & {
        auto &s = fuzz::ScratchFor("oem_strings_fuzz");
        std::filesystem::create_directories(s.Path("entries/11-0"));
        return s;
    }();
    static const std::string entries = scratch.Path("entries"), raw = scratch.Path("entries/11-0/raw");
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    const std::vector<std::string> strings = support::ParseOemStrings(bytes);
    size_t total = 0;
    for (const auto &s : strings) {
        FUZZ_CHECK(!s.empty());
        FUZZ_CHECK(s.find('\0') == std::string::npos);
        total += s.size() + 1;
    }
    if (!strings.empty()) {
        FUZZ_CHECK(size >= 5 && strings.size() <= data[4]);
        FUZZ_CHECK(data[1] + total <= size);
    }
    if (fuzz::WriteWhole(raw, bytes))
        FUZZ_CHECK(support::ReadOemStrings(entries) == strings);
    return 0;
}

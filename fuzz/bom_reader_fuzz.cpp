// Fuzz target: any bytes as a BOM file (one part number a line). The list
// must end within its slots, and no entry may be longer than one read piece
// or keep the spaces and line ends it was trimmed of.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/plan/release_resolution.h"
#include "fuzz/fuzz_scratch.h"

using namespace halcyon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz::ScratchFor("bom_reader_fuzz").Path("parts.bom");
    if (!fuzz::WriteWhole(path, std::string_view(reinterpret_cast<const char *>(data), size)))
        return 0;
    support::StringList1000 parts;
    const int32_t rc = plan::GetComponentPartNumbers(path, parts);
    FUZZ_CHECK(rc == 0 || rc == 103);
    if (rc != 0)
        return 0;
    const size_t count = parts.Count();
    FUZZ_CHECK(count <= support::StringList1000::kMaxEntries);
    for (size_t i = 0; i < count; ++i) {
        const std::string &p = parts[i];
        FUZZ_CHECK(p.size() < 260);
        FUZZ_CHECK(p.find('\n') == std::string::npos);
        if (!p.empty()) {
            FUZZ_CHECK(p.front() != ' ' && p.front() != '\t');
            FUZZ_CHECK(p.back() != ' ' && p.back() != '\t' && p.back() != '\r');
        }
    }
    return 0;
}

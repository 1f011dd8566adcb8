// Fuzz target: the plan builder as a whole. The input is an IDF and a BOM
// in one text, the BOM starting after the first line "--BOM--" (no such line:
// an empty BOM). A plan the builder reports as built must be on disk, read
// back and pass the plan check with the builder's options.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/plan/verify_ini.h"
#include "fuzz/fuzz_scratch.h"
#include "halcyon/HalcyonDLL.h"
#include "support/idf/idf_document.h"
#include "support/ini/ini_store.h"

using namespace halcyon;

namespace {

constexpr std::string_view kBomLine = "\n--BOM--\n";
constexpr uint64_t kOptions = kVerifyAllowNoRecoveryImage;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::Scratch &scratch = [&]() -> fuzz::Scratch & {
        fuzz::QuietStdout();
        return fuzz::ScratchFor("make_ini_fuzz");
    }();
    static const std::string idf = scratch.Path("nx.xml"), bom = scratch.Path("nx.bom"),
                             plan = scratch.Path("halcyon.ini");
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find(kBomLine);
    const std::string_view idfText = input.substr(0, split);
    const std::string_view bomText =
        split == std::string_view::npos ? std::string_view() : input.substr(split + kBomLine.size());
    if (!fuzz::WriteWhole(idf, idfText) || !fuzz::WriteWhole(bom, bomText))
        return 0;
    std::remove(plan.c_str());
    // The document cache keys on size and modification time, which two
    // inputs written within one clock tick can share.
    support::ClearIdfCache();

    const uint32_t rc = MakeIniX(idf.c_str(), bom.c_str(), plan.c_str(), "", 0, kOptions);
    if (rc == 0) {
        support::CMemoryIniIO store;
        FUZZ_CHECK(store.LoadFile(plan));
        FUZZ_CHECK(VerifyIni(store, "", kOptions) == 0);
    }
    return 0;
}

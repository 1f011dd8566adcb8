// Fuzz target: IDF scrambling and unscrambling. Any input is scrambled and
// unscrambled through files; a scrambled IDF must turn back into the same
// bytes, a refused direction writes nothing, and the document reader must
// read a scrambled IDF exactly as its plain form.
#include <cstdint>
#include <string>
#include <string_view>
#include <unistd.h>

#include "fuzz/fuzz_scratch.h"
#include "halcyon/HalcyonDLL.h"
#include "support/idf/idf_document.h"

using namespace halcyon;

namespace {

constexpr uint64_t kScramble = 0x40000;
constexpr std::string_view kSignature = "<?xml version";

std::string Xor(std::string_view bytes)
{
    std::string out(bytes);
    for (auto &c : out)
        c = static_cast<char>(static_cast<unsigned char>(c) ^ 0x5C);
    return out;
}

bool Exists(const std::string &path) { return ::access(path.c_str(), F_OK) == 0; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::Scratch &scratch = fuzz::ScratchFor("idf_scramble_fuzz");
    static const std::string in = scratch.Path("in.xml"), out = scratch.Path("out.xml"),
                             back = scratch.Path("back.xml");
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    if (!fuzz::WriteWhole(in, input))
        return 0;

    for (uint64_t mode : {kScramble, uint64_t{0}}) {
        std::remove(out.c_str());
        std::remove(back.c_str());
        const int32_t rc = ScrambleIdf(in.c_str(), out.c_str(), mode);
        if (rc != 0) {
            FUZZ_CHECK(!Exists(out));
            continue;
        }
        FUZZ_CHECK(fuzz::ReadWhole(out) == Xor(input));
        // The way back checks for the XML declaration at the very start; a
        // plain file that starts otherwise (a byte-order mark, say) is
        // scrambled but not taken back by this routine.
        if (mode == kScramble && input.substr(0, kSignature.size()) != kSignature)
            continue;
        FUZZ_CHECK(ScrambleIdf(out.c_str(), back.c_str(), mode ^ kScramble) == 0);
        FUZZ_CHECK(fuzz::ReadWhole(back) == input);
    }
    FUZZ_CHECK(fuzz::ReadWhole(in) == input);

    // The reader unscrambles on its own: a plain document and its scrambled
    // form give the same answer.
    support::IdfDocument plain, scrambled;
    const int32_t plainRc = support::ParseIdf(input, plain);
    if (plainRc == 0 && input.substr(0, kSignature.size()) == kSignature) {
        FUZZ_CHECK(support::ParseIdf(Xor(input), scrambled) == 0);
        FUZZ_CHECK(scrambled.releases.size() == plain.releases.size());
        for (size_t i = 0; i < plain.releases.size(); ++i)
            FUZZ_CHECK(scrambled.releases[i].releaseId == plain.releases[i].releaseId &&
                       scrambled.releases[i].partNumbers == plain.releases[i].partNumbers);
    }
    return 0;
}

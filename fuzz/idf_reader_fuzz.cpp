// Feeds arbitrary bytes to the IDF reader. Every input must end in a code,
// never a crash, a leak or runaway memory. Well-formed inputs are also
// written to a file and asked the builders' queries.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz/fuzz_scratch.h"
#include "support/idf/idf_document.h"
#include "support/idf/idf_query.h"

using namespace halcyon::support;

namespace {

std::string ScratchPath()
{
    static const std::string path = halcyon::fuzz::ScratchFor("idf_reader_fuzz").Path("idf.xml");
    return path;
}

void AskQueries(const std::string &path, const IdfDocument &doc)
{
    StringList1000 parts, releases, children, partIds, mapped;
    // Ask with the part numbers the document itself names, so that the
    // selection is not empty.
    size_t n = 0;
    for (const auto &r : doc.releases)
        for (const auto &p : r.partNumbers)
            if (n < StringList1000::kMaxEntries)
                parts[n++] = p;
    parts[n] = "NULL";

    GetReleaseIds(path, parts, releases);
    GetChildReleaseIds(path, "Foundation Image", releases, children);
    GetPartIds(path, releases, partIds);
    CXMLNodeList nodes;
    GetSoftwareNodeList(nodes, "ALL", path, releases);
    std::string value;
    uint8_t found = 0;
    StringList1000 values;
    GetDataModules(path, releases, "ZPGM_ELIG_VAL", value, found, &values);
    std::string mcode;
    GetMcode(path, parts, mcode);
    MapSkuToSku(path, parts, mapped);
    GetReleaseIdsFromMcode(path, releases);
    int32_t missing = 0, excluded = 0;
    if (VerifyDependenciesAndExclusions(path, partIds, missing, excluded) == 0) {
        std::vector<CXMLNodeList> m(static_cast<size_t>(missing) + 1), e(static_cast<size_t>(excluded) + 1);
        MakeDependenciesAndExclusionsErrorInfo(path, partIds, &m, &e);
    }
    uint8_t match = 0;
    MatchSoftwareComponentList(path, parts, match);
    CXMLNode header;
    GetIdfHeader(path, header);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char *>(data), size);
    IdfDocument doc;
    if (ParseIdf(bytes, doc) != 0)
        return 0;
    const std::string path = ScratchPath();
    if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
        bool ok = std::fwrite(data, 1, size, f) == size;
        ok = std::fclose(f) == 0 && ok;
        if (ok)
            AskQueries(path, doc);
    }
    ClearIdfCache();
    return 0;
}

// IDF query timings: a generated IDF with N module releases, first query
// (read and parse) against the same query answered from the document cache,
// and a builder-like run of a dozen queries with and without the cache.
// Usage: idf_bench [modules...]   (default 1000 10000)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/idf/idf_document.h"
#include "support/idf/idf_query.h"

using namespace halcyon::support;
using Clock = std::chrono::steady_clock;

namespace {

std::string GenerateIdf(int modules)
{
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<IDF IDFFormatVersion=\"1.05.0.20080531.1\" "
                    "Timestamp=\"2026-11-30T10:00:00\" Series=\"BENCH\" LangRegion=\"EN-US\" BomSnapshotName=\"B\" "
                    "BomSnapshotID=\"S\" Mcode=\"M-1\">\n<Mcode Code=\"M-1\"><PartNumber>SKU-BASE</PartNumber></Mcode>\n";
    s += "<Release ReleaseID=\"100000\" PartId=\"P100000\"><PartNumber>SKU-BASE</PartNumber>"
         "<Software SoftwareType=\"Foundation Image\" ReleaseID=\"100000\" PathToRelease=\"data\\100000\" "
         "TotalSize=\"2097152\" OS=\"W11P64\"/><DataModule Name=\"CleanSweep\" Value=\"\"/></Release>\n";
    for (int i = 0; i < modules; ++i) {
        std::string id = std::to_string(200000 + i);
        s += "<Release ReleaseID=\"" + id + "\" PartId=\"P" + id + "\" Name=\"Module " + id +
             "\">\n  <PartNumber>SKU-" + std::to_string(i % 50) +
             "</PartNumber>\n  <Software SoftwareType=\"Module\" PartName=\"Module " + id + "\" ReleaseID=\"" + id +
             "\" PartType=\"Module\" moduleType=\"Application Module\" CommandLineArguments=\"/quiet\" "
             "PathToRelease=\"sources\\data\\" + id + "\" PartId=\"P" + id +
             "\" rebootSetting=\"None\" InstallerType=\"EXE/BATCH\" SetupFile=\"setup.exe\" MajorVersion=\"1\" "
             "DetailedVersion=\"1.0.0\" VersionCheckAfterInstallation=\"\" VerificationPath=\"\" BasePlus=\"True\" "
             "CustomerDescription=\"Module\" CustomerLabel=\"Module\" Recoverable=\"True\" Temporary=\"False\" "
             "InstallOrderIndex=\"20\" TotalSize=\"10240\" OS=\"W11P64\"/>\n";
        if (i % 100 == 0)
            s += "  <Dependency PartId=\"P" + std::to_string(200000 + (i + 1) % modules) + "\"/>\n";
        s += "</Release>\n";
    }
    s += "</IDF>\n";
    return s;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The queries one builder run asks, in its order.
// With `uncached`, the cache is emptied before every query, so each one
// reads and parses the file as a reader without a cache would.
void BuilderRun(const std::string &idf, const StringList1000 &bom, bool uncached)
{
    auto q = [&] {
        if (uncached)
            ClearIdfCache();
    };
    StringList1000 releases, children, partIds;
    q();
    GetReleaseIds(idf, bom, releases);
    q();
    GetChildReleaseIds(idf, "Foundation Image", releases, children);
    q();
    GetPartIds(idf, releases, partIds);
    int32_t missing = 0, excluded = 0;
    q();
    VerifyDependenciesAndExclusions(idf, partIds, missing, excluded);
    CXMLNode header;
    q();
    GetIdfHeader(idf, header);
    CXMLNodeList nodes;
    q();
    GetSoftwareNodeList(nodes, "Foundation Image", idf, releases);
    q();
    GetSoftwareNodeList(nodes, "P1 (recovery) Image", idf, releases);
    std::string value;
    uint8_t found = 0;
    for (const char *dm : {"ZRP_SMALLCAPACITYDISK_DATAPART", "CleanSweep"}) {
        q();
        GetDataModules(idf, releases, dm, value, found);
    }
    q();
    GetSoftwareNodeList(nodes, "Module", idf, releases);
    q();
    GetDataModules(idf, releases, "Create Combined M-Code", value, found);
    std::string mcode;
    q();
    GetMcode(idf, bom, mcode);
    StringList1000 values;
    q();
    GetDataModules(idf, releases, "ZPGM_ELIG_VAL", value, found, &values);
}

template <typename Fn> double Median(int runs, Fn &&fn)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        auto a = Clock::now();
        fn();
        t.push_back(Ms(Clock::now() - a));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000};

    std::printf("| modules | IDF size | first query (parse) | cached query | builder run, cold | builder run, "
                "no cache | parses per run | selected releases | module nodes |\n|---|---|---|---|---|---|---|---|---|\n");
    for (int modules : sizes) {
        std::string text = GenerateIdf(modules);
        std::string path = "/tmp/idf_bench_" + std::to_string(::getpid()) + ".xml";
        if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        } else {
            std::perror(path.c_str());
            return 1;
        }
        StringList1000 bom = StringList1000::From({"SKU-BASE", "SKU-1", "SKU-2", "SKU-3", "SKU-4"});
        StringList1000 releases;

        double first = Median(5, [&] {
            ClearIdfCache();
            GetReleaseIds(path, bom, releases);
        });
        double cached = Median(21, [&] { GetReleaseIds(path, bom, releases); });
        double builderCold = Median(5, [&] {
            ClearIdfCache();
            BuilderRun(path, bom, false);
        });
        ClearIdfCache();
        uint64_t before = GetIdfCacheStats().parses;
        BuilderRun(path, bom, false);
        uint64_t parsesPerRun = GetIdfCacheStats().parses - before;
        double builderNoCache = Median(3, [&] { BuilderRun(path, bom, true); });
        CXMLNodeList nodes;
        GetSoftwareNodeList(nodes, "Module", path, releases);
        std::printf("| %d | %.1f MB | %.2f ms | %.3f ms | %.2f ms | %.0f ms | %llu | %zu | %d |\n", modules,
                    static_cast<double>(text.size()) / (1024.0 * 1024.0), first, cached, builderCold,
                    builderNoCache, static_cast<unsigned long long>(parsesPerRun), releases.Count(),
                    nodes.GetNumNodes());
        std::remove(path.c_str());
    }
    return 0;
}

// halcyon idf: answers the IDF queries the plan builders ask, for people who
// write IDFs and want to see what a BOM or the IDF's own M-code selects.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "engine/plan/release_resolution.h"
#include "support/idf/idf_query.h"

namespace halcyon::cli {

namespace {

using support::CXMLNode;
using support::CXMLNodeList;
using support::StringList1000;

const char *const kUsage =
    "idf header IDF\n"
    "       idf releases IDF (--bom FILE | --mcode)\n"
    "       idf nodes IDF (--bom FILE | --mcode) [--type TYPE]   (TYPE default ALL)\n"
    "       idf datamodule IDF NAME (--bom FILE | --mcode)\n"
    "       idf mcode IDF --bom FILE\n"
    "       idf check IDF (--bom FILE | --mcode) [--media NRVHDRCV_INI]";

int QueryFailed(const char *what, int32_t rc)
{
    std::string detail = support::IdfLastErrorDetail();
    std::fprintf(stderr, "halcyon idf: %s: %s (%d, %s)%s%s\n", what, support::IdfResultText(rc), rc,
                 support::IdfResultName(rc), detail.empty() ? "" : ": ", detail.c_str());
    return 1;
}

void PrintList(const char *title, const StringList1000 &list)
{
    std::vector<std::string> entries = list.Entries();
    std::printf("%s (%zu):\n", title, entries.size());
    for (const auto &e : entries)
        std::printf("  %s\n", e.c_str());
}

// The releases a builder would select: by the BOM's part numbers or by the
// IDF's M-code, then the foundation image's child releases appended.
struct Selection {
    StringList1000 parts;
    StringList1000 direct;
    StringList1000 children;
    StringList1000 releases;
};

int Select(const std::string &idf, const Options &o, Selection &s, bool quiet)
{
    auto bom = o.Get("bom");
    int32_t rc;
    if (bom) {
        rc = plan::GetComponentPartNumbers(*bom, s.parts);
        if (rc != 0) {
            std::fprintf(stderr, "halcyon idf: cannot read the BOM file %s (%d)\n", bom->c_str(), rc);
            return 1;
        }
        rc = support::GetReleaseIds(idf, s.parts, s.direct);
        if (rc != 0)
            return QueryFailed("GetReleaseIds", rc);
    } else {
        rc = support::GetReleaseIdsFromMcode(idf, s.direct, false, 0);
        if (rc != 0)
            return QueryFailed("GetReleaseIdsFromMcode", rc);
    }
    rc = support::GetChildReleaseIds(idf, "Foundation Image", s.direct, s.children);
    if (rc != 0)
        return QueryFailed("GetChildReleaseIds", rc);
    std::vector<std::string> all = s.direct.Entries();
    for (const auto &c : s.children.Entries())
        all.push_back(c);
    if (all.size() > StringList1000::kMaxEntries) {
        std::fprintf(stderr, "halcyon idf: more than %zu releases selected\n", StringList1000::kMaxEntries);
        return 1;
    }
    s.releases = StringList1000::From(all);
    if (!quiet) {
        if (bom)
            PrintList("Part numbers", s.parts);
        PrintList("Releases", s.direct);
        PrintList("Child releases of the foundation image", s.children);
    }
    return 0;
}

int Header(const std::string &idf)
{
    CXMLNode header;
    if (int32_t rc = support::GetIdfHeader(idf, header); rc != 0)
        return QueryFailed("GetIdfHeader", rc);
    for (const auto &a : header.Attributes())
        std::printf("%s=%s\n", a.first.c_str(), a.second.c_str());
    return 0;
}

int Nodes(const std::string &idf, const Options &o)
{
    Selection s;
    if (int rc = Select(idf, o, s, true))
        return rc;
    CXMLNodeList nodes;
    if (int32_t rc = support::GetSoftwareNodeList(nodes, o.GetOr("type", "ALL"), idf, s.releases); rc != 0)
        return QueryFailed("GetSoftwareNodeList", rc);
    std::printf("Software nodes (%d):\n", nodes.GetNumNodes());
    nodes.PrintListPC();
    return 0;
}

int DataModule(const std::string &idf, const std::string &name, const Options &o)
{
    Selection s;
    if (int rc = Select(idf, o, s, true))
        return rc;
    std::string value;
    uint8_t found = 0;
    StringList1000 values;
    if (int32_t rc = support::GetDataModules(idf, s.releases, name, value, found, &values); rc != 0)
        return QueryFailed("GetDataModules", rc);
    if (!found) {
        std::printf("%s: not selected\n", name.c_str());
        return 0;
    }
    std::printf("%s: found, value \"%s\"\n", name.c_str(), value.c_str());
    for (size_t i = 0; i < StringList1000::kSlots && !values[i].empty(); ++i)
        std::printf("  value %zu: %s\n", i + 1, values[i].c_str());
    return 0;
}

int Mcode(const std::string &idf, const Options &o)
{
    auto bom = o.Get("bom");
    if (!bom)
        return UsageError(*FindCommand("idf"), "mcode needs --bom FILE");
    StringList1000 parts, mapped;
    if (int32_t rc = plan::GetComponentPartNumbers(*bom, parts); rc != 0) {
        std::fprintf(stderr, "halcyon idf: cannot read the BOM file %s (%d)\n", bom->c_str(), rc);
        return 1;
    }
    if (int32_t rc = support::MapSkuToSku(idf, parts, mapped); rc != 0)
        return QueryFailed("MapSkuToSku", rc);
    PrintList("SKUs mapped from the part numbers", mapped);
    std::string mcode;
    int32_t rc = support::GetMcode(idf, parts, mcode);
    if (rc != 0)
        return QueryFailed("GetMcode", rc);
    std::printf("M-code: %s\n", mcode.c_str());
    return 0;
}

int Check(const std::string &idf, const Options &o)
{
    if (int rc = Header(idf))
        return rc;
    Selection s;
    if (int rc = Select(idf, o, s, false))
        return rc;
    int problems = 0;
    if (o.Get("bom")) {
        uint8_t match = 0;
        if (int32_t rc = support::MatchSoftwareComponentList(idf, s.parts, match); rc != 0)
            return QueryFailed("MatchSoftwareComponentList", rc);
        std::printf("Component list: %s\n", match ? "matches the BOM" : "does not match the BOM");
    }
    StringList1000 partIds;
    if (int32_t rc = support::GetPartIds(idf, s.releases, partIds); rc != 0)
        return QueryFailed("GetPartIds", rc);
    PrintList("Part IDs", partIds);

    int32_t missing = 0, excluded = 0;
    if (int32_t rc = support::VerifyDependenciesAndExclusions(idf, partIds, missing, excluded); rc != 0)
        return QueryFailed("VerifyDependenciesAndExclusions", rc);
    std::printf("Missing dependencies: %d, exclusions: %d\n", missing, excluded);
    if (missing || excluded) {
        std::vector<CXMLNodeList> m(static_cast<size_t>(missing) + 1), e(static_cast<size_t>(excluded) + 1);
        if (int32_t rc = support::MakeDependenciesAndExclusionsErrorInfo(idf, partIds, &m, &e); rc != 0)
            return QueryFailed("MakeDependenciesAndExclusionsErrorInfo", rc);
        for (const auto &l : m)
            l.PrintListPC();
        for (const auto &l : e)
            l.PrintListPC();
        ++problems;
    }
    CXMLNodeList images;
    if (int32_t rc = support::GetSoftwareNodeList(images, "Foundation Image", idf, s.releases); rc != 0)
        return QueryFailed("GetSoftwareNodeList", rc);
    std::printf("Foundation images: %d\n", images.GetNumNodes());
    if (auto media = o.Get("media")) {
        int32_t rc = support::DefaultImageExists(idf, *media, 0);
        std::printf("Default image on the media: %s\n", rc == 0 ? "yes" : support::IdfResultText(rc));
        if (rc != 0)
            ++problems;
    }
    std::printf("%s\n", problems ? "Problems found." : "No problems found.");
    return problems ? 1 : 0;
}

int RunIdf(const Args &args)
{
    const Command &cmd = *FindCommand("idf");
    Options o(args, {"mcode"});
    const auto &pos = o.Positional();
    if (pos.size() < 2)
        return UsageError(cmd, "expected: QUERY IDF");
    const std::string &query = pos[0];
    const std::string &idf = pos[1];
    const bool needsSelection = query == "releases" || query == "nodes" || query == "datamodule" || query == "check";
    if (needsSelection && o.Get("bom").has_value() == o.Has("mcode"))
        return UsageError(cmd, "give either --bom FILE or --mcode");
    if (query == "header" && pos.size() == 2)
        return Header(idf);
    if (query == "releases" && pos.size() == 2) {
        Selection s;
        return Select(idf, o, s, false);
    }
    if (query == "nodes" && pos.size() == 2)
        return Nodes(idf, o);
    if (query == "datamodule" && pos.size() == 3)
        return DataModule(idf, pos[2], o);
    if (query == "mcode" && pos.size() == 2)
        return Mcode(idf, o);
    if (query == "check" && pos.size() == 2)
        return Check(idf, o);
    return UsageError(cmd, "unknown query or wrong number of arguments");
}

const CommandRegistration kRegistration{"idf", "answer IDF queries for a BOM or the IDF's M-code", kUsage, RunIdf};

} // namespace

} // namespace halcyon::cli

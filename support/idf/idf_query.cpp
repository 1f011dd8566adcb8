#include "support/idf/idf_query.h"

#include <new>
#include <unordered_map>
#include <unordered_set>

#include "platform/path_map.h"
#include "support/idf/idf_document.h"
#include "support/ini/ini_store.h"

namespace halcyon::support {

namespace {

using KeySet = std::unordered_set<std::string>;

// The keys of a list's entries up to its "NULL", empty entries left out.
KeySet KeysOf(const StringList1000 &list)
{
    KeySet keys;
    size_t n = list.Count();
    keys.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        std::string k = IdfKey(list[i]);
        if (!k.empty())
            keys.insert(std::move(k));
    }
    return keys;
}

// Fills an output list: entries then "NULL"; past 999 entries it only notes
// that the result did not fit.
class ListWriter {
public:
    explicit ListWriter(StringList1000 &list) : list_(list) { list_.Clear(); }
    void Add(std::string_view value)
    {
        if (n_ >= StringList1000::kMaxEntries) {
            full_ = true;
            return;
        }
        list_[n_++] = value;
        list_[n_] = StringList1000::kEnd;
    }
    int32_t Result() const { return full_ ? IDF_LIST_FULL : IDF_OK; }

private:
    StringList1000 &list_;
    size_t n_ = 0;
    bool full_ = false;
};

CXMLNode CopyNode(pugi::xml_node n)
{
    CXMLNode node(n.name());
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
        node.AddAttribute(a.name(), a.value());
    return node;
}

std::string Attr(pugi::xml_node n, std::string_view name) { return FindAttribute(n, name).value(); }

template <typename Fn> void ForSelected(const IdfDocument &d, const KeySet &releaseIds, Fn &&fn)
{
    for (const auto &r : d.releases)
        if (!r.releaseId.empty() && releaseIds.count(r.releaseId))
            fn(r);
}

template <typename Fn> void ForSoftware(pugi::xml_node release, std::string_view typeKey, Fn &&fn)
{
    const bool all = typeKey == "ALL";
    for (pugi::xml_node s = release.child("Software"); s; s = s.next_sibling("Software"))
        if (all || IdfKey(Attr(s, "SoftwareType")) == typeKey)
            fn(s);
}

void ReleasesOfParts(const IdfDocument &d, const KeySet &parts, ListWriter &out)
{
    for (const auto &r : d.releases) {
        for (const auto &p : r.partNumbers) {
            if (!p.empty() && parts.count(p)) {
                out.Add(Attr(r.node, "ReleaseID"));
                break;
            }
        }
    }
}

// The part numbers of the Mcode element named by the root's Mcode attribute.
int32_t McodeParts(const IdfDocument &d, KeySet &parts)
{
    std::string code = IdfKey(Attr(d.root, "Mcode"));
    if (code.empty())
        return IDF_NO_ROOT_MCODE;
    for (const auto &m : d.mcodes) {
        if (m.code == code) {
            parts.clear();
            for (const auto &p : m.partNumbers)
                if (!p.empty())
                    parts.insert(p);
            return IDF_OK;
        }
    }
    return IDF_MCODE_NOT_FOUND;
}

// Runs `fn(doc)` on the loaded IDF; load failures and memory exhaustion
// become codes.
template <typename Fn> int32_t WithIdf(std::string_view idfPath, Fn &&fn)
{
    try {
        std::shared_ptr<const IdfDocument> doc;
        if (int32_t rc = LoadIdf(idfPath, doc); rc != IDF_OK)
            return rc;
        return fn(*doc);
    } catch (const std::bad_alloc &) {
        return IDF_OUT_OF_MEMORY;
    }
}

} // namespace

int32_t GetIdfHeader(std::string_view idfPath, CXMLNode &header)
{
    header.Reset();
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        header = CopyNode(d.root);
        return IDF_OK;
    });
}

int32_t GetSoftwareNodeList(CXMLNodeList &nodes, std::string_view softwareType, std::string_view idfPath,
                            const StringList1000 &releaseIds)
{
    nodes.Reset();
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        const KeySet ids = KeysOf(releaseIds);
        const std::string type = IdfKey(softwareType);
        ForSelected(d, ids, [&](const IdfRelease &r) {
            ForSoftware(r.node, type, [&](pugi::xml_node s) { nodes.AddNode(CopyNode(s)); });
        });
        return IDF_OK;
    });
}

int32_t GetSoftwareNodes(std::vector<pugi::xml_node> &nodes, std::shared_ptr<const IdfDocument> &doc,
                         std::string_view softwareType, std::string_view idfPath, const StringList1000 &releaseIds)
{
    nodes.clear();
    doc.reset();
    try {
        if (int32_t rc = LoadIdf(idfPath, doc); rc != IDF_OK)
            return rc;
        const KeySet ids = KeysOf(releaseIds);
        const std::string type = IdfKey(softwareType);
        ForSelected(*doc, ids, [&](const IdfRelease &r) { ForSoftware(r.node, type, [&](pugi::xml_node s) { nodes.push_back(s); }); });
        return static_cast<int32_t>(IDF_OK);
    } catch (const std::bad_alloc &) {
        nodes.clear();
        doc.reset();
        return static_cast<int32_t>(IDF_OUT_OF_MEMORY);
    }
}

int32_t GetDataModules(std::string_view idfPath, const StringList1000 &releaseIds, std::string_view name,
                       std::string &value, uint8_t &found, StringList1000 *values)
{
    found = 0;
    value.clear();
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        const KeySet ids = KeysOf(releaseIds);
        const std::string key = IdfKey(name);
        if (values)
            values->ClearAll();
        size_t n = 0;
        bool full = false;
        ForSelected(d, ids, [&](const IdfRelease &r) {
            for (pugi::xml_node m : r.dataModules) {
                if (IdfKey(Attr(m, "Name")) != key)
                    continue;
                std::string v = Attr(m, "Value");
                if (!found) {
                    found = 1;
                    value = v;
                }
                if (values) {
                    if (n < StringList1000::kSlots)
                        (*values)[n++] = std::move(v);
                    else
                        full = true;
                }
            }
        });
        return full ? IDF_LIST_FULL : IDF_OK;
    });
}

int32_t GetReleaseIds(std::string_view idfPath, const StringList1000 &partNumbers, StringList1000 &releaseIds)
{
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        const KeySet parts = KeysOf(partNumbers);
        ListWriter out(releaseIds);
        ReleasesOfParts(d, parts, out);
        return out.Result();
    });
}

int32_t GetReleaseIdsFromMcode(std::string_view idfPath, StringList1000 &releaseIds, bool, uint64_t)
{
    releaseIds.Clear();
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        KeySet parts;
        if (int32_t rc = McodeParts(d, parts); rc != IDF_OK)
            return rc;
        ListWriter out(releaseIds);
        ReleasesOfParts(d, parts, out);
        return out.Result();
    });
}

int32_t GetChildReleaseIds(std::string_view idfPath, std::string_view softwareType,
                           const StringList1000 &releaseIds, StringList1000 &childReleaseIds)
{
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        const KeySet ids = KeysOf(releaseIds);
        const std::string type = IdfKey(softwareType);
        ListWriter out(childReleaseIds);
        ForSelected(d, ids, [&](const IdfRelease &r) {
            ForSoftware(r.node, type, [&](pugi::xml_node s) {
                for (pugi::xml_node c = s.child("ChildRelease"); c; c = c.next_sibling("ChildRelease"))
                    if (pugi::xml_attribute a = FindAttribute(c, "ReleaseID"))
                        out.Add(a.value());
            });
        });
        return out.Result();
    });
}

int32_t GetPartIds(std::string_view idfPath, const StringList1000 &releaseIds, StringList1000 &partIds)
{
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        const KeySet ids = KeysOf(releaseIds);
        ListWriter out(partIds);
        ForSelected(d, ids, [&](const IdfRelease &r) {
            if (pugi::xml_attribute a = FindAttribute(r.node, "PartId"))
                out.Add(a.value());
        });
        return out.Result();
    });
}

int32_t GetMcode(std::string_view idfPath, const StringList1000 &partNumbers, std::string &mcode)
{
    mcode.clear();
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        const KeySet parts = KeysOf(partNumbers);
        for (const auto &m : d.mcodes) {
            if (m.partNumbers.empty())
                continue;
            bool all = true;
            for (const auto &p : m.partNumbers)
                if (!parts.count(p)) {
                    all = false;
                    break;
                }
            if (all) {
                mcode = Attr(m.node, "Code");
                return static_cast<int32_t>(IDF_OK);
            }
        }
        return static_cast<int32_t>(IDF_MCODE_NOT_FOUND);
    });
}

int32_t MapSkuToSku(std::string_view idfPath, const StringList1000 &partNumbers, StringList1000 &mapped)
{
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        std::unordered_map<std::string, std::vector<std::string>> to;
        for (pugi::xml_node m : d.skuMaps)
            to[IdfKey(Attr(m, "From"))].push_back(Attr(m, "To"));
        std::vector<std::string> parts;
        size_t n = partNumbers.Count();
        for (size_t i = 0; i < n; ++i)
            parts.push_back(IdfKey(partNumbers[i]));
        ListWriter out(mapped);
        for (const auto &p : parts) {
            if (p.empty())
                continue;
            auto it = to.find(p);
            if (it != to.end())
                for (const auto &t : it->second)
                    out.Add(t);
        }
        return out.Result();
    });
}

namespace {

// Walks the problems of the releases whose PartId is listed, in order:
// fn(release, node, isExclusion).
template <typename Fn> void ForProblems(const IdfDocument &d, const KeySet &partIds, Fn &&fn)
{
    for (const auto &r : d.releases) {
        if (r.partId.empty() || !partIds.count(r.partId))
            continue;
        for (pugi::xml_node c = r.node.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element)
                continue;
            std::string_view name = c.name();
            if (name == "Dependency") {
                if (!partIds.count(IdfKey(Attr(c, "PartId"))))
                    fn(r, c, false);
            } else if (name == "Exclusion") {
                if (partIds.count(IdfKey(Attr(c, "PartId"))))
                    fn(r, c, true);
            }
        }
    }
}

} // namespace

int32_t VerifyDependenciesAndExclusions(std::string_view idfPath, const StringList1000 &partIds,
                                        int32_t &missingDependencies, int32_t &exclusions)
{
    missingDependencies = 0;
    exclusions = 0;
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        const KeySet ids = KeysOf(partIds);
        ForProblems(d, ids, [&](const IdfRelease &, pugi::xml_node, bool exclusion) {
            ++(exclusion ? exclusions : missingDependencies);
        });
        return IDF_OK;
    });
}

int32_t MakeDependenciesAndExclusionsErrorInfo(std::string_view idfPath, const StringList1000 &partIds,
                                               std::vector<CXMLNodeList> *missingDependencies,
                                               std::vector<CXMLNodeList> *exclusions)
{
    for (auto *array : {missingDependencies, exclusions})
        if (array)
            for (auto &l : *array)
                l.Reset();
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        const KeySet ids = KeysOf(partIds);
        size_t missingAt = 0, exclusionAt = 0;
        bool full = false;
        ForProblems(d, ids, [&](const IdfRelease &r, pugi::xml_node problem, bool exclusion) {
            std::vector<CXMLNodeList> *array = exclusion ? exclusions : missingDependencies;
            size_t &at = exclusion ? exclusionAt : missingAt;
            if (!array)
                return;
            if (at + 1 >= array->size()) {
                full = true;
                return;
            }
            CXMLNode release("Release");
            for (const char *name : {"ReleaseID", "PartId", "Name"})
                if (pugi::xml_attribute a = FindAttribute(r.node, name))
                    release.AddAttribute(name, a.value());
            CXMLNodeList &list = (*array)[at++];
            list.AddNode(std::move(release));
            list.AddNode(CopyNode(problem));
        });
        return full ? IDF_LIST_FULL : IDF_OK;
    });
}

int32_t DefaultImageExists(std::string_view idfPath, std::string_view mediaIniPath, uint64_t)
{
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        KeySet parts;
        if (int32_t rc = McodeParts(d, parts); rc != IDF_OK)
            return rc;
        KeySet selected;
        for (const auto &r : d.releases)
            for (const auto &p : r.partNumbers)
                if (!p.empty() && parts.count(p)) {
                    selected.insert(r.releaseId);
                    break;
                }

        CMemoryIniIO media;
        if (!media.LoadFile(mediaIniPath))
            return static_cast<int32_t>(IDF_MEDIA_INI_UNREADABLE);
        std::vector<std::string> values;
        for (const auto &section : media.SectionNames()) {
            if (section.size() < 6 || !platform::EqualsNoCase(std::string_view(section).substr(0, 6), "MEDIA:"))
                continue;
            for (const auto &kv : media.Entries(section))
                values.push_back(platform::ToUpperAscii(kv.second));
        }

        int images = 0;
        bool missing = false;
        ForSelected(d, selected, [&](const IdfRelease &r) {
            ForSoftware(r.node, "FOUNDATION IMAGE", [&](pugi::xml_node s) {
                ++images;
                pugi::xml_attribute path = FindAttribute(s, "PathToRelease");
                std::string needle = "SOURCES\\" + IdfKey(path.value());
                bool offered = false;
                if (path && !IdfKey(path.value()).empty())
                    for (const auto &v : values)
                        if (v.find(needle) != std::string::npos) {
                            offered = true;
                            break;
                        }
                if (!offered)
                    missing = true;
            });
        });
        return (images == 0 || missing) ? static_cast<int32_t>(IDF_NO_DEFAULT_IMAGE) : static_cast<int32_t>(IDF_OK);
    });
}

int32_t MatchSoftwareComponentList(std::string_view idfPath, const StringList1000 &components, uint8_t &match)
{
    match = 0;
    return WithIdf(idfPath, [&](const IdfDocument &d) {
        const KeySet have = KeysOf(components);
        if (d.components.empty())
            return IDF_OK;
        for (pugi::xml_node c : d.components)
            if (!have.count(IdfKey(Attr(c, "PartNumber"))))
                return IDF_OK;
        match = 1;
        return IDF_OK;
    });
}

} // namespace halcyon::support

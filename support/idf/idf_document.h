// Reading an IDF once: the parsed document with an index of its top-level
// elements, shared through a small cache keyed by (host path, size,
// modification time). Every query of idf_query.h goes through LoadIdf, so a
// builder run that asks a dozen questions parses the file once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace halcyon::support {

// Trimmed, upper-cased text: the form every comparison of the queries uses.
std::string IdfKey(std::string_view text);

struct IdfRelease {
    pugi::xml_node node;
    std::string releaseId;                // IdfKey of ReleaseID
    std::string partId;                   // IdfKey of PartId
    std::vector<std::string> partNumbers; // IdfKey of each PartNumber text
    std::vector<pugi::xml_node> dataModules; // DataModule children, document order
};

struct IdfMcode {
    pugi::xml_node node;
    std::string code;                     // IdfKey of Code
    std::vector<std::string> partNumbers; // IdfKey of each PartNumber text
};

class IdfDocument {
public:
    pugi::xml_document doc;
    pugi::xml_node root;
    std::vector<IdfRelease> releases;       // document order
    std::vector<IdfMcode> mcodes;           // document order
    std::vector<pugi::xml_node> skuMaps;    // document order
    std::vector<pugi::xml_node> components; // ComponentList/Component, document order
    size_t fileBytes = 0;
};

// Parses `bytes` (plain or scrambled) into `out`; 0 or an IdfResult code.
// Sets the thread's last error detail.
int32_t ParseIdf(std::string_view bytes, IdfDocument &out);

// The IDF at `idfPath`, from the cache when the file's size and
// modification time are unchanged. 0 and the document, or an IdfResult.
int32_t LoadIdf(std::string_view idfPath, std::shared_ptr<const IdfDocument> &doc);

// Attribute lookup without regard to the name's case; an empty attribute
// when absent.
pugi::xml_attribute FindAttribute(pugi::xml_node node, std::string_view name);

// Cache housekeeping and figures (tests, benchmarks, the idf command).
struct IdfCacheStats {
    uint64_t parses = 0; // documents parsed
    uint64_t hits = 0;   // answers served from the cache
};
IdfCacheStats GetIdfCacheStats();
void ClearIdfCache();

} // namespace halcyon::support

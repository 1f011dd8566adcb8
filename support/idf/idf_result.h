// Result codes of the IDF queries. 0 is success; the others lie in a range
// of their own (3001-3099) so that a code handed up unchanged by a plan
// builder cannot be mistaken for one of the engine's return codes.
// docs/idf-library.md describes each.
#pragma once

#include <cstdint>
#include <string>

namespace halcyon::support {

enum IdfResult : int32_t {
    IDF_OK = 0,
    IDF_FILE_NOT_FOUND = 3001,      // no file at the IDF path (or the path is empty)
    IDF_FILE_UNREADABLE = 3002,     // the file exists but cannot be opened or read
    IDF_FILE_EMPTY = 3003,          // zero bytes, or only white space
    IDF_FILE_TOO_LARGE = 3004,      // larger than kIdfMaxFileBytes
    IDF_NOT_WELL_FORMED = 3005,     // the XML parser refused the text (truncated, bad syntax, ...)
    IDF_DOCTYPE_REFUSED = 3006,     // a document type declaration (entities) is present
    IDF_TOO_DEEP = 3007,            // elements nested deeper than kIdfMaxDepth
    IDF_TOO_COMPLEX = 3008,         // more markup than kIdfMaxMarkup elements and attributes
    IDF_ROOT_NOT_IDF = 3009,        // well-formed XML whose root element is not "IDF"
    IDF_LIST_FULL = 3010,           // a result does not fit its list (999 entries, or the report array)
    IDF_NO_ROOT_MCODE = 3011,       // the root has no Mcode attribute
    IDF_MCODE_NOT_FOUND = 3012,     // no Mcode element answers the query
    IDF_ATTRIBUTE_NOT_FOUND = 3013, // CXMLNode: no attribute of that name
    IDF_INDEX_OUT_OF_RANGE = 3014,  // CXMLNodeList: no node at that index
    IDF_NO_DEFAULT_IMAGE = 3015,    // the media description does not offer the default image
    IDF_MEDIA_INI_UNREADABLE = 3016,// the media description cannot be read
    IDF_OUT_OF_MEMORY = 3017,       // memory ran out while reading or answering
};

// Limits applied before and after parsing.
inline constexpr uint64_t kIdfMaxFileBytes = 32ull * 1024 * 1024;
inline constexpr uint64_t kIdfMaxMarkup = 2'000'000;
inline constexpr int kIdfMaxDepth = 64;

// "IDF_NOT_WELL_FORMED", ... ("IDF_OK" for 0, "IDF_UNKNOWN" otherwise).
const char *IdfResultName(int32_t code);
// A sentence for operators, e.g. "the IDF is not well-formed XML".
const char *IdfResultText(int32_t code);
// Detail of the last failed read on this thread ("line 12, column 4: ..."),
// empty when the last read succeeded.
std::string IdfLastErrorDetail();

} // namespace halcyon::support

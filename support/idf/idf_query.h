// The IDF queries of the plan builders. Each takes the IDF's path (Windows
// or host path text), reads the IDF through the document cache
// (idf_document.h, one parse per file version) and returns 0 or a code of
// idf_result.h. A scrambled IDF (every byte XOR 0x5C) reads as plain.
//
// Comparisons of part numbers, release IDs, part IDs, codes and software
// types ignore (ASCII) case and surrounding white space; values handed out
// are as written. Input lists are read up to their "NULL" entry (at most
// 1000 slots); output lists get their entries then "NULL", and a result that
// does not fit 999 entries gives IDF_LIST_FULL (the list then holds the first
// 999 and "NULL"). "Selected releases" are the Release elements whose
// ReleaseID is in the given list; results come in document order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/idf/idf_document.h"
#include "support/idf/idf_result.h"
#include "support/idf/string_list.h"
#include "support/idf/xml_node.h"

namespace halcyon::support {

// The root element (name "IDF" and its attributes).
int32_t GetIdfHeader(std::string_view idfPath, CXMLNode &header);

// The Software nodes of the selected releases whose SoftwareType is
// `softwareType`; "ALL" takes every Software node. `nodes` is reset first.
int32_t GetSoftwareNodeList(CXMLNodeList &nodes, std::string_view softwareType, std::string_view idfPath,
                            const StringList1000 &releaseIds);

// The same selection as handles into the parsed document, which `doc`
// keeps alive: nothing is copied. `nodes` and `doc` are reset first.
int32_t GetSoftwareNodes(std::vector<pugi::xml_node> &nodes, std::shared_ptr<const IdfDocument> &doc,
                         std::string_view softwareType, std::string_view idfPath, const StringList1000 &releaseIds);

// `found` = 1 when a selected release has a DataModule named `name` (else
// 0; set on every call, also on failure), `value` = the first one's Value.
// With `values`, it receives every such Value in order, then empty slots
// (no "NULL" mark); more than 1000 values give IDF_LIST_FULL.
int32_t GetDataModules(std::string_view idfPath, const StringList1000 &releaseIds, std::string_view name,
                       std::string &value, uint8_t &found, StringList1000 *values = nullptr);

// ReleaseIDs of the releases with a PartNumber equal to a non-empty entry
// of `partNumbers`; each release once.
int32_t GetReleaseIds(std::string_view idfPath, const StringList1000 &partNumbers, StringList1000 &releaseIds);

// The releases selected by the part numbers of the Mcode element whose Code
// is the root's Mcode attribute. `unused` and `options` are accepted and
// ignored.
int32_t GetReleaseIdsFromMcode(std::string_view idfPath, StringList1000 &releaseIds, bool unused = false,
                               uint64_t options = 0);

// ChildRelease@ReleaseID values inside the `softwareType` Software nodes of
// the selected releases.
int32_t GetChildReleaseIds(std::string_view idfPath, std::string_view softwareType,
                           const StringList1000 &releaseIds, StringList1000 &childReleaseIds);

// Release@PartId of the selected releases (releases without one are left out).
int32_t GetPartIds(std::string_view idfPath, const StringList1000 &releaseIds, StringList1000 &partIds);

// The Code of the first Mcode element all of whose PartNumbers occur in
// `partNumbers` (an Mcode without PartNumbers never answers);
// IDF_MCODE_NOT_FOUND when none does.
int32_t GetMcode(std::string_view idfPath, const StringList1000 &partNumbers, std::string &mcode);

// For each non-empty part number in list order, the To of every SkuMap whose
// From equals it.
int32_t MapSkuToSku(std::string_view idfPath, const StringList1000 &partNumbers, StringList1000 &mapped);

// For the releases whose PartId is in `partIds`: one missing dependency per
// Dependency@PartId not in the list, one exclusion per Exclusion@PartId in it.
int32_t VerifyDependenciesAndExclusions(std::string_view idfPath, const StringList1000 &partIds,
                                        int32_t &missingDependencies, int32_t &exclusions);

// One node list per problem, in the order VerifyDependenciesAndExclusions
// counts them: the release's node ("Release" with ReleaseID, PartId, Name
// as present) then the offending Dependency or Exclusion node. Each array
// (either may be null) is filled from its start and must keep at least one
// list after the last problem; every list not filled is reset (empty).
// An array too small for its problems gives IDF_LIST_FULL.
int32_t MakeDependenciesAndExclusionsErrorInfo(std::string_view idfPath, const StringList1000 &partIds,
                                               std::vector<CXMLNodeList> *missingDependencies,
                                               std::vector<CXMLNodeList> *exclusions);

// 0 when, for every "Foundation Image" node of the releases selected by the
// IDF's M-code, "sources\" + its PathToRelease occurs (without regard to
// case) in a value of a key of a section of `mediaIniPath` whose name starts
// with "MEDIA:". IDF_NO_DEFAULT_IMAGE when one is missing or there is no
// foundation image, IDF_MEDIA_INI_UNREADABLE when the file cannot be read,
// or the code of the M-code selection.
int32_t DefaultImageExists(std::string_view idfPath, std::string_view mediaIniPath, uint64_t options = 0);

// `match` = 1 when the IDF has at least one ComponentList/Component and
// every Component@PartNumber occurs in `components`; else 0 (set on every
// call).
int32_t MatchSoftwareComponentList(std::string_view idfPath, const StringList1000 &components, uint8_t &match);

} // namespace halcyon::support

// The builders' own steps of release selection: reading the BOM file,
// detecting a combined M-code, adding SKUs mapped from other SKUs, and
// checking dependencies and exclusions of the selected parts.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/idf/string_list.h"

namespace halcyon::plan {

using support::StringList1000;

// Option bit set by DetermineUpDown when the combined M-code data module is
// selected.
inline constexpr uint64_t kOptionCombinedMcode = 0x1000000;

// Reads the BOM file into `partNumbers`: one entry per line, a line longer
// than 259 characters in pieces of 259, each trimmed, then "NULL".
// 0; 7 when the file cannot be opened; 103 when a 1000th entry would be
// stored.
int32_t GetComponentPartNumbers(std::string_view bomPath, StringList1000 &partNumbers);

// Sets kOptionCombinedMcode in `options` when a selected release carries the
// data module "Create Combined M-Code". 0, 27 (log) or the query's code.
int32_t DetermineUpDown(std::string_view idfPath, const StringList1000 &releaseIds, std::string_view logPath,
                        uint64_t &options);

// Appends the SKUs mapped from the part numbers (MapSkuToSku). 0, 227 when
// the list would exceed 999 entries, or the query's code.
int32_t GetSkuFromSku(std::string_view idfPath, StringList1000 &partNumbers, std::string_view logPath);

// Reports missing dependencies and present exclusions of the selected parts.
// 0, 28 (query failed) or 40 (problems found, or no memory for the report).
int32_t CheckDependenciesAndExclusions(std::string_view idfPath, const StringList1000 &partIds,
                                       std::string_view logPath);

// Name of the merge step in ResolveMcodeReleases's `failedStep`: the child
// releases would make the list too long.
inline constexpr const char *kMergeChildReleasesStep = "MergeChildReleases";

// The releases of the IDF's own M-code as the builders resolve them: the
// M-code's releases (read with `mcodeOptions`), DetermineUpDown on `options`,
// the foundation image's child releases merged in, and the dependency and
// exclusion check of their parts. 0, or the failing step's code with the
// step's name in `failedStep`.
int32_t ResolveMcodeReleases(std::string_view idfPath, std::string_view logPath, uint64_t mcodeOptions,
                             uint64_t &options, StringList1000 &releaseIds, StringList1000 &childReleaseIds,
                             const char *&failedStep);

} // namespace halcyon::plan

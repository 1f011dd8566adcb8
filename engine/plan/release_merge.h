// Adding the foundation image's child releases to the selected releases.
#pragma once

#include <cstdint>

#include "support/idf/string_list.h"

namespace halcyon::plan {

// Appends the child release IDs (up to their "NULL") after the release IDs
// (counted up to the first "NULL" in any case) and ends the list with
// "NULL". Duplicates are kept. 0, or 104 when a child would be appended to
// a list that already holds 999 entries.
int32_t MergeChildReleases(support::StringList1000 &releaseIds, const support::StringList1000 &childReleaseIds);

} // namespace halcyon::plan

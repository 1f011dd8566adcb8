#include "engine/plan/release_merge.h"

namespace halcyon::plan {

int32_t MergeChildReleases(support::StringList1000 &releaseIds, const support::StringList1000 &childReleaseIds)
{
    constexpr int32_t kTooManyReleases = 104;
    size_t count = releaseIds.CountNoCase();
    if (count >= support::StringList1000::kSlots)
        return kTooManyReleases; // no end mark at all: nothing can be appended safely
    for (size_t i = 0; i < support::StringList1000::kSlots && !support::IsListEnd(childReleaseIds[i]); ++i) {
        if (count >= support::StringList1000::kMaxEntries)
            return kTooManyReleases;
        releaseIds[count++] = childReleaseIds[i];
    }
    releaseIds[count] = std::string(support::StringList1000::kEnd);
    return 0;
}

} // namespace halcyon::plan

#include "engine/plan/install_order.h"

#include <algorithm>

namespace halcyon::plan {

void SortByInstallOrder(std::span<const int32_t> keys, std::span<size_t> order)
{
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
}

} // namespace halcyon::plan

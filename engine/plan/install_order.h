// Install order of the IDF's software nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace halcyon::plan {

// Sorts `order` (indexes into `keys`) by ascending key. Stable: indexes with
// equal keys keep their relative order, so nodes with the same
// InstallOrderIndex stay in IDF order.
void SortByInstallOrder(std::span<const int32_t> keys, std::span<size_t> order);

} // namespace halcyon::plan

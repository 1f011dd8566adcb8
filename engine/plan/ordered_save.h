// Saving the plan with its fixed section order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/ini/ini_store.h"

namespace halcyon {

// The section patterns of halcyon.ini in file order ("%d" = 1, 2, ... up to
// the family's "End" section).
const std::vector<std::string> &PlanSectionOrder();

// Writes the plan to `planPath` in that order. False when the save fails.
bool SaveOrderedIniFile(std::string_view planPath, const support::CMemoryIniIO &store);

} // namespace halcyon

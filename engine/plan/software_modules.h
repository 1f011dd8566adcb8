// The module part of the plan: the IDF's "Module" nodes of the selected
// releases as the numbered families "%d" (main modules, then EPC modules)
// and "PE%d" (pre-installation modules), each ended by an "End" section.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/idf/string_list.h"
#include "support/ini/ini_store.h"

namespace halcyon::plan {

// Writes the module sections into `store` and adds the module sizes (KB) to
// the accumulators. With option bit 24 (main, EPC and PE modules) or bit 25
// (EPC and PE modules) a module is kept only when its OS list holds
// `foundationOs`. An IDF without "Module" nodes writes nothing.
// 0, 8 (required attribute missing), 27 (log), 241 (empty TotalSize) or the
// query library's code.
int32_t GetSoftwareModules(std::string_view idfPath, const support::StringList1000 &releaseIds,
                           support::CMemoryIniIO &store, std::string_view logPath, int64_t &total,
                           int64_t &permanent, int64_t &temporary, uint64_t options, std::string_view foundationOs);

} // namespace halcyon::plan

// The one value the module setup verb leaves for later calls: whether the
// module it looked at last is recoverable (1) or not (0).
#pragma once

#include <cstdint>

namespace halcyon::modules {

void SetLastModuleRecoverable(bool recoverable);
int32_t LastModuleRecoverable();

} // namespace halcyon::modules

// The file of the loaded library (or program) that holds an address, as a
// full path; empty when it cannot be told.
#pragma once

#include <string>

namespace halcyon::platform {

std::string ModulePathOf(const void *address);

} // namespace halcyon::platform

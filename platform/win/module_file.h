// The file of a loaded module (null: the program's own), as a UTF-8 full
// path of any length; empty when it cannot be told.
#pragma once

#include <string>

#include "platform/win/windows_api.h"

namespace halcyon::platform::win {

std::string ModuleFileName(HMODULE module);

} // namespace halcyon::platform::win

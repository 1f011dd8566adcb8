// The system's information on a file or folder, read through a handle.
#pragma once

#include <string>

#include "platform/win/windows_api.h"

namespace halcyon::platform::win {

// The handle information of the file or folder at `hostPath` (a link is
// followed), and its basic information (times) when `basic` is given. False
// when it cannot be opened or read.
bool ReadFileInformation(const std::string &hostPath, BY_HANDLE_FILE_INFORMATION *info,
                         FILE_BASIC_INFO *basic = nullptr);

} // namespace halcyon::platform::win

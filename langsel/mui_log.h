// The server's log, "X:\Norv\Plugins\logs\MuiChooser_log.txt": one line per
// call with the local date and time, opened for appending and closed again.
// A line that cannot be written is dropped, as is one whose way holds a
// symbolic link (langsel/drive_file.h).
#pragma once

#include <string_view>

namespace halcyon::langsel {

inline constexpr const char *kMuiLogFile = "X:\\Norv\\Plugins\\logs\\MuiChooser_log.txt";

void MuiLog(std::string_view text);

} // namespace halcyon::langsel

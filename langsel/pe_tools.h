// The Windows PE tools the server starts: the language tool and the boot
// configuration tool, looked up in the machine's X:\Windows\System32.
#pragma once

#include <string>

namespace halcyon::langsel {

inline constexpr const char *kLanguageTool = "X:\\Windows\\System32\\Wpeutil.exe";
inline constexpr const char *kBcdTool = "x:\\Windows\\System32\\bcdedit.exe";

// Starts the language tool with `arguments`, waits up to `waitMs`: true when
// it ended in time with exit code 0.
bool RunLanguageToolOnce(const std::string &arguments, int waitMs);
// Starts the boot configuration tool and waits for its end (its exit code is
// not examined): false when it could not be started or waited for.
bool RunBcdTool(const std::string &arguments);

} // namespace halcyon::langsel

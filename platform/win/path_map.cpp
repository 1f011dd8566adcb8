// On Windows, Windows path text is the host path: the file system resolves
// drives and case itself.
#include "platform/path_map.h"

namespace halcyon::platform {

std::string MapPathText(std::string_view windowsPath) { return std::string(windowsPath); }

std::string HostPath(std::string_view windowsPath) { return std::string(windowsPath); }

} // namespace halcyon::platform

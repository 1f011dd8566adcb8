#include "platform/host_path_text.h"

namespace halcyon::platform {

bool IsHostSeparator(char c) { return c == '/'; }

size_t HostRootLength(std::string_view) { return 0; }

bool IsFullHostPath(std::string_view hostPath) { return !hostPath.empty() && hostPath[0] == '/'; }

std::string TrimHostSeparators(std::string_view hostPath)
{
    std::string host(hostPath);
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
}

std::string ComparableHostPath(std::string_view hostPath) { return std::string(hostPath); }

} // namespace halcyon::platform

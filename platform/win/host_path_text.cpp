// Windows path text: either separator, drive roots and UNC shares.
#include "platform/host_path_text.h"

namespace halcyon::platform {

namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

} // namespace

bool IsHostSeparator(char c) { return c == '/' || c == '\\'; }

size_t HostRootLength(std::string_view p)
{
    if (p.size() >= 2 && p[1] == ':' && IsDriveLetter(p[0]))
        return 2;
    if (p.size() > 2 && IsHostSeparator(p[0]) && IsHostSeparator(p[1]) && !IsHostSeparator(p[2])) {
        // "\\server\share": the server, then the share, make the root.
        size_t end = 2;
        for (int part = 0; part < 2; ++part) {
            while (end < p.size() && !IsHostSeparator(p[end]))
                ++end;
            if (part == 0) {
                if (end + 1 >= p.size() || IsHostSeparator(p[end + 1]))
                    return 0; // no share named
                ++end;
            }
        }
        return end;
    }
    return 0;
}

bool IsFullHostPath(std::string_view hostPath)
{
    const size_t root = HostRootLength(hostPath);
    return root > 0 && (root == hostPath.size() || IsHostSeparator(hostPath[root]));
}

std::string TrimHostSeparators(std::string_view hostPath)
{
    std::string host(hostPath);
    const size_t root = HostRootLength(host);
    // A drive's root keeps its separator ("C:\"); a share's root has none.
    const size_t keep = root == 2 ? 3 : root > 0 ? root : 1;
    while (host.size() > keep && IsHostSeparator(host.back()))
        host.pop_back();
    return host;
}

std::string ComparableHostPath(std::string_view hostPath)
{
    std::string t(hostPath);
    if (HostRootLength(t) == 2 && t[0] >= 'a' && t[0] <= 'z')
        t[0] = static_cast<char>(t[0] - 'a' + 'A');
    return t;
}

} // namespace halcyon::platform

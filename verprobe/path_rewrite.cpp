#include "verprobe/path_rewrite.h"

namespace halcyon::verprobe {

namespace {

void SwapOnce(std::string &path, std::string_view a, std::string_view b)
{
    size_t at = path.find(a, 1);
    if (at != std::string::npos) {
        path.replace(at, a.size(), b);
        return;
    }
    at = path.find(b, 1);
    if (at != std::string::npos)
        path.replace(at, b.size(), a);
}

} // namespace

std::string RewriteOtherBitness(std::string_view target)
{
    std::string path(target);
    SwapOnce(path, ":\\PROGRAM FILES (X86)\\", ":\\PROGRAM FILES\\");
    SwapOnce(path, ":\\WINDOWS\\SYSTEM32\\", ":\\WINDOWS\\SYSWOW64\\");
    return path;
}

} // namespace halcyon::verprobe

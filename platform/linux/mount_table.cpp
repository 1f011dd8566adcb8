// FUSE on Linux: /dev/fuse and /proc/self/mountinfo.
#include "platform/mount_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace halcyon::platform {

namespace {

// Undoes the octal escapes of /proc/self/mountinfo ("\040" for a blank).
std::string Unescape(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string oct = s.substr(i + 1, 3);
            if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string::npos) {
                out.push_back(static_cast<char>(std::stoi(oct, nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

} // namespace

bool UserMountsOffered() { return true; }

bool FuseDeviceUsable()
{
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::string MountedFileSystemType(const std::string &folder)
{
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, point;
        fields >> id >> parent >> dev >> root >> point;
        if (Unescape(point) != folder)
            continue;
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            continue;
        std::istringstream rest(line.substr(dash + 3));
        std::string type;
        rest >> type;
        found = type; // the last mount over the folder is the visible one
    }
    return found;
}

} // namespace halcyon::platform

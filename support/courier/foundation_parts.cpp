#include "support/courier/foundation_parts.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "platform/fs_path.h"
#include "platform/path_map.h"

namespace fs = std::filesystem;

namespace halcyon::support::courier {

unsigned long PartNumber(const std::string &fileName)
{
    const std::string lower = platform::ToLowerAscii(fileName);
    constexpr std::string_view prefix = "norv";
    constexpr std::string_view suffix = ".nr2";
    if (lower.size() <= prefix.size() + suffix.size() || lower.compare(0, prefix.size(), prefix) != 0 ||
        lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const std::string digits = lower.substr(prefix.size(), lower.size() - prefix.size() - suffix.size());
    if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return std::stoul(digits);
}

bool ListFoundationParts(const std::string &folder, std::vector<std::string> &parts, std::string &error)
{
    parts.clear();
    const std::string host = platform::HostPath(folder);
    std::map<unsigned long, std::string> byNumber;
    std::error_code ec;
    fs::directory_iterator it(platform::FsPath(host), ec);
    if (ec) {
        error = "cannot read the part folder " + host + ": " + ec.message();
        return false;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const std::string name = platform::PathUtf8(it->path().filename());
        const unsigned long number = PartNumber(name);
        std::error_code typeEc;
        if (number == 0)
            continue;
        // A link would join whatever it points to into the image.
        if (it->is_symlink(typeEc)) {
            error = "the part " + platform::PathUtf8(it->path()) + " is a symbolic link";
            return false;
        }
        if (!it->is_regular_file(typeEc))
            continue;
        if (!byNumber.emplace(number, platform::PathUtf8(it->path())).second) {
            error = "two parts carry the number " + std::to_string(number) + " in " + host;
            return false;
        }
    }
    if (ec) {
        error = "cannot read the part folder " + host + ": " + ec.message();
        return false;
    }
    if (byNumber.empty()) {
        error = "no part Norv1.nr2 in " + host;
        return false;
    }
    unsigned long expected = 1;
    for (const auto &[number, path] : byNumber) {
        if (number != expected) {
            error = "part Norv" + std::to_string(expected) + ".nr2 is missing in " + host;
            return false;
        }
        parts.push_back(path);
        ++expected;
    }
    return true;
}

} // namespace halcyon::support::courier

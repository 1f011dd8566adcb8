#include "tests/common/found_parts.h"

#include <wimlib.h>

#include <algorithm>
#include <filesystem>

#include "support/wim/wim_tchar.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

std::vector<std::string> CutIntoParts(const std::string &wimPath, const std::string &folder, int count,
                                      const std::string &prefix)
{
    const std::string bytes = ReadFile(wimPath);
    fs::create_directories(folder);
    std::vector<std::string> parts;
    const size_t piece = (bytes.size() + static_cast<size_t>(count) - 1) / static_cast<size_t>(count);
    for (int i = 0; i < count; ++i) {
        const size_t start = std::min(bytes.size(), piece * static_cast<size_t>(i));
        const std::string path = folder + "/" + prefix + std::to_string(i + 1) + ".nr2";
        WriteFile(path, std::string_view(bytes).substr(start, std::min(piece, bytes.size() - start)));
        parts.push_back(path);
    }
    return parts;
}

namespace {

std::vector<std::string> ImageTexts(const std::string &wimPath, bool names)
{
    std::vector<std::string> out;
    WIMStruct *wim = nullptr;
    if (wimlib_open_wim(support::wim::ToWimText(wimPath).c_str(), 0, &wim) != 0)
        return out;
    struct wimlib_wim_info info{};
    wimlib_get_wim_info(wim, &info);
    for (uint32_t i = 1; i <= info.image_count; ++i) {
        const wimlib_tchar *text = names ? wimlib_get_image_name(wim, static_cast<int>(i))
                                         : wimlib_get_image_description(wim, static_cast<int>(i));
        out.push_back(text ? support::wim::FromWimText(text) : "");
    }
    wimlib_free(wim);
    return out;
}

} // namespace

std::vector<std::string> WimImageNames(const std::string &wimPath) { return ImageTexts(wimPath, true); }
std::vector<std::string> WimImageDescriptions(const std::string &wimPath) { return ImageTexts(wimPath, false); }

int WimCompressionType(const std::string &wimPath)
{
    WIMStruct *wim = nullptr;
    if (wimlib_open_wim(support::wim::ToWimText(wimPath).c_str(), 0, &wim) != 0)
        return -1;
    struct wimlib_wim_info info{};
    wimlib_get_wim_info(wim, &info);
    wimlib_free(wim);
    return static_cast<int>(info.compression_type);
}

} // namespace halcyon::test

// std::filesystem paths from the engine's UTF-8 path text, and back. A narrow
// std::filesystem::path would be read in the ANSI code page on Windows; these
// always take and give UTF-8, so non-ASCII names survive on both hosts.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace halcyon::platform {

inline std::filesystem::path FsPath(std::string_view utf8)
{
#if defined(_WIN32)
    return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t *>(utf8.data()), utf8.size()));
#else
    return std::filesystem::path(utf8);
#endif
}

inline std::string PathUtf8(const std::filesystem::path &path)
{
#if defined(_WIN32)
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

} // namespace halcyon::platform

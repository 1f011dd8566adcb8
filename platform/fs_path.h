// std::filesystem paths from the engine's UTF-8 path text, and back. A narrow
// std::filesystem::path would be read in the ANSI code page on Windows; these
// always take and give UTF-8, so non-ASCII names survive on both hosts.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace halcyon::platform {

#if defined(_WIN32)
// A drive path longer than the system's short limit (MAX_PATH less room for
// a file name: 248) takes the long form "\\?\C:\...", normalised, which
// the system's file calls need for it; a shorter path is left as given.
// PathUtf8 gives the ordinary form back.
inline constexpr size_t kShortPathLimit = 248;

inline std::filesystem::path FsPath(std::string_view utf8)
{
    std::filesystem::path p(std::u8string_view(reinterpret_cast<const char8_t *>(utf8.data()), utf8.size()));
    const std::wstring &w = p.native();
    if (w.size() >= kShortPathLimit && w[1] == L':' && (w[2] == L'\\' || w[2] == L'/'))
        return std::filesystem::path(L"\\\\?\\" + p.lexically_normal().native());
    return p;
}

inline std::string PathUtf8(const std::filesystem::path &path)
{
    std::u8string text = path.u8string();
    // lexically_normal() turns the prefix into "\?\"; both forms go.
    const size_t prefix = text.compare(0, 4, u8"\\\\?\\") == 0 ? 4 : text.compare(0, 3, u8"\\?\\") == 0 ? 3 : 0;
    if (prefix && text.size() > prefix + 1 && text[prefix + 1] == u8':')
        text.erase(0, prefix);
    return std::string(text.begin(), text.end());
}
#else
inline std::filesystem::path FsPath(std::string_view utf8) { return std::filesystem::path(utf8); }

inline std::string PathUtf8(const std::filesystem::path &path) { return path.string(); }
#endif

} // namespace halcyon::platform

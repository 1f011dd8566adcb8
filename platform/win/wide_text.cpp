#include "platform/win/wide_text.h"

#include "platform/win/windows_api.h"

namespace halcyon::platform::win {

std::wstring Widen(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view utf16)
{
    if (utf16.empty())
        return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr,
                                  nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr,
                              nullptr);
    return out;
}

std::wstring FileApiPath(std::string_view utf8Path)
{
    std::wstring path = Widen(utf8Path);
    for (wchar_t &c : path)
        if (c == L'/')
            c = L'\\';
    bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
    if (drive && path.size() >= MAX_PATH && path.rfind(L"\\\\?\\", 0) != 0)
        path.insert(0, L"\\\\?\\");
    return path;
}

} // namespace halcyon::platform::win

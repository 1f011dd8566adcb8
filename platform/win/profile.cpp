// Private profile files through the system's profile API. The API keeps a
// file's encoding; a new file that must hold text beyond ASCII is started
// as UTF-16 (with its byte order mark) so that nothing is lost.
#include "platform/profile.h"

#include <cwchar>

#include "platform/host_file.h"
#include "platform/path_map.h"
#include "platform/win/utf16_profile.h"
#include "platform/win/wide_text.h"
#include "platform/win/windows_api.h"

namespace halcyon::platform {

namespace {

std::wstring ProfileFile(std::string_view file) { return win::FileApiPath(ProfileHostPath(file)); }

// Calls `read(buffer, size)` with growing buffers until the answer fits;
// `slack` is how many characters short of the size a complete answer is.
template <typename Read>
std::wstring ReadGrowing(Read &&read, DWORD slack)
{
    std::wstring buffer(512, L'\0');
    for (;;) {
        DWORD n = read(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n + slack < buffer.size() || buffer.size() >= (1u << 24)) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// "a\0b\0\0" into {"a", "b"}.
std::vector<std::string> SplitList(const std::wstring &list)
{
    std::vector<std::string> out;
    for (size_t pos = 0; pos < list.size();) {
        size_t end = list.find(L'\0', pos);
        if (end == std::wstring::npos)
            end = list.size();
        if (end > pos)
            out.push_back(win::Narrow(std::wstring_view(list).substr(pos, end - pos)));
        pos = end + 1;
    }
    return out;
}

bool IsAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

std::string ProfileHostPath(std::string_view file)
{
    if (!file.empty() && file.find_first_of("\\/:") == std::string_view::npos) {
        wchar_t windows[MAX_PATH];
        UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            return win::Narrow(std::wstring_view(windows, n)) + "\\" + std::string(file);
    }
    return HostPath(file);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view fallback,
                                    std::string_view file)
{
    std::wstring s = win::Widen(section), k = win::Widen(key), d = win::Widen(fallback), f = ProfileFile(file);
    std::wstring value = ReadGrowing(
        [&](wchar_t *buf, DWORD size) {
            return ::GetPrivateProfileStringW(s.c_str(), k.c_str(), d.c_str(), buf, size, f.c_str());
        },
        1);
    return win::Narrow(value);
}

uint32_t GetPrivateProfileInt(std::string_view section, std::string_view key, int32_t fallback, std::string_view file)
{
    return ::GetPrivateProfileIntW(win::Widen(section).c_str(), win::Widen(key).c_str(), fallback,
                                   ProfileFile(file).c_str());
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::optional<std::string_view> value,
                               std::string_view file)
{
    std::wstring f = ProfileFile(file);
    if (!(IsAscii(section) && IsAscii(key) && IsAscii(value.value_or(""))) && !StatHostPath(win::Narrow(f))) {
        win::StartUtf16Profile(f);
    }
    std::wstring v = value ? win::Widen(*value) : std::wstring();
    return ::WritePrivateProfileStringW(win::Widen(section).c_str(), win::Widen(key).c_str(),
                                        value ? v.c_str() : nullptr, f.c_str()) != 0;
}

std::vector<std::string> GetPrivateProfileKeys(std::string_view section, std::string_view file)
{
    std::wstring s = win::Widen(section), f = ProfileFile(file);
    return SplitList(ReadGrowing(
        [&](wchar_t *buf, DWORD size) {
            return ::GetPrivateProfileStringW(s.c_str(), nullptr, L"", buf, size, f.c_str());
        },
        2));
}

std::vector<std::string> GetPrivateProfileSectionNames(std::string_view file)
{
    std::wstring f = ProfileFile(file);
    return SplitList(ReadGrowing(
        [&](wchar_t *buf, DWORD size) { return ::GetPrivateProfileSectionNamesW(buf, size, f.c_str()); }, 2));
}

std::optional<std::string> GetPrivateProfileValue(std::string_view section, std::string_view key,
                                                  std::string_view file)
{
    // The API answers an absent key with the fallback: ask for the names.
    std::wstring wkey = win::Widen(key);
    for (const std::string &name : GetPrivateProfileKeys(section, file))
        if (::CompareStringOrdinal(win::Widen(name).c_str(), -1, wkey.c_str(), -1, TRUE) == CSTR_EQUAL)
            return GetPrivateProfileString(section, key, "", file);
    return std::nullopt;
}

bool DeletePrivateProfileSection(std::string_view section, std::string_view file)
{
    std::wstring f = ProfileFile(file);
    if (!StatHostPath(win::Narrow(f)))
        return true;
    return ::WritePrivateProfileStringW(win::Widen(section).c_str(), nullptr, nullptr, f.c_str()) != 0;
}

namespace win {

void StartUtf16Profile(const std::wstring &file)
{
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    const unsigned char bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(h, bom, sizeof bom, &written, nullptr);
    ::CloseHandle(h);
}

} // namespace win

} // namespace halcyon::platform

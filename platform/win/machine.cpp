// The machine's identity and state on Windows. The firmware and the system
// answer by default; a test machine whose firmware carries no OEM strings
// sets its values in an override file, machine.ini in the folder named by
// HALCYON_MACHINE (default %ProgramData%\Halcyon), with the sections of the
// emulated machine. The file is read and written through the profile API and
// created as UTF-16 so that any text survives.
#include "platform/machine.h"
#include "platform/machine_internal.h"

#include "platform/win/windows_api.h"

#include <cwchar>

#include "platform/machine_prefix.h"
#include "platform/path_map.h"
#include "platform/win/utf16_profile.h"
#include "platform/win/wide_text.h"

namespace halcyon::platform {

namespace {

std::wstring OverrideFile() { return win::FileApiPath(MachineRoot() + "\\machine.ini"); }

} // namespace

std::optional<std::string> MachineSetting(std::string_view section, std::string_view key)
{
    std::wstring file = OverrideFile();
    std::wstring wsection = win::Widen(section);
    std::wstring buffer(4096, L'\0');
    for (;;) {
        DWORD n = ::GetPrivateProfileSectionW(wsection.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                              file.c_str());
        if (n + 2 < buffer.size())
            break;
        buffer.resize(buffer.size() * 2);
    }
    // "key=value\0key=value\0\0"; names compare without regard to case.
    std::wstring wkey = win::Widen(key);
    for (const wchar_t *entry = buffer.c_str(); *entry; entry += std::wcslen(entry) + 1) {
        const wchar_t *eq = std::wcschr(entry, L'=');
        if (!eq)
            continue;
        std::wstring name(entry, eq);
        while (!name.empty() && (name.back() == L' ' || name.back() == L'\t'))
            name.pop_back();
        if (::CompareStringOrdinal(name.c_str(), -1, wkey.c_str(), -1, TRUE) == CSTR_EQUAL)
            return win::Narrow(eq + 1);
    }
    return std::nullopt;
}

bool SetMachineSetting(std::string_view section, std::string_view key, std::string_view value)
{
    if (!EnsureMachine())
        return false;
    std::wstring file = OverrideFile();
    win::StartUtf16Profile(file);
    return ::WritePrivateProfileStringW(win::Widen(section).c_str(), win::Widen(key).c_str(),
                                        win::Widen(value).c_str(), file.c_str()) != 0;
}

uint64_t SystemPhysicalMemoryMB()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!::GlobalMemoryStatusEx(&status))
        return 0;
    return status.ullTotalPhys / (1024 * 1024);
}

std::optional<uint64_t> SystemFreeDiskSpace(const std::string &host)
{
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(win::FileApiPath(host).c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return available.QuadPart;
}

} // namespace halcyon::platform

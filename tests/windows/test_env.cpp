// The shared test helpers on Windows: temporary folders through the Win32
// API. The machine is the Wine prefix's own registry and C:, so a machine
// scope starts each case with the engine's registry trees (and the system
// protection key) removed and a fresh folder for the override file
// (HALCYON_MACHINE).
#include "tests/common/test_env.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/registry.h"
#include "wide_text.h"
#include "windows_api.h"

namespace halcyon::test {

namespace fs = std::filesystem;
using platform::win::Narrow;
using platform::win::Widen;

TempDir::TempDir(std::string_view tag)
{
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() /
                     (Widen(tag).append(L"-") + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                      std::to_wstring(++counter) + L"-" + std::to_wstring(::GetTickCount()));
        if (::CreateDirectoryW(p.c_str(), nullptr)) {
            path_ = Narrow(p.wstring());
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    // The long form, so that folders past MAX_PATH below it go too.
    fs::remove_all(fs::path(L"\\\\?\\" + Widen(path_)), ec);
}

MachineScope::MachineScope() : dir_("halcyon-machine")
{
    if (const char *p = std::getenv("HALCYON_MACHINE")) {
        previous_ = p;
        hadPrevious_ = true;
    }
    ::_putenv_s("HALCYON_MACHINE", dir_.path().c_str());
    namespace reg = platform::reg;
    for (uint32_t view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) // the macros of <windows.h>
        reg::RegDeleteTree(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Norv Corporation", view);
    reg::RegDeleteTree(reg::HKEY_CURRENT_USER, "Software\\Norv Corporation");
    // System protection as the engine reads it: off, as on a fresh machine
    // (the prefix is the test program's own).
    reg::RegDeleteTree(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SPP\\Clients");
}

MachineScope::~MachineScope() { ::_putenv_s("HALCYON_MACHINE", hadPrevious_ ? previous_.c_str() : ""); }

void SetEnv(const std::string &name, const char *value)
{
    ::SetEnvironmentVariableW(Widen(name).c_str(), value ? Widen(value).c_str() : nullptr);
    ::_putenv_s(name.c_str(), value ? value : "");
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(fs::path(platform::win::FileApiPath(path)), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string &path, std::string_view data)
{
    fs::path p(platform::win::FileApiPath(path));
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

} // namespace halcyon::test

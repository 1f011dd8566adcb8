// The language-selection server through the system's COM: the class is
// created with CoCreateInstance in an apartment of this thread, strings are
// oleaut32's BSTRs, and a server file registers itself through regsvr32.
// The platform interfaces come before the COM headers, whose macros
// platform_names.h then removes.
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/fs_path.h"
#include "platform/process.h"
#include "platform/program.h"
#include "platform/text_utf16.h"

#include "cli/mui_session.h"
#include "platform_names.h"

namespace halcyon::cli {

namespace {

std::wstring Wide(const std::string &utf8)
{
    const std::string bytes = platform::Utf8ToUtf16Le(utf8);
    std::wstring text(bytes.size() / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    return text;
}

} // namespace

MuiSession::~MuiSession()
{
    if (mui_)
        mui_->Release();
    if (com_)
        ::CoUninitialize();
}

HRESULT MuiSession::Open(const std::string &clsidOrProgId, std::string &error)
{
    if (!com_) {
        const HRESULT started = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(started)) {
            error = "cannot start COM: " + HresultText(started);
            return started;
        }
        com_ = true;
    }
    std::wstring name = Wide(clsidOrProgId);
    CLSID clsid{};
    HRESULT hr = !name.empty() && name[0] == L'{' ? ::CLSIDFromString(name.data(), &clsid)
                                                  : ::CLSIDFromProgID(name.c_str(), &clsid);
    // An unknown ProgID is a class that is not registered, as on the
    // emulated machine.
    if (hr == CO_E_CLASSSTRING && name[0] != L'{')
        hr = REGDB_E_CLASSNOTREG;
    if (hr == S_OK)
        hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IComMUI, reinterpret_cast<void **>(&mui_));
    if (hr != S_OK) {
        mui_ = nullptr;
        error = "cannot create " + clsidOrProgId + ": " + HresultText(hr);
    }
    return hr;
}

BSTR MuiSession::Make(const std::string &text) const
{
    const std::wstring wide = Wide(text);
    return ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// oleaut32's strings (the server's own string functions are those).
void MuiSession::Free(BSTR b) const { ::SysFreeString(b); }

std::string MuiSession::Text(BSTR b) const
{
    if (!b)
        return {};
    const UINT n = ::SysStringLen(b);
    return platform::Utf16LeToUtf8(std::string_view(reinterpret_cast<const char *>(b), n * sizeof(wchar_t)));
}

std::string HresultText(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

HRESULT RegisterServerFile(const std::string &path, bool install, bool user, std::string &error)
{
    // regsvr32's own exit codes: 3 the file does not load, 4 it lacks the
    // entry point, 5 the entry point failed.
    const std::string parameters =
        std::string("/s") + (install ? "" : " /u") + (user ? " /n /i:user" : "") + " \"" + path + "\"";
    platform::ProcessHandle process;
    if (platform::ShellExecute("", "regsvr32.exe", parameters, process) != 0 || !process) {
        error = "cannot start regsvr32 for " + path;
        return E_FAIL;
    }
    uint32_t code = 0;
    if (process.Wait(-1) != platform::WaitResult::Signaled || !process.GetExitCode(&code)) {
        error = "regsvr32 did not report on " + path;
        return E_FAIL;
    }
    switch (code) {
    case 0: return S_OK;
    case 3: error = "cannot load " + path; return E_FAIL;
    case 4: error = path + (user ? " has no DllInstall" : " is not a self-registering server"); return E_FAIL;
    default: return E_FAIL;
    }
}

std::string DefaultMuiServer()
{
    const std::filesystem::path self = platform::FsPath(platform::ProgramFile());
    return platform::PathUtf8(self.parent_path() / "MuiChooser.dll");
}

} // namespace halcyon::cli

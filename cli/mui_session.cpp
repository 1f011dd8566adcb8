#include "cli/mui_session.h"

#include <cstdio>
#include <filesystem>

#include "cli/install_facts.h"
#include "platform/program.h"
#include "langsel/text16.h"

namespace halcyon::cli {

MuiSession::~MuiSession()
{
    if (mui_)
        mui_->Release();
}

HRESULT MuiSession::Open(const std::string &clsidOrProgId, std::string &error)
{
    HRESULT hr = langsel::CreateInstance(clsidOrProgId, IID_IComMUI, reinterpret_cast<void **>(&mui_));
    if (hr != S_OK) {
        mui_ = nullptr;
        error = "cannot create " + clsidOrProgId + ": " + HresultText(hr);
        return hr;
    }
    bstr_ = langsel::BstrFunctionsOf(CLSID_ComMUI);
    if (!bstr_) {
        error = "the server has no BSTR functions";
        return E_FAIL;
    }
    return S_OK;
}

BSTR MuiSession::Make(const std::string &text) const
{
    std::u16string wide = langsel::ToUtf16(text);
    return bstr_.allocLen(wide.data(), static_cast<UINT>(wide.size()));
}

void MuiSession::Free(BSTR b) const { bstr_.free(b); }

std::string MuiSession::Text(BSTR b) const
{
    return b ? langsel::ToUtf8(std::u16string(b, bstr_.length(b))) : std::string();
}

std::string HresultText(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

HRESULT RegisterServerFile(const std::string &path, bool install, bool user, std::string &error)
{
    langsel::ServerLibrary server(path);
    if (!server) {
        error = "cannot load " + path + ": " + server.error();
        return E_FAIL;
    }
    if (user) {
        auto fn = reinterpret_cast<HRESULT (*)(bool, const char16_t *)>(server.Symbol("DllInstall"));
        if (!fn) {
            error = path + " has no DllInstall";
            return E_FAIL;
        }
        return fn(install, u"user");
    }
    auto fn = reinterpret_cast<HRESULT (*)()>(server.Symbol(install ? "DllRegisterServer" : "DllUnregisterServer"));
    if (!fn) {
        error = path + " is not a self-registering server";
        return E_FAIL;
    }
    return fn();
}

std::string DefaultMuiServer()
{
    std::error_code ec;
    std::filesystem::path self = platform::ProgramFile();
    if (self.empty())
        return "libMuiChooser.so.0";
    std::filesystem::path beside = self.parent_path() / "libMuiChooser.so";
    if (std::filesystem::exists(beside, ec))
        return beside.string();
    return (self.parent_path() / HALCYON_LIBDIR_FROM_BINDIR / "libMuiChooser.so.0").lexically_normal().string();
}

} // namespace halcyon::cli

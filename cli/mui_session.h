// One object of the language-selection server and the server's string
// functions, for a command's life. The class is created through the
// machine's registry, as the recovery front end creates it.
#pragma once

#include <string>

#include "halcyon/MuiChooser.h"
#include "langsel/activation.h"
#include "platform/non_copyable.h"

namespace halcyon::cli {

class MuiSession : NonCopyable {
public:
    ~MuiSession();

    // Creates the class named by `clsidOrProgId`. S_OK, or the activation's
    // result (REGDB_E_CLASSNOTREG for an unregistered class); E_FAIL with
    // `error` set when the server lacks its string functions.
    HRESULT Open(const std::string &clsidOrProgId, std::string &error);

    IComMUI *operator->() const { return mui_; }
    BSTR Make(const std::string &text) const;
    std::string Text(BSTR b) const;
    void Free(BSTR b) const;

private:
    IComMUI *mui_ = nullptr;
    langsel::BstrFunctions bstr_;
    bool com_ = false; // COM was started for this session (Windows)
};

// The self-registration of the server file at `path`: DllRegisterServer or
// DllUnregisterServer, or DllInstall(install, "user") for `user`. S_OK, or
// what the server answered (`error` empty); E_FAIL with `error` set when the
// file cannot be loaded or lacks the function.
HRESULT RegisterServerFile(const std::string &path, bool install, bool user, std::string &error);

// "0x80040154".
std::string HresultText(HRESULT hr);

// The language-selection server's file: beside the command in a build tree,
// in the library folder once installed (on Windows: MuiChooser.dll beside
// the command).
std::string DefaultMuiServer();

} // namespace halcyon::cli

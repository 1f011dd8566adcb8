// Client side of in-process COM on this platform: finds a class in the
// registry by CLSID or ProgID (HKCR, the user's classes over the machine's),
// loads its InprocServer32 and asks the server's DllGetClassObject, as
// CoCreateInstance does. Loaded servers are released by FreeUnusedLibraries
// once they are unused (DllCanUnloadNow). Servers are loaded with
// RTLD_NODELETE: their platform state (the registry connection) lives for the
// process, so their code and data stay mapped after the last release.
#pragma once

#include <string>
#include <string_view>

#include "halcyon/MuiChooser.h"
#include "platform/non_copyable.h"

namespace halcyon::langsel {

// "{...}" text as a CLSID, otherwise a ProgID looked up under HKCR
// (HKCR\<ProgID>\CLSID). REGDB_E_CLASSNOTREG or CO_E_CLASSSTRING on failure.
HRESULT ResolveClass(std::string_view clsidOrProgId, CLSID *clsid);

// The class factory (or `iid`) of a registered class: REGDB_E_CLASSNOTREG
// when the class or its InprocServer32 is not registered, CO_E_DLLNOTFOUND
// when the server cannot be loaded, CO_E_ERRORINDLL when it has no
// DllGetClassObject; otherwise what the server answers.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **object);

// Creates an object of a registered class and asks it for `iid`.
HRESULT CreateInstance(std::string_view clsidOrProgId, REFIID iid, void **object);

// Unloads the servers that answer DllCanUnloadNow with S_OK.
void FreeUnusedLibraries();

// An export of the server registered for `clsid` (loaded if needed), for
// the server's BSTR functions; null when unavailable.
void *ServerExport(REFCLSID clsid, const char *name);

// A server loaded by path, for self-registration (DllRegisterServer and the
// like are called on a file before any class of it is registered).
class ServerLibrary : NonCopyable {
public:
    explicit ServerLibrary(const std::string &path);
    ~ServerLibrary();
    explicit operator bool() const { return handle_ != nullptr; }
    const std::string &error() const { return error_; }
    void *Symbol(const char *name) const;

private:
    void *handle_ = nullptr;
    std::string error_;
};

// BSTR helpers over a server's exports.
struct BstrFunctions {
    BSTR (*allocLen)(const OLECHAR *, UINT) = nullptr;
    void (*free)(BSTR) = nullptr;
    UINT (*length)(BSTR) = nullptr;
    explicit operator bool() const { return allocLen && free && length; }
};
BstrFunctions BstrFunctionsOf(REFCLSID clsid);
BstrFunctions BstrFunctionsOf(const ServerLibrary &server);

} // namespace halcyon::langsel

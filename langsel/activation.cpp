#include "langsel/activation.h"

#include <dlfcn.h>
#include <map>
#include <mutex>

#include "langsel/guid_text.h"
#include "platform/registry.h"

namespace halcyon::langsel {

namespace reg = platform::reg;

namespace {

using GetClassObjectFn = HRESULT (*)(const GUID *, const GUID *, void **);
using CanUnloadFn = HRESULT (*)();

// Servers loaded by class activation, by path.
struct Loaded {
    std::mutex mutex;
    std::map<std::string, void *> servers;
};

Loaded &Servers()
{
    static Loaded loaded;
    return loaded;
}

HRESULT ServerPathOf(REFCLSID clsid, std::string *path)
{
    std::string key = "CLSID\\" + GuidToString(clsid) + "\\InprocServer32";
    if (reg::GetString(reg::HKEY_CLASSES_ROOT, key, "", path) != reg::ERROR_SUCCESS || path->empty())
        return REGDB_E_CLASSNOTREG;
    return S_OK;
}

// The loaded server of a class; null with `hr` set when it cannot be loaded.
void *LoadServer(REFCLSID clsid, HRESULT *hr)
{
    std::string path;
    if ((*hr = ServerPathOf(clsid, &path)) != S_OK)
        return nullptr;
    Loaded &loaded = Servers();
    std::lock_guard<std::mutex> lock(loaded.mutex);
    if (auto it = loaded.servers.find(path); it != loaded.servers.end())
        return it->second;
    void *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        *hr = CO_E_DLLNOTFOUND;
        return nullptr;
    }
    loaded.servers.emplace(path, handle);
    return handle;
}

} // namespace

HRESULT ResolveClass(std::string_view text, CLSID *clsid)
{
    if (!clsid)
        return E_POINTER;
    if (!text.empty() && text.front() == '{')
        return GuidFromString(text, clsid) ? S_OK : CO_E_CLASSSTRING;
    if (text.empty())
        return CO_E_CLASSSTRING;
    std::string value;
    if (reg::GetString(reg::HKEY_CLASSES_ROOT, std::string(text) + "\\CLSID", "", &value) != reg::ERROR_SUCCESS)
        return REGDB_E_CLASSNOTREG;
    return GuidFromString(value, clsid) ? S_OK : REGDB_E_CLASSNOTREG;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    HRESULT hr = S_OK;
    void *handle = LoadServer(clsid, &hr);
    if (!handle)
        return hr;
    auto entry = reinterpret_cast<GetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
    if (!entry)
        return CO_E_ERRORINDLL;
    return entry(&clsid, &iid, object);
}

HRESULT CreateInstance(std::string_view clsidOrProgId, REFIID iid, void **object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    CLSID clsid{};
    if (HRESULT hr = ResolveClass(clsidOrProgId, &clsid); hr != S_OK)
        return hr;
    IClassFactory *factory = nullptr;
    if (HRESULT hr = GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void **>(&factory)); hr != S_OK)
        return hr;
    HRESULT hr = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    return hr;
}

void FreeUnusedLibraries()
{
    Loaded &loaded = Servers();
    std::lock_guard<std::mutex> lock(loaded.mutex);
    for (auto it = loaded.servers.begin(); it != loaded.servers.end();) {
        auto canUnload = reinterpret_cast<CanUnloadFn>(::dlsym(it->second, "DllCanUnloadNow"));
        if (canUnload && canUnload() == S_OK) {
            ::dlclose(it->second);
            it = loaded.servers.erase(it);
        } else {
            ++it;
        }
    }
}

void *ServerExport(REFCLSID clsid, const char *name)
{
    HRESULT hr = S_OK;
    void *handle = LoadServer(clsid, &hr);
    return handle ? ::dlsym(handle, name) : nullptr;
}

ServerLibrary::ServerLibrary(const std::string &path)
{
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle_) {
        const char *e = ::dlerror();
        error_ = e ? e : "cannot load " + path;
    }
}

ServerLibrary::~ServerLibrary()
{
    if (handle_)
        ::dlclose(handle_);
}

void *ServerLibrary::Symbol(const char *name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

namespace {

template <class Lookup> BstrFunctions Resolve(Lookup lookup)
{
    BstrFunctions f;
    f.allocLen = reinterpret_cast<BSTR (*)(const OLECHAR *, UINT)>(lookup("SysAllocStringLen"));
    f.free = reinterpret_cast<void (*)(BSTR)>(lookup("SysFreeString"));
    f.length = reinterpret_cast<UINT (*)(BSTR)>(lookup("SysStringLen"));
    return f;
}

} // namespace

BstrFunctions BstrFunctionsOf(REFCLSID clsid)
{
    return Resolve([&](const char *name) { return ServerExport(clsid, name); });
}

BstrFunctions BstrFunctionsOf(const ServerLibrary &server)
{
    return Resolve([&](const char *name) { return server.Symbol(name); });
}

} // namespace halcyon::langsel

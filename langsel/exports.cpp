// The server's entry points.
#include "halcyon/MuiChooser.h"
#include "langsel/class_factory.h"
#include "langsel/registration.h"
#include "langsel/server_module.h"

using namespace halcyon::langsel;

namespace {

HRESULT GetClassObject(const GUID *clsid, const GUID *iid, void **object)
{
    return ComBarrier([&]() -> HRESULT {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!clsid || !iid)
            return E_INVALIDARG;
        if (!(*clsid == CLSID_ComMUI))
            return CLASS_E_CLASSNOTAVAILABLE;
        return ComMUIFactory::Instance().QueryInterface(*iid, object);
    });
}

} // namespace

#if defined(_WIN32)
MUICHOOSER_API HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID *object)
{
    return GetClassObject(&clsid, &iid, object);
}
#else
MUICHOOSER_API HRESULT DllGetClassObject(const GUID *clsid, const GUID *iid, void **object)
{
    return GetClassObject(clsid, iid, object);
}
#endif

MUICHOOSER_API HRESULT DllCanUnloadNow(void) { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

MUICHOOSER_API HRESULT DllRegisterServer(void)
{
    return ComBarrier([] { return RegisterServer(false); });
}

MUICHOOSER_API HRESULT DllUnregisterServer(void)
{
    return ComBarrier([] { return UnregisterServer(false); });
}

namespace {

// "user", without regard to case, and nothing after it.
template <typename Char>
bool IsUserSwitch(const Char *text)
{
    if (!text)
        return false;
    const char16_t *word = u"user";
    for (int i = 0; i < 5; ++i) {
        char16_t c = static_cast<char16_t>(text[i]);
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != word[i])
            return false;
    }
    return true;
}

} // namespace

#if defined(_WIN32)
MUICHOOSER_API HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR command_line)
#else
MUICHOOSER_API HRESULT DllInstall(bool install, const char16_t *command_line)
#endif
{
    return ComBarrier([&]() -> HRESULT {
        // The per-user switch applies to this call only.
        bool perUser = IsUserSwitch(command_line);
        if (!install)
            return UnregisterServer(perUser);
        HRESULT hr = RegisterServer(perUser);
        if (hr < 0)
            UnregisterServer(perUser);
        return hr;
    });
}

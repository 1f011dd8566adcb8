#include "langsel/registration.h"

#include <string>
#include <vector>

#include "platform/registry.h"

#include "halcyon/MuiChooser.h"
#include "langsel/guid_text.h"
#include "langsel/server_module.h"
#if defined(_WIN32)
#include "platform_names.h"
#endif

namespace halcyon::langsel {

namespace reg = platform::reg;

namespace {

// How a key of a script behaves on removal: Normal keys lose what the script
// put there and go when nothing else is left; NoRemove keys stay;
// ForceRemove keys go with everything below them (and are cleared before
// registration).
enum class Removal { Normal, NoRemove, ForceRemove };

struct Value {
    std::string name; // empty: the default value
    std::string data;
};

struct Key {
    std::string name;
    Removal removal = Removal::Normal;
    std::vector<Value> values;
    std::vector<Key> subkeys;
};

std::vector<Key> Scripts(const std::string &module)
{
    const std::string appId = GuidToString(APPID_MuiChooser);
    const std::string clsid = GuidToString(CLSID_ComMUI);
    const std::string libId = GuidToString(LIBID_MuiChooserLib);
#if defined(_WIN32)
    const std::string folder = module.substr(0, module.find_last_of("\\/") + 1);
    // The object keeps no thread affinity: clients of either apartment get
    // it directly (no marshaling needed).
    const std::vector<Value> inprocValues = {{"", module}, {"ThreadingModel", "Both"}};
#else
    const std::string folder = module.substr(0, module.find_last_of('/') + 1);
    const std::vector<Value> inprocValues = {{"", module}};
#endif
    // Interfaces of the type library, marshalled by the automation marshaler.
    const std::string automationProxy = "{00020424-0000-0000-C000-000000000046}";
    auto interfaceKey = [&](const IID &iid, const char *name) {
        return Key{GuidToString(iid),
                   Removal::Normal,
                   {{"", name}},
                   {Key{"ProxyStubClsid", Removal::Normal, {{"", automationProxy}}, {}},
                    Key{"ProxyStubClsid32", Removal::Normal, {{"", automationProxy}}, {}},
                    Key{"TypeLib", Removal::Normal, {{"", libId}, {"Version", "1.0"}}, {}}}};
    };

    return {
        // Script 101.
        Key{"AppID",
            Removal::NoRemove,
            {},
            {Key{appId, Removal::Normal, {{"", "MuiChooser"}}, {}},
             Key{"MuiChooser.DLL", Removal::Normal, {{"AppID", appId}}, {}}}},
        // Script 102.
        Key{"MuiChooser.ComMUI.1", Removal::Normal, {{"", "ComMUI Class"}},
            {Key{"CLSID", Removal::Normal, {{"", clsid}}, {}}}},
        Key{"MuiChooser.ComMUI", Removal::Normal, {{"", "ComMUI Class"}},
            {Key{"CLSID", Removal::Normal, {{"", clsid}}, {}},
             Key{"CurVer", Removal::Normal, {{"", "MuiChooser.ComMUI.1"}}, {}}}},
        Key{"CLSID",
            Removal::NoRemove,
            {},
            {Key{clsid,
                 Removal::ForceRemove,
                 {{"", "ComMUI Class"}},
                 {Key{"ProgID", Removal::Normal, {{"", "MuiChooser.ComMUI.1"}}, {}},
                  Key{"VersionIndependentProgID", Removal::Normal, {{"", "MuiChooser.ComMUI"}}, {}},
                  Key{"Programmable", Removal::ForceRemove, {}, {}},
                  Key{"InprocServer32", Removal::Normal, inprocValues, {}},
                  Key{"TypeLib", Removal::Normal, {{"", libId}}, {}}}}}},
        // The type library and its interfaces.
        Key{"TypeLib",
            Removal::NoRemove,
            {},
            {Key{libId,
                 Removal::Normal,
                 {},
                 {Key{"1.0",
                      Removal::Normal,
                      {{"", "MuiChooser 1.0 Type Library"}},
                      {Key{"FLAGS", Removal::Normal, {{"", "0"}}, {}},
                       Key{"HELPDIR", Removal::Normal, {{"", folder}}, {}},
                       Key{"409", Removal::Normal, {},
                           {Key{"win64", Removal::Normal, {{"", module}}, {}}}}}}}}}},
        Key{"Interface",
            Removal::NoRemove,
            {},
            {interfaceKey(IID_IComMUI, "IComMUI"), interfaceKey(DIID__IComMUIEvents, "_IComMUIEvents")}},
    };
}

std::string Join(const std::string &parent, const std::string &name)
{
    return parent.empty() ? name : parent + "\\" + name;
}

reg::LONG WriteKey(reg::HKEY root, const std::string &parent, const Key &key)
{
    std::string path = Join(parent, key.name);
    if (key.removal == Removal::ForceRemove) {
        reg::LONG rc = reg::RegDeleteTree(root, path);
        if (rc != reg::ERROR_SUCCESS && rc != reg::ERROR_FILE_NOT_FOUND)
            return rc;
    }
    reg::UniqueKey handle;
    if (reg::LONG rc = reg::RegCreateKeyEx(root, path, reg::KEY_ALL_ACCESS, handle.out()); rc != reg::ERROR_SUCCESS)
        return rc;
    for (const Value &v : key.values)
        if (reg::LONG rc = reg::RegSetValueEx(handle.get(), v.name, reg::REG_SZ, v.data.data(), v.data.size());
            rc != reg::ERROR_SUCCESS)
            return rc;
    for (const Key &sub : key.subkeys)
        if (reg::LONG rc = WriteKey(root, path, sub); rc != reg::ERROR_SUCCESS)
            return rc;
    return reg::ERROR_SUCCESS;
}

bool KeyIsEmpty(reg::HKEY root, const std::string &path)
{
    reg::UniqueKey handle;
    if (reg::RegOpenKeyEx(root, path, reg::KEY_READ, handle.out()) != reg::ERROR_SUCCESS)
        return false;
    std::string name;
    uint32_t type = 0;
    return reg::RegEnumKeyEx(handle.get(), 0, &name) == reg::ERROR_NO_MORE_ITEMS &&
           reg::RegEnumValue(handle.get(), 0, &name, &type, nullptr) == reg::ERROR_NO_MORE_ITEMS;
}

reg::LONG RemoveKey(reg::HKEY root, const std::string &parent, const Key &key)
{
    std::string path = Join(parent, key.name);
    if (!reg::KeyExists(root, path))
        return reg::ERROR_SUCCESS;
    if (key.removal == Removal::ForceRemove)
        return reg::RegDeleteTree(root, path);
    for (const Key &sub : key.subkeys)
        if (reg::LONG rc = RemoveKey(root, path, sub); rc != reg::ERROR_SUCCESS)
            return rc;
    if (key.removal == Removal::NoRemove)
        return reg::ERROR_SUCCESS;
    {
        reg::UniqueKey handle;
        if (reg::LONG rc = reg::RegOpenKeyEx(root, path, reg::KEY_ALL_ACCESS, handle.out()); rc != reg::ERROR_SUCCESS)
            return rc;
        for (const Value &v : key.values) {
            reg::LONG rc = reg::RegDeleteValue(handle.get(), v.name);
            if (rc != reg::ERROR_SUCCESS && rc != reg::ERROR_FILE_NOT_FOUND)
                return rc;
        }
    }
    // A key that holds someone else's data stays.
    if (KeyIsEmpty(root, path))
        return reg::RegDeleteKeyEx(root, path, 0);
    return reg::ERROR_SUCCESS;
}

const char *ClassesKey() { return "Software\\Classes"; }

reg::HKEY ClassesRoot(bool perUser) { return perUser ? reg::HKEY_CURRENT_USER : reg::HKEY_LOCAL_MACHINE; }

} // namespace

namespace {

// Writes or removes every key of the server's scripts below the classes key,
// in one batch.
int32_t ApplyScripts(bool perUser, const std::string &module,
                     reg::LONG (*step)(reg::HKEY, const std::string &, const Key &))
{
    reg::RegBatch batch;
    if (batch.status() != reg::ERROR_SUCCESS)
        return HResultFromWin32(static_cast<uint32_t>(batch.status()));
    for (const Key &key : Scripts(module))
        if (reg::LONG rc = step(ClassesRoot(perUser), ClassesKey(), key); rc != reg::ERROR_SUCCESS)
            return HResultFromWin32(static_cast<uint32_t>(rc));
    return HResultFromWin32(static_cast<uint32_t>(batch.Commit()));
}

} // namespace

int32_t RegisterServer(bool perUser)
{
    std::string module = ServerPath();
    if (module.empty())
        return E_UNEXPECTED;
    return ApplyScripts(perUser, module, WriteKey);
}

int32_t UnregisterServer(bool perUser) { return ApplyScripts(perUser, ServerPath(), RemoveKey); }

} // namespace halcyon::langsel

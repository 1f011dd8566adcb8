// The registry through advapi32. Handles are the system's HKEY values; the
// predefined roots keep their Windows numbers. Text crosses this interface
// as UTF-8 and is stored as the UTF-16 Windows keeps (string data gain their
// terminator on the way in and lose it on the way out).
#include "platform/registry.h"

#include "platform/win/windows_api.h"

#include "platform/text_utf16.h"
#include "platform/win/wide_text.h"

namespace halcyon::platform::reg {

namespace {

constexpr uint32_t kRightsMask = ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);

::HKEY Native(HKEY key)
{
    // The predefined roots are sign-extended 32-bit values on Windows x64.
    if (key >= HKEY_CLASSES_ROOT && key <= HKEY_DYN_DATA)
        return reinterpret_cast<::HKEY>(static_cast<intptr_t>(static_cast<int32_t>(key)));
    return reinterpret_cast<::HKEY>(key);
}

bool IsText(uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Batches on this thread. Windows has no registry transaction everywhere
// (nor under Wine), so a batch's changes apply as they are made; what keeps a
// group correct after a power loss is their order on disk: callers write the
// change that makes a group count (the marker, such as the next section's
// name) last, and inside a batch every change reaches the disk before the
// next is made. The hive's lazy writer alone would give no such order.
struct BatchState {
    int depth = 0;
    bool unflushed = false; // a change of the batch not yet flushed
};
thread_local BatchState tBatch;

void FlushHives()
{
    ::RegFlushKey(Native(HKEY_LOCAL_MACHINE));
    ::RegFlushKey(Native(HKEY_CURRENT_USER));
}

// Before a change: the batch's earlier changes go to disk first.
void OrderAfterEarlierChanges()
{
    if (tBatch.depth > 0 && tBatch.unflushed) {
        FlushHives();
        tBatch.unflushed = false;
    }
}

LONG NoteChange(LONG result)
{
    if (result == ERROR_SUCCESS && tBatch.depth > 0)
        tBatch.unflushed = true;
    return result;
}

std::string DataToUtf8(uint32_t type, std::string_view raw)
{
    if (!IsText(type))
        return std::string(raw);
    if (raw.size() % 2)
        raw.remove_suffix(1);
    std::string text = Utf16LeToUtf8(raw);
    if (type != REG_MULTI_SZ && !text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::string DataFromUtf8(uint32_t type, const void *data, size_t size)
{
    std::string_view bytes(static_cast<const char *>(data), size);
    if (!IsText(type))
        return std::string(bytes);
    std::string wide = Utf8ToUtf16Le(bytes);
    if (type != REG_MULTI_SZ && (bytes.empty() || bytes.back() != '\0'))
        wide.append(2, '\0');
    return wide;
}

} // namespace

LONG RegCreateKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY *result, uint32_t *disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    ::HKEY key = nullptr;
    DWORD how = 0;
    OrderAfterEarlierChanges();
    LONG r = ::RegCreateKeyExW(Native(root), win::Widen(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                               nullptr, &key, &how);
    if (r != ERROR_SUCCESS)
        return r;
    *result = reinterpret_cast<HKEY>(key);
    if (disposition)
        *disposition = how;
    if (how == REG_CREATED_NEW_KEY)
        NoteChange(ERROR_SUCCESS);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY *result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    ::HKEY key = nullptr;
    LONG r = ::RegOpenKeyExW(Native(root), win::Widen(subKey).c_str(), 0, access, &key);
    if (r != ERROR_SUCCESS)
        return r;
    *result = reinterpret_cast<HKEY>(key);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(Native(key)); }

LONG RegSetValueEx(HKEY key, std::string_view name, uint32_t type, const void *data, size_t size)
{
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    std::string stored = DataFromUtf8(type, data ? data : "", size);
    if (stored.size() > 0xFFFFFFFFu)
        return ERROR_INVALID_PARAMETER;
    OrderAfterEarlierChanges();
    return NoteChange(::RegSetValueExW(Native(key), win::Widen(name).c_str(), 0, type,
                                       reinterpret_cast<const BYTE *>(stored.data()), static_cast<DWORD>(stored.size())));
}

LONG RegQueryValueEx(HKEY key, std::string_view name, uint32_t *type, std::vector<uint8_t> *data)
{
    std::wstring wname = win::Widen(name);
    std::string raw;
    DWORD t = 0;
    for (;;) {
        DWORD size = static_cast<DWORD>(raw.size());
        LONG r = ::RegQueryValueExW(Native(key), wname.c_str(), nullptr, &t,
                                    raw.empty() ? nullptr : reinterpret_cast<BYTE *>(raw.data()), &size);
        if (r == ERROR_MORE_DATA || (r == ERROR_SUCCESS && raw.size() < size)) {
            raw.resize(size);
            continue;
        }
        if (r != ERROR_SUCCESS)
            return r;
        raw.resize(size);
        break;
    }
    if (type)
        *type = t;
    if (data) {
        std::string text = DataToUtf8(t, raw);
        data->assign(text.begin(), text.end());
    }
    return ERROR_SUCCESS;
}

LONG RegDeleteValue(HKEY key, std::string_view name)
{
    OrderAfterEarlierChanges();
    return NoteChange(::RegDeleteValueW(Native(key), win::Widen(name).c_str()));
}

LONG RegDeleteKeyEx(HKEY root, std::string_view subKey, uint32_t access)
{
    // A key with subkeys stays, with the interface's own answer for it.
    UniqueKey k;
    if (LONG r = RegOpenKeyEx(root, subKey, KEY_READ | (access & ~kRightsMask), k.out()))
        return r;
    DWORD subKeys = 0;
    if (LONG r = ::RegQueryInfoKeyW(Native(k.get()), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr))
        return r;
    if (subKeys)
        return ERROR_KEY_HAS_CHILDREN;
    k.reset();
    OrderAfterEarlierChanges();
    return NoteChange(::RegDeleteKeyExW(Native(root), win::Widen(subKey).c_str(), access & ~kRightsMask, 0));
}

LONG RegDeleteTree(HKEY root, std::string_view subKey, uint32_t access)
{
    UniqueKey k;
    if (LONG r = RegOpenKeyEx(root, subKey, KEY_ALL_ACCESS | (access & ~kRightsMask), k.out()))
        return r;
    OrderAfterEarlierChanges();
    if (LONG r = NoteChange(::RegDeleteTreeW(Native(k.get()), nullptr)))
        return r;
    k.reset();
    return NoteChange(::RegDeleteKeyExW(Native(root), win::Widen(subKey).c_str(), access & ~kRightsMask, 0));
}

LONG RegEnumKeyEx(HKEY key, uint32_t index, std::string *name)
{
    wchar_t buf[256];
    DWORD n = 256;
    LONG r = ::RegEnumKeyExW(Native(key), index, buf, &n, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_SUCCESS && name)
        *name = win::Narrow(std::wstring_view(buf, n));
    return r;
}

LONG RegEnumValue(HKEY key, uint32_t index, std::string *name, uint32_t *type, std::vector<uint8_t> *data)
{
    wchar_t buf[16384];
    DWORD n = 16384;
    LONG r = ::RegEnumValueW(Native(key), index, buf, &n, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS)
        return r;
    std::string valueName = win::Narrow(std::wstring_view(buf, n));
    if (name)
        *name = valueName;
    if (type || data)
        return RegQueryValueEx(key, valueName, type, data);
    return ERROR_SUCCESS;
}

bool StringDataDropsTerminator(HKEY key, std::string_view name)
{
    std::wstring wname = win::Widen(name);
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(Native(key), wname.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size < 2)
        return false;
    std::vector<uint8_t> raw(size);
    if (::RegQueryValueExW(Native(key), wname.c_str(), nullptr, &type, raw.data(), &size) != ERROR_SUCCESS ||
        size < 2 || size % 2)
        return false;
    return raw[size - 1] == 0 && raw[size - 2] == 0;
}

// The changes of a batch apply as they are made, each on disk before the
// next (see BatchState); Commit() flushes the last one.
RegBatch::RegBatch()
{
    open_ = true;
    ++tBatch.depth;
}

RegBatch::~RegBatch()
{
    if (open_)
        --tBatch.depth;
}

LONG RegBatch::Commit()
{
    if (!open_)
        return status_;
    open_ = false;
    --tBatch.depth;
    FlushHives();
    tBatch.unflushed = false;
    return ERROR_SUCCESS;
}

std::string LastRegistryError() { return {}; }

void SetRegistryBusyTimeout(int) {}

} // namespace halcyon::platform::reg

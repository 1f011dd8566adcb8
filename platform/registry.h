// The emulated Windows registry: a real store on SQLite in
// <machine>/registry.db (see docs/platform.md). Win32-shaped: handles are
// pointer-sized values, results are Windows error codes (0 = ERROR_SUCCESS).
//
// Key names compare without regard to case and keep the case they were
// created with. String data are stored as the UTF-8 bytes given (no
// terminator is added). Each change is one transaction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/non_copyable.h"

namespace halcyon::platform::reg {

using HKEY = uintptr_t;
using LONG = int32_t;

constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;
constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004u;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;
constexpr HKEY HKEY_DYN_DATA = 0x80000006u;

constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_DWORD_BIG_ENDIAN = 5;
constexpr uint32_t REG_MULTI_SZ = 7;
constexpr uint32_t REG_QWORD = 11;

constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t KEY_SET_VALUE = 0x0002;
constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr uint32_t KEY_WOW64_64KEY = 0x0100;
constexpr uint32_t KEY_WOW64_32KEY = 0x0200;
constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_WRITE = 0x20006;
constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADKEY = 1010;            // a key path deeper than kMaxKeyDepth
constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;   // registry.db is not a readable store
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016; // registry.db cannot be opened, written or is locked
constexpr LONG ERROR_KEY_DELETED = 1018;        // the key behind a handle was deleted
constexpr LONG ERROR_KEY_HAS_CHILDREN = 1020;

// Keys nest at most this many levels below their root, as on Windows:
// creating a deeper key (directly or by an import) fails with ERROR_BADKEY.
constexpr size_t kMaxKeyDepth = 512;

constexpr uint32_t REG_CREATED_NEW_KEY = 1;
constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

// The 32-bit view (KEY_WOW64_32KEY) of HKLM\SOFTWARE\X is
// HKLM\SOFTWARE\WOW6432Node\X; the process is 64-bit, so the default view is
// the 64-bit one. `access` is recorded with the handle.
LONG RegCreateKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY *result, uint32_t *disposition = nullptr);
LONG RegOpenKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY *result);
LONG RegCloseKey(HKEY key);

LONG RegSetValueEx(HKEY key, std::string_view name, uint32_t type, const void *data, size_t size);
// `type` and `data` may be null. An empty name is the default value.
LONG RegQueryValueEx(HKEY key, std::string_view name, uint32_t *type, std::vector<uint8_t> *data);
LONG RegDeleteValue(HKEY key, std::string_view name);

// Deletes a key that has no subkeys (ERROR_KEY_HAS_CHILDREN otherwise, as
// ERROR_ACCESS_DENIED on Windows would be; see docs). `access` picks the view.
LONG RegDeleteKeyEx(HKEY root, std::string_view subKey, uint32_t access);
// Deletes a key with all its subkeys and values.
LONG RegDeleteTree(HKEY root, std::string_view subKey, uint32_t access = 0);

// Enumeration by index, in name order; ERROR_NO_MORE_ITEMS past the end.
LONG RegEnumKeyEx(HKEY key, uint32_t index, std::string *name);
LONG RegEnumValue(HKEY key, uint32_t index, std::string *name, uint32_t *type, std::vector<uint8_t> *data);

// Whether the stored data of a REG_SZ or REG_EXPAND_SZ value end in a UTF-16
// terminator that RegQueryValueEx leaves out of the text: true for such a
// value on Windows; the emulation keeps the bytes given, so never there.
bool StringDataDropsTerminator(HKEY key, std::string_view name);

// Convenience over the calls above.
LONG SetString(HKEY root, std::string_view subKey, std::string_view name, std::string_view value,
               uint32_t type = REG_SZ, uint32_t access = 0);
LONG SetDword(HKEY root, std::string_view subKey, std::string_view name, uint32_t value, uint32_t access = 0);
// Reads a REG_SZ/REG_EXPAND_SZ value as text (a trailing NUL is dropped).
LONG GetString(HKEY root, std::string_view subKey, std::string_view name, std::string *value, uint32_t access = 0);
LONG GetDword(HKEY root, std::string_view subKey, std::string_view name, uint32_t *value, uint32_t access = 0);
bool KeyExists(HKEY root, std::string_view subKey, uint32_t access = 0);

// Root from its name: "HKLM", "HKEY_LOCAL_MACHINE", "HKCR", ... (any case);
// 0 when unknown.
HKEY RootFromName(std::string_view name);
// Splits "HKLM\Software\X" into root and subkey; false when the root is
// unknown.
bool SplitKeyPath(std::string_view path, HKEY *root, std::string *subKey);
// "HKEY_LOCAL_MACHINE", ... for a root; empty for other values.
std::string RootName(HKEY root);

// Text of the last store failure (corrupt or locked registry.db) for
// diagnostics; empty when there was none.
std::string LastRegistryError();
// How long a call waits for another process's write lock (default 5000 ms).
void SetRegistryBusyTimeout(int milliseconds);

// Groups the changes made on this thread while it lives into one
// transaction: Commit() keeps all of them, otherwise none is kept. Other
// threads of the process wait until it ends.
class RegBatch : NonCopyable {
public:
    RegBatch();
    ~RegBatch();
    // ERROR_SUCCESS when the batch began.
    LONG status() const { return status_; }
    LONG Commit();

private:
    bool open_ = false;
    LONG status_ = ERROR_SUCCESS;
};

// Groups the reads made on this thread while it lives into one consistent
// view of the registry (a walk of a tree sees one state of it); other
// processes may change the registry meanwhile, the view does not show it.
// Other threads of the process wait until it ends.
class RegSnapshot : NonCopyable {
public:
    RegSnapshot();
    ~RegSnapshot();
    LONG status() const { return status_; }

private:
    LONG status_ = ERROR_SUCCESS;
};

// Scoped handle.
class UniqueKey : NonCopyable {
public:
    UniqueKey() = default;
    explicit UniqueKey(HKEY k) : key_(k) {}
    ~UniqueKey() { reset(); }
    UniqueKey(UniqueKey &&o) noexcept : key_(o.release()) {}
    UniqueKey &operator=(UniqueKey &&o) noexcept
    {
        if (this != &o) {
            reset();
            key_ = o.release();
        }
        return *this;
    }
    HKEY get() const { return key_; }
    HKEY *out()
    {
        reset();
        return &key_;
    }
    HKEY release()
    {
        HKEY k = key_;
        key_ = 0;
        return k;
    }
    void reset()
    {
        if (key_)
            RegCloseKey(key_);
        key_ = 0;
    }
    explicit operator bool() const { return key_ != 0; }

private:
    HKEY key_ = 0;
};

} // namespace halcyon::platform::reg

// Win32-shaped registry calls over the SQLite store (registry_store.h).
#include "platform/registry.h"

#include <pthread.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <type_traits>
#include <unordered_map>

#include "platform/path_map.h"
#include "platform/linux/registry_store.h"
#include "platform/registry_tree.h"

namespace halcyon::platform::reg {

namespace {

using store::Stmt;
using store::Transaction;
using Components = std::vector<std::string>;

constexpr uint32_t kRightsMask = 0xFFFF & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);

bool IsPredefined(HKEY k) { return k >= HKEY_CLASSES_ROOT && k <= HKEY_DYN_DATA; }

// An open key: the root it hangs under (HKCR stays the merged view) and its
// path below that root, with the access it was opened with.
struct Handle {
    HKEY root = 0;
    Components path;
    uint32_t access = KEY_ALL_ACCESS;
};

struct HandleTable {
    std::mutex mutex;
    std::map<HKEY, Handle> open;
    HKEY next = 1;
};

void ResetHandlesInChild();

HandleTable &Handles()
{
    static HandleTable *t = [] {
        auto *table = new HandleTable;
        ::pthread_atfork(nullptr, nullptr, ResetHandlesInChild);
        return table;
    }();
    return *t;
}

// A forked child gets a lock no other thread can be holding; its handles
// stay valid.
void ResetHandlesInChild() { new (&Handles().mutex) std::mutex(); }

HKEY AddHandle(Handle h)
{
    HandleTable &t = Handles();
    std::lock_guard<std::mutex> lock(t.mutex);
    // Small integers, never reaching the predefined root values.
    while (t.open.count(t.next) || t.next == 0 || IsPredefined(t.next))
        t.next = t.next >= 0x7FFFFFFF ? 1 : t.next + 1;
    HKEY k = t.next++;
    t.open.emplace(k, std::move(h));
    return k;
}

// Whether `access` grants `right`. A handle opened without any specific
// right (0, or only a view flag) is treated as fully accessible.
bool Grants(uint32_t access, uint32_t right) { return (access & kRightsMask) == 0 || (access & right) == right; }

// Applies the 32-bit view: HKLM\SOFTWARE[\X] -> HKLM\SOFTWARE\WOW6432Node[\X].
void ApplyView(HKEY root, uint32_t access, Components &path)
{
    if (root != HKEY_LOCAL_MACHINE || !(access & KEY_WOW64_32KEY) || path.empty())
        return;
    if (!EqualsNoCase(path[0], "SOFTWARE"))
        return;
    if (path.size() >= 2 && EqualsNoCase(path[1], "WOW6432Node"))
        return;
    path.insert(path.begin() + 1, "WOW6432Node");
}

// The handle (or predefined root) `key` extended by `subKey`.
LONG Resolve(HKEY key, std::string_view subKey, uint32_t viewAccess, Handle *out)
{
    if (IsPredefined(key)) {
        out->root = key;
        out->path.clear();
        out->access = KEY_ALL_ACCESS;
    } else {
        HandleTable &t = Handles();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.open.find(key);
        if (it == t.open.end())
            return ERROR_INVALID_HANDLE;
        *out = it->second;
    }
    for (auto &c : store::SplitComponents(subKey))
        out->path.push_back(std::move(c));
    ApplyView(out->root, viewAccess | (out->access & KEY_WOW64_32KEY), out->path);
    return ERROR_SUCCESS;
}

struct Place {
    int64_t node;
    Components path;
};

Components Classes(const Components &path)
{
    Components p{"Software", "Classes"};
    p.insert(p.end(), path.begin(), path.end());
    return p;
}

// Where a read looks, in order: HKCR reads HKCU\Software\Classes over
// HKLM\Software\Classes.
std::vector<Place> ReadPlaces(const Handle &h)
{
    if (h.root == HKEY_CLASSES_ROOT)
        return {{store::RootNode(HKEY_CURRENT_USER), Classes(h.path)},
                {store::RootNode(HKEY_LOCAL_MACHINE), Classes(h.path)}};
    return {{store::RootNode(h.root), h.path}};
}

// Where a write goes: HKCR writes go to HKLM\Software\Classes.
Place WritePlace(const Handle &h)
{
    if (h.root == HKEY_CLASSES_ROOT)
        return {store::RootNode(HKEY_LOCAL_MACHINE), Classes(h.path)};
    return {store::RootNode(h.root), h.path};
}

// Where a delete looks: the written place first, then the per-user one.
std::vector<Place> DeletePlaces(const Handle &h)
{
    if (h.root == HKEY_CLASSES_ROOT)
        return {{store::RootNode(HKEY_LOCAL_MACHINE), Classes(h.path)},
                {store::RootNode(HKEY_CURRENT_USER), Classes(h.path)}};
    return {{store::RootNode(h.root), h.path}};
}

// The first existing key among `places`.
LONG FindFirst(sqlite3 *db, const std::vector<Place> &places, int64_t *id)
{
    for (const auto &p : places) {
        LONG r = store::FindKey(db, p.node, p.path, id);
        if (r != ERROR_FILE_NOT_FOUND)
            return r;
    }
    return ERROR_FILE_NOT_FOUND;
}

// Every existing key among `places`, in order.
LONG FindAll(sqlite3 *db, const std::vector<Place> &places, std::vector<int64_t> *ids)
{
    for (const auto &p : places) {
        int64_t id = 0;
        LONG r = store::FindKey(db, p.node, p.path, &id);
        if (r == ERROR_SUCCESS)
            ids->push_back(id);
        else if (r != ERROR_FILE_NOT_FOUND)
            return r;
    }
    return ids->empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

LONG StepDone(sqlite3 *db, Stmt &s)
{
    if (s.prepareResult() != SQLITE_OK)
        return store::Fail(db, s.prepareResult());
    int rc = s.Step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? ERROR_SUCCESS : store::Fail(db, rc);
}

enum class Access { kNone, kRead, kWrite };

// Runs `body(db, tx)` on the store's connection inside a transaction
// (`kNone`: `body(db)` without one). The caller holds store::Lock().
template <typename Body>
LONG InLockedStore(Access access, Body body)
{
    LONG err = ERROR_SUCCESS;
    sqlite3 *db = store::Connection(&err);
    if (!db)
        return err;
    if constexpr (std::is_invocable_v<Body, sqlite3 *>) {
        return body(db);
    } else {
        Transaction tx(db, access == Access::kWrite);
        if (tx.status())
            return tx.status();
        return body(db, tx);
    }
}

// InLockedStore under the store's lock.
template <typename Body>
LONG InStore(Access access, Body body)
{
    auto lock = store::Lock();
    return InLockedStore(access, std::move(body));
}

// The open handle `key` when it grants `right`.
LONG OpenHandle(HKEY key, uint32_t right, Handle *h)
{
    if (LONG r = Resolve(key, {}, 0, h))
        return r;
    return Grants(h->access, right) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The existing keys that reads of `h` see; a key gone meanwhile is
// ERROR_KEY_DELETED.
LONG FindLive(sqlite3 *db, const Handle &h, std::vector<int64_t> *ids)
{
    LONG r = FindAll(db, ReadPlaces(h), ids);
    return r == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : r;
}

// Writes value `name` of key `id`; the first spelling of a value name is
// kept, as on Windows.
LONG PutValue(sqlite3 *db, int64_t id, std::string_view name, uint32_t type, const void *data, size_t size)
{
    Stmt s(db, "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
               "ON CONFLICT(key, name) DO UPDATE SET type=excluded.type, data=excluded.data");
    s.Bind(1, id).Bind(2, name).Bind(3, static_cast<int64_t>(type)).BindBlob(4, data, size);
    return StepDone(db, s);
}

// Deletes key `id` with everything below it (the key itself too unless
// `keepKey`).
LONG DeleteSubtree(sqlite3 *db, int64_t id, bool keepKey)
{
    const char *tree = "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent=t.id) ";
    std::string vals = std::string(tree) + "DELETE FROM vals WHERE key IN (SELECT id FROM t)";
    std::string keys = std::string(tree) + "DELETE FROM keys WHERE id IN (SELECT id FROM t WHERE id<>?1)";
    Stmt v(db, vals.c_str());
    v.Bind(1, id);
    if (LONG r = StepDone(db, v))
        return r;
    Stmt k(db, keys.c_str());
    k.Bind(1, id);
    if (LONG r = StepDone(db, k))
        return r;
    if (!keepKey) {
        Stmt self(db, "DELETE FROM keys WHERE id=?1");
        self.Bind(1, id);
        return StepDone(db, self);
    }
    return ERROR_SUCCESS;
}

LONG HasChildren(sqlite3 *db, int64_t id, bool *has)
{
    Stmt q(db, "SELECT 1 FROM keys WHERE parent=?1 LIMIT 1");
    if (q.prepareResult() != SQLITE_OK)
        return store::Fail(db, q.prepareResult());
    q.Bind(1, id);
    int rc = q.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return store::Fail(db, rc);
    *has = rc == SQLITE_ROW;
    return ERROR_SUCCESS;
}

LONG DeleteKeyImpl(HKEY root, std::string_view subKey, uint32_t access, bool tree)
{
    Handle h;
    if (LONG r = Resolve(root, subKey, access, &h))
        return r;
    if (!tree && h.path.empty())
        return ERROR_ACCESS_DENIED; // a root is never deleted
    return InStore(Access::kWrite, [&](sqlite3 *db, Transaction &tx) {
        int64_t id = 0;
        if (LONG r = FindFirst(db, DeletePlaces(h), &id))
            return r;
        if (!tree) {
            bool has = false;
            if (LONG r = HasChildren(db, id, &has))
                return r;
            if (has)
                return ERROR_KEY_HAS_CHILDREN;
        }
        // A tree delete without a subkey empties the key and keeps it (a root
        // always stays).
        if (LONG r = DeleteSubtree(db, id, h.path.empty() || store::SplitComponents(subKey).empty()))
            return r;
        return tx.Commit();
    });
}

// ---- enumeration --------------------------------------------------------
//
// Enumerating by index reads the key's ordered list once and keeps it with
// the handle, checked against the store's version on each call, so walking
// N entries costs one ordered read plus O(1) per index. A walk that goes on
// index by index keeps the list it started with even when the store changes
// meanwhile (it sees one consistent list); once the key itself is deleted
// the walk ends with ERROR_KEY_DELETED. A new walk (index 0, or an index out
// of sequence) after a change reads the list again.

struct Listing {
    struct Value {
        std::string name;
        uint32_t type;
        std::vector<uint8_t> data;
    };
    bool loaded = false;
    store::Version version;      // the store the list was read from
    store::Version checked;      // the last version the key was seen to exist in
    uint32_t next = 0;           // the index that continues the walk
    uint32_t unchecked = 0;      // steps of the walk since other processes' changes were looked at
    std::vector<std::string> keys;
    std::vector<Value> values;
};

struct Listings {
    Listing keys, values;
};

// Guarded by store::Lock(); entries go with RegCloseKey.
std::map<HKEY, Listings> &ListingTable()
{
    static auto *table = new std::map<HKEY, Listings>;
    return *table;
}

// Name order of the store (ASCII letters folded, then bytes), without copies.
bool NameLess(std::string_view a, std::string_view b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

// Merges the layers' name-ordered lists; the first layer wins a name.
template <typename T, typename NameOf>
std::vector<T> MergeLayers(std::vector<std::vector<T>> layers, NameOf nameOf)
{
    if (layers.size() == 1)
        return std::move(layers[0]);
    std::vector<T> out;
    for (auto &layer : layers) {
        std::vector<T> merged;
        merged.reserve(out.size() + layer.size());
        size_t i = 0, j = 0;
        while (i < out.size() || j < layer.size()) {
            if (j == layer.size() || (i < out.size() && NameLess(nameOf(out[i]), nameOf(layer[j])))) {
                merged.push_back(std::move(out[i++]));
            } else if (i == out.size() || NameLess(nameOf(layer[j]), nameOf(out[i]))) {
                merged.push_back(std::move(layer[j++]));
            } else {
                merged.push_back(std::move(out[i++])); // same name: the earlier layer's
                ++j;
            }
        }
        out = std::move(merged);
    }
    return out;
}

// Reads the ordered list of subkeys or values of the handle's key.
LONG LoadListing(sqlite3 *db, const Handle &h, bool values, Listing *list)
{
    Transaction tx(db, false);
    if (tx.status())
        return tx.status();
    std::vector<int64_t> ids;
    if (LONG r = FindLive(db, h, &ids))
        return r;
    list->version = store::CurrentVersion(db);
    Stmt q(db, values ? "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY name"
                      : "SELECT name FROM keys WHERE parent=?1 ORDER BY name");
    if (q.prepareResult() != SQLITE_OK)
        return store::Fail(db, q.prepareResult());
    std::vector<std::vector<std::string>> keyLayers;
    std::vector<std::vector<Listing::Value>> valueLayers;
    for (int64_t id : ids) {
        sqlite3_reset(q.get());
        q.Bind(1, id);
        if (values)
            valueLayers.emplace_back();
        else
            keyLayers.emplace_back();
        int rc;
        while ((rc = q.Step()) == SQLITE_ROW) {
            if (values)
                valueLayers.back().push_back({q.Text(0), static_cast<uint32_t>(q.Int(1)), q.Blob(2)});
            else
                keyLayers.back().push_back(q.Text(0));
        }
        if (rc != SQLITE_DONE)
            return store::Fail(db, rc);
    }
    if (values) {
        list->values = MergeLayers(std::move(valueLayers), [](const Listing::Value &v) -> const std::string & {
            return v.name;
        });
        list->keys.clear();
    } else {
        list->keys = MergeLayers(std::move(keyLayers), [](const std::string &n) -> const std::string & { return n; });
        list->values.clear();
    }
    list->checked = list->version;
    list->loaded = true;
    return ERROR_SUCCESS;
}

// The list an enumeration call at `index` reads (caller holds store::Lock()).
LONG Walk(sqlite3 *db, HKEY key, const Handle &h, bool values, uint32_t index, Listing **out)
{
    Listings &both = ListingTable()[key];
    Listing &list = values ? both.values : both.keys;
    bool continues = list.loaded && index != 0 && index == list.next;
    // Going on with a walk needs no look at other processes' changes on every
    // step (each look takes the store's read lock): a key another process
    // deleted ends the walk within kUncheckedSteps steps.
    constexpr uint32_t kUncheckedSteps = 64;
    if (continues && list.unchecked < kUncheckedSteps && store::CurrentVersion(db, false) == list.checked) {
        ++list.unchecked;
        list.next = index + 1;
        *out = &list;
        return ERROR_SUCCESS;
    }
    list.unchecked = 0;
    store::Version now = store::CurrentVersion(db);
    if (!list.loaded || (now != list.version && !continues)) {
        list.loaded = false;
        if (LONG r = LoadListing(db, h, values, &list))
            return r;
    } else if (now != list.checked) {
        // The walk goes on over its list; it ends if its key is gone.
        Transaction tx(db, false);
        if (tx.status())
            return tx.status();
        std::vector<int64_t> ids;
        if (LONG r = FindLive(db, h, &ids)) {
            list.loaded = false;
            return r;
        }
        list.checked = now;
    }
    list.next = index + 1;
    *out = &list;
    return ERROR_SUCCESS;
}

// Entry `index` of the subkeys (or `values`) of open key `key`: `take(list)`
// reads it from the walk's list.
template <typename Take>
LONG EnumAt(HKEY key, bool values, uint32_t index, Take take)
{
    Handle h;
    if (LONG r = OpenHandle(key, values ? KEY_QUERY_VALUE : KEY_ENUMERATE_SUB_KEYS, &h))
        return r;
    return InStore(Access::kNone, [&](sqlite3 *db) {
        Listing *list = nullptr;
        if (LONG r = Walk(db, key, h, values, index, &list))
            return r;
        if (index >= (values ? list->values.size() : list->keys.size()))
            return ERROR_NO_MORE_ITEMS;
        take(*list);
        return ERROR_SUCCESS;
    });
}

} // namespace

LONG RegCreateKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY *result, uint32_t *disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    Handle h;
    if (LONG r = Resolve(root, subKey, access, &h))
        return r;
    uint32_t parentAccess = h.access;
    h.access = access;
    return InStore(Access::kWrite, [&](sqlite3 *db, Transaction &tx) {
        int64_t id = 0;
        // An existing key (under HKCR: in either layer) is opened, not created.
        LONG found = FindFirst(db, ReadPlaces(h), &id);
        bool created = false;
        if (found == ERROR_FILE_NOT_FOUND) {
            if (!Grants(parentAccess, KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            Place p = WritePlace(h);
            if (LONG r = store::CreateKey(db, p.node, p.path, &id, &created))
                return r;
        } else if (found != ERROR_SUCCESS) {
            return found;
        }
        if (LONG r = tx.Commit())
            return r;
        *result = AddHandle(std::move(h));
        if (disposition)
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

LONG RegOpenKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY *result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    Handle h;
    if (LONG r = Resolve(root, subKey, access, &h))
        return r;
    h.access = access;
    return InStore(Access::kRead, [&](sqlite3 *db, Transaction &) {
        int64_t id = 0;
        if (LONG r = FindFirst(db, ReadPlaces(h), &id))
            return r;
        *result = AddHandle(std::move(h));
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY key)
{
    if (IsPredefined(key))
        return ERROR_SUCCESS;
    {
        auto lock = store::Lock();
        ListingTable().erase(key);
    }
    HandleTable &t = Handles();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.open.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegSetValueEx(HKEY key, std::string_view name, uint32_t type, const void *data, size_t size)
{
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    Handle h;
    if (LONG r = OpenHandle(key, KEY_SET_VALUE, &h))
        return r;
    return InStore(Access::kWrite, [&](sqlite3 *db, Transaction &tx) {
        Place p = WritePlace(h);
        int64_t id = 0;
        if (h.root == HKEY_CLASSES_ROOT) {
            bool created = false;
            if (LONG r = store::CreateKey(db, p.node, p.path, &id, &created))
                return r;
        } else if (LONG r = store::FindKey(db, p.node, p.path, &id)) {
            return r == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : r;
        }
        if (LONG r = PutValue(db, id, name, type, data, size))
            return r;
        return tx.Commit();
    });
}

LONG RegQueryValueEx(HKEY key, std::string_view name, uint32_t *type, std::vector<uint8_t> *data)
{
    Handle h;
    if (LONG r = OpenHandle(key, KEY_QUERY_VALUE, &h))
        return r;
    return InStore(Access::kRead, [&](sqlite3 *db, Transaction &) {
        // Under HKCR a value of the user's layer hides the machine's.
        std::vector<int64_t> ids;
        if (LONG r = FindLive(db, h, &ids))
            return r;
        Stmt q(db, "SELECT type, data FROM vals WHERE key=?1 AND name=?2");
        if (q.prepareResult() != SQLITE_OK)
            return store::Fail(db, q.prepareResult());
        for (int64_t id : ids) {
            sqlite3_reset(q.get());
            q.Bind(1, id).Bind(2, name);
            int rc = q.Step();
            if (rc == SQLITE_DONE)
                continue;
            if (rc != SQLITE_ROW)
                return store::Fail(db, rc);
            if (type)
                *type = static_cast<uint32_t>(q.Int(0));
            if (data)
                *data = q.Blob(1);
            return ERROR_SUCCESS;
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LONG RegDeleteValue(HKEY key, std::string_view name)
{
    Handle h;
    if (LONG r = OpenHandle(key, KEY_SET_VALUE, &h))
        return r;
    return InStore(Access::kWrite, [&](sqlite3 *db, Transaction &tx) {
        for (const auto &p : DeletePlaces(h)) {
            int64_t id = 0;
            LONG r = store::FindKey(db, p.node, p.path, &id);
            if (r == ERROR_FILE_NOT_FOUND)
                continue;
            if (r)
                return r;
            Stmt d(db, "DELETE FROM vals WHERE key=?1 AND name=?2");
            d.Bind(1, id).Bind(2, name);
            if (LONG e = StepDone(db, d))
                return e;
            if (sqlite3_changes(db) > 0)
                return tx.Commit();
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LONG RegDeleteKeyEx(HKEY root, std::string_view subKey, uint32_t access)
{
    return DeleteKeyImpl(root, subKey, access, false);
}

LONG RegDeleteTree(HKEY root, std::string_view subKey, uint32_t access)
{
    return DeleteKeyImpl(root, subKey, access, true);
}

LONG RegEnumKeyEx(HKEY key, uint32_t index, std::string *name)
{
    return EnumAt(key, false, index, [&](const Listing &list) {
        if (name)
            *name = list.keys[index];
    });
}

bool StringDataDropsTerminator(HKEY, std::string_view) { return false; }

LONG RegEnumValue(HKEY key, uint32_t index, std::string *name, uint32_t *type, std::vector<uint8_t> *data)
{
    return EnumAt(key, true, index, [&](const Listing &list) {
        const Listing::Value &v = list.values[index];
        if (name)
            *name = v.name;
        if (type)
            *type = v.type;
        if (data)
            *data = v.data;
    });
}

namespace {

// Hands the tree below `h` to `visit` (inside a reading transaction).
LONG VisitTree(sqlite3 *db, const Handle &h, RegTreeVisit visit, void *context)
{
    int64_t top = 0;
    if (LONG r = store::FindKey(db, store::RootNode(h.root), h.path, &top))
        return r == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : r;

    struct Node {
        std::string name;
        std::vector<RegTreeValue> values;
        std::vector<size_t> children;
    };
    std::vector<Node> nodes(1);
    std::unordered_map<int64_t, size_t> index{{top, 0}};
    // A recursive query hands out a key only after its parent.
    Stmt keys(db, "WITH RECURSIVE t(id, parent, name) AS (SELECT id, parent, name FROM keys WHERE parent=?1 "
                  "UNION ALL SELECT k.id, k.parent, k.name FROM keys k JOIN t ON k.parent=t.id) "
                  "SELECT id, parent, name FROM t");
    if (keys.prepareResult() != SQLITE_OK)
        return store::Fail(db, keys.prepareResult());
    keys.Bind(1, top);
    int rc;
    while ((rc = keys.Step()) == SQLITE_ROW) {
        const auto parent = index.find(keys.Int(1));
        if (parent == index.end())
            continue;
        const size_t n = nodes.size();
        nodes.push_back({keys.Text(2), {}, {}});
        nodes[parent->second].children.push_back(n);
        index.emplace(keys.Int(0), n);
    }
    if (rc != SQLITE_DONE)
        return store::Fail(db, rc);
    Stmt vals(db, "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent=t.id) "
                  "SELECT t.id, v.name, v.type, v.data FROM t JOIN vals v ON v.key=t.id");
    if (vals.prepareResult() != SQLITE_OK)
        return store::Fail(db, vals.prepareResult());
    vals.Bind(1, top);
    while ((rc = vals.Step()) == SQLITE_ROW) {
        const auto at = index.find(vals.Int(0));
        if (at != index.end())
            nodes[at->second].values.push_back({vals.Text(1), static_cast<uint32_t>(vals.Int(2)), vals.Blob(3)});
    }
    if (rc != SQLITE_DONE)
        return store::Fail(db, rc);

    // The listing order of RegEnumKeyEx and RegEnumValue.
    for (Node &node : nodes) {
        std::sort(node.children.begin(), node.children.end(),
                  [&](size_t a, size_t b) { return NameLess(nodes[a].name, nodes[b].name); });
        std::sort(node.values.begin(), node.values.end(),
                  [](const RegTreeValue &a, const RegTreeValue &b) { return NameLess(a.name, b.name); });
    }
    std::vector<std::pair<size_t, size_t>> stack{{0, 0}}; // node, depth
    while (!stack.empty()) {
        const auto [n, depth] = stack.back();
        stack.pop_back();
        if (LONG r = visit(depth, nodes[n].name, nodes[n].values, context))
            return r;
        for (auto c = nodes[n].children.rbegin(); c != nodes[n].children.rend(); ++c)
            stack.emplace_back(*c, depth + 1);
    }
    return ERROR_SUCCESS;
}

} // namespace

LONG RegReadTree(HKEY key, RegTreeVisit visit, void *context)
{
    Handle h;
    if (LONG r = OpenHandle(key, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &h))
        return r;
    if (h.root == HKEY_CLASSES_ROOT || (h.path.empty() && (h.access & KEY_WOW64_32KEY)))
        return ERROR_CALL_NOT_IMPLEMENTED;
    return InStore(Access::kRead, [&](sqlite3 *db, Transaction &) { return VisitTree(db, h, visit, context); });
}

LONG RegTreeWriter::KeyId(HKEY root, std::string_view subKey, uint32_t view, int64_t *id)
{
    if (root == HKEY_CLASSES_ROOT)
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (!IsPredefined(root))
        return ERROR_INVALID_HANDLE;
    if (known_ && root == root_ && view == view_ && subKey == subKey_) {
        *id = id_;
        return ERROR_SUCCESS;
    }
    known_ = false;
    Handle h;
    if (LONG r = Resolve(root, subKey, view, &h))
        return r;
    LONG made = InLockedStore(Access::kWrite, [&](sqlite3 *db, Transaction &tx) {
        bool created = false;
        if (LONG r = store::CreateKey(db, store::RootNode(root), h.path, id, &created))
            return r;
        return tx.Commit();
    });
    if (made)
        return made;
    known_ = true;
    root_ = root;
    view_ = view;
    subKey_.assign(subKey);
    id_ = *id;
    return ERROR_SUCCESS;
}

LONG RegTreeWriter::CreateKey(HKEY root, std::string_view subKey, uint32_t view)
{
    auto lock = store::Lock();
    int64_t id = 0;
    return KeyId(root, subKey, view, &id);
}

LONG RegTreeWriter::SetValue(HKEY root, std::string_view subKey, uint32_t view, std::string_view name, uint32_t type,
                             const void *data, size_t size)
{
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    auto lock = store::Lock();
    int64_t id = 0;
    if (LONG r = KeyId(root, subKey, view, &id))
        return r;
    return InLockedStore(Access::kWrite, [&](sqlite3 *db, Transaction &tx) {
        if (LONG r = PutValue(db, id, name, type, data, size))
            return r;
        return tx.Commit();
    });
}

RegBatch::RegBatch()
{
    status_ = store::BeginBatch();
    open_ = status_ == ERROR_SUCCESS;
}

RegBatch::~RegBatch()
{
    if (open_)
        store::EndBatch(false);
}

LONG RegBatch::Commit()
{
    if (!open_)
        return status_;
    open_ = false;
    return store::EndBatch(true);
}

RegSnapshot::RegSnapshot() { status_ = store::BeginBatch(false); }

RegSnapshot::~RegSnapshot()
{
    if (status_ == ERROR_SUCCESS)
        store::EndBatch(true);
}

std::string LastRegistryError() { return store::LastError(); }

void SetRegistryBusyTimeout(int milliseconds) { store::SetBusyTimeout(milliseconds); }

} // namespace halcyon::platform::reg

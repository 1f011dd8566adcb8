// The registry store: roots and views, exact data, case rules, deletes,
// enumeration at size and under concurrent change, a broken registry.db.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/registry.h"
#include "tests/common/test_env.h"

using namespace halcyon::platform::reg;
using halcyon::test::MachineScope;

namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

class Registry : public ::testing::Test {
protected:
    MachineScope machine;
};

std::vector<uint8_t> Query(HKEY root, std::string_view sub, std::string_view name, uint32_t *type = nullptr,
                           uint32_t access = KEY_READ)
{
    UniqueKey k;
    EXPECT_EQ(RegOpenKeyEx(root, sub, access, k.out()), ERROR_SUCCESS) << sub;
    std::vector<uint8_t> data;
    uint32_t t = 0;
    EXPECT_EQ(RegQueryValueEx(k.get(), name, &t, &data), ERROR_SUCCESS) << name;
    if (type)
        *type = t;
    return data;
}

} // namespace

TEST_F(Registry, EveryTypeKeepsItsExactBytes)
{
    UniqueKey k;
    uint32_t disp = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Types", KEY_ALL_ACCESS, k.out(), &disp), 0);
    EXPECT_EQ(disp, REG_CREATED_NEW_KEY);

    struct Case {
        const char *name;
        uint32_t type;
        std::vector<uint8_t> data;
    };
    const std::vector<Case> cases = {
        {"sz", REG_SZ, Bytes("C:\\Program Files")},           // no terminator added
        {"szNul", REG_SZ, Bytes(std::string("a\0", 2))},      // one given is kept
        {"empty", REG_SZ, {}},                                  // zero bytes
        {"expand", REG_EXPAND_SZ, Bytes("%windir%\\x")},
        {"bin", REG_BINARY, {0x00, 0xFF, 0x10, 0x00}},
        {"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"multi", REG_MULTI_SZ, Bytes(std::string("a\0bc\0\0", 6))},
        {"utf8", REG_SZ, Bytes("Gr\xC3\xBC\xC3\x9F")},
    };
    for (const auto &c : cases)
        ASSERT_EQ(RegSetValueEx(k.get(), c.name, c.type, c.data.data(), c.data.size()), 0) << c.name;
    for (const auto &c : cases) {
        uint32_t type = 0;
        EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "software\\test\\types", c.name, &type), c.data) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
    }
    // Overwriting changes type and data together.
    uint32_t one = 1;
    ASSERT_EQ(RegSetValueEx(k.get(), "sz", REG_DWORD, &one, 4), 0);
    uint32_t value = 0;
    EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Types", "SZ", &value), 0);
    EXPECT_EQ(value, 1u);
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheFirstSpelling)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\MixedCase\\Sub", "ValueName", "one"), 0);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\MIXEDCASE\\SUB", "VALUENAME", "two"), 0);
    std::string v;
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "software\\mixedcase\\sub", "valuename", &v), 0);
    EXPECT_EQ(v, "two");

    UniqueKey k;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, k.out()), 0);
    std::string name;
    ASSERT_EQ(RegEnumKeyEx(k.get(), 0, &name), 0);
    EXPECT_EQ(name, "MixedCase");
    UniqueKey sub;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\MIXEDCASE\\SUB", KEY_READ, sub.out()), 0);
    uint32_t type = 0;
    ASSERT_EQ(RegEnumValue(sub.get(), 0, &name, &type, nullptr), 0);
    EXPECT_EQ(name, "ValueName");
    EXPECT_EQ(RegEnumValue(sub.get(), 1, &name, &type, nullptr), ERROR_NO_MORE_ITEMS);
    // Case folding is ASCII only: a different non-ASCII letter is another key.
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\\xC3\x84", "", "upper"), 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\\xC3\xA4"));
}

TEST_F(Registry, RootsAreSeparateStores)
{
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};
    for (HKEY r : roots)
        ASSERT_EQ(SetString(r, "Same\\Path", "v", RootName(r)), 0);
    for (HKEY r : roots) {
        std::string v;
        ASSERT_EQ(GetString(r, "Same\\Path", "v", &v), 0);
        EXPECT_EQ(v, RootName(r));
    }
    EXPECT_EQ(RootFromName("hklm"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RootFromName("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT);
    EXPECT_EQ(RootFromName("HKXX"), 0u);
    HKEY root = 0;
    std::string sub;
    ASSERT_TRUE(SplitKeyPath("HKCU\\Software\\X\\", &root, &sub));
    EXPECT_EQ(root, HKEY_CURRENT_USER);
    EXPECT_EQ(sub, "Software\\X");
    EXPECT_FALSE(SplitKeyPath("NOPE\\Software", &root, &sub));
}

TEST_F(Registry, ThirtyTwoBitViewLivesUnderWow6432Node)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "bits", "32", REG_SZ, KEY_WOW64_32KEY), 0);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "bits", "64"), 0);
    std::string v;
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "Software\\WOW6432Node\\Vendor", "bits", &v), 0);
    EXPECT_EQ(v, "32");
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "bits", &v, KEY_WOW64_32KEY), 0);
    EXPECT_EQ(v, "32");
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "bits", &v, KEY_WOW64_64KEY), 0);
    EXPECT_EQ(v, "64");
    // A handle opened in the 32-bit view keeps it for keys below it.
    UniqueKey sw;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ | KEY_WOW64_32KEY, sw.out()), 0);
    ASSERT_EQ(GetString(sw.get(), "Vendor", "bits", &v), 0);
    EXPECT_EQ(v, "32");
    // An explicit WOW6432Node path is not redirected twice; other roots have
    // no 32-bit view.
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\Vendor", "bits", &v, KEY_WOW64_32KEY), 0);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Vendor", "bits", "user", REG_SZ, KEY_WOW64_32KEY), 0);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\WOW6432Node\\Vendor"));
}

TEST_F(Registry, ClassesRootMergesUserOverMachine)
{
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32", "", "/machine/lib.so"), 0);
    std::string v;
    // Writes through HKCR land in the machine's classes.
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{1}\\InprocServer32", "", &v), 0);
    EXPECT_EQ(v, "/machine/lib.so");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Classes\\CLSID"));

    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{1}\\InprocServer32", "", "/user/lib.so"), 0);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{2}", "", "user only"), 0);
    ASSERT_EQ(GetString(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32", "", &v), 0);
    EXPECT_EQ(v, "/user/lib.so");
    ASSERT_EQ(GetString(HKEY_CLASSES_ROOT, "clsid\\{2}", "", &v), 0);
    EXPECT_EQ(v, "user only");

    // Values merge name by name: what only the machine has stays visible,
    // and a write through HKCR reads back through HKCR.
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32", "ThreadingModel", "Both"), 0);
    ASSERT_EQ(GetString(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32", "ThreadingModel", &v), 0);
    EXPECT_EQ(v, "Both");
    {
        UniqueKey inproc;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32", KEY_READ, inproc.out()), 0);
        std::vector<std::string> valueNames;
        std::string n;
        std::vector<uint8_t> data;
        for (uint32_t i = 0; RegEnumValue(inproc.get(), i, &n, nullptr, &data) == 0; ++i)
            valueNames.push_back(n + "=" + std::string(data.begin(), data.end()));
        EXPECT_EQ(valueNames, (std::vector<std::string>{"=/user/lib.so", "ThreadingModel=Both"}));
    }

    // Enumeration shows the union once per name.
    UniqueKey clsid;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID", KEY_READ, clsid.out()), 0);
    std::vector<std::string> names;
    std::string name;
    for (uint32_t i = 0; RegEnumKeyEx(clsid.get(), i, &name) == 0; ++i)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"{1}", "{2}"}));

    // Removing the user layer uncovers the machine's value.
    ASSERT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{1}"), 0);
    ASSERT_EQ(GetString(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32", "", &v), 0);
    EXPECT_EQ(v, "/machine/lib.so");
    ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{1}"), 0);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{1}"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{2}"));
}

TEST_F(Registry, DeletingAKeyWithSubkeysIsRefused)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Child\\Leaf", "v", "x"), 0);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree", "top", "y"), 0);
    EXPECT_EQ(RegDeleteKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree", 0), ERROR_KEY_HAS_CHILDREN);
    std::string v;
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Child\\Leaf", "v", &v), 0);
    EXPECT_EQ(RegDeleteKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Child\\Leaf", 0), 0);
    EXPECT_EQ(RegDeleteKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Child\\Leaf", 0), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyEx(HKEY_LOCAL_MACHINE, "", 0), ERROR_ACCESS_DENIED);

    // A tree delete takes everything; a key recreated later starts empty.
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Child\\Other", "v", "x"), 0);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"), 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"));
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Child", "new", "1"), 0);
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree", "top", &v), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Child\\Other"));
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open((machine.root() + "/registry.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt *st = nullptr;
    // No value rows are left behind by the deleted keys.
    sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM vals WHERE key NOT IN (SELECT id FROM keys) AND key > 0", -1, &st,
                       nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 0);
    sqlite3_finalize(st);
    sqlite3_close(db);

    // A tree delete without a subkey empties the key and keeps it.
    UniqueKey k;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree", KEY_ALL_ACCESS, k.out()), 0);
    ASSERT_EQ(RegSetValueEx(k.get(), "v", REG_SZ, "x", 1), 0);
    EXPECT_EQ(RegDeleteTree(k.get(), ""), 0);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"));
    EXPECT_EQ(RegEnumValue(k.get(), 0, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyEx(k.get(), 0, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, HandlesFollowTheirKey)
{
    UniqueKey k;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\H\\", KEY_ALL_ACCESS, k.out()), 0);
    EXPECT_LT(k.get(), HKEY_CLASSES_ROOT);
    // Relative create and open through the handle.
    UniqueKey child;
    uint32_t disp = 0;
    ASSERT_EQ(RegCreateKeyEx(k.get(), "Child", KEY_ALL_ACCESS, child.out(), &disp), 0);
    EXPECT_EQ(disp, REG_CREATED_NEW_KEY);
    ASSERT_EQ(RegCreateKeyEx(k.get(), "CHILD", KEY_ALL_ACCESS, child.out(), &disp), 0);
    EXPECT_EQ(disp, REG_OPENED_EXISTING_KEY);

    // A read-only handle cannot write; a closed one is invalid.
    UniqueKey ro;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\H", KEY_READ, ro.out()), 0);
    EXPECT_EQ(RegSetValueEx(ro.get(), "v", REG_SZ, "x", 1), ERROR_ACCESS_DENIED);
    HKEY raw = ro.release();
    EXPECT_EQ(RegCloseKey(raw), 0);
    EXPECT_EQ(RegCloseKey(raw), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueEx(raw, "v", REG_SZ, "x", 1), ERROR_INVALID_HANDLE);

    // The key behind an open handle is deleted.
    ASSERT_EQ(RegDeleteKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\H\\Child", 0), 0);
    EXPECT_EQ(RegSetValueEx(child.get(), "v", REG_SZ, "x", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", KEY_READ, ro.out()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueEx(k.get(), "absent", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValue(k.get(), "absent"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, SwitchingMachinesSwitchesStores)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Which", "m", "first"), 0);
    {
        MachineScope other;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Which"));
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Which", "m", "second"), 0);
    }
    std::string v;
    ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Which", "m", &v), 0);
    EXPECT_EQ(v, "first");
}

TEST_F(Registry, CorruptStoreGivesAnErrorCode)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "v", "x"), 0);
    {
        MachineScope broken;
        halcyon::test::WriteFile(broken.root() + "/registry.db", std::string(8192, 'Z'));
        std::string v;
        EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "v", &v), ERROR_REGISTRY_CORRUPT);
        EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "v", "y"), ERROR_REGISTRY_CORRUPT);
        EXPECT_NE(LastRegistryError().find("corrupt"), std::string::npos);
        UniqueKey k;
        EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, k.out()), ERROR_REGISTRY_CORRUPT);
        EXPECT_FALSE(k);
    }
    // The good machine is usable again.
    std::string v;
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "v", &v), 0);
}

TEST_F(Registry, LockedStoreGivesAnErrorCodeAfterTheTimeout)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\L", "v", "before"), 0);
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open((machine.root() + "/registry.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    SetRegistryBusyTimeout(100);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\L", "v", "during"), ERROR_REGISTRY_IO_FAILED);
    EXPECT_NE(LastRegistryError().find("locked"), std::string::npos);
    // Readers are not blocked by a writer.
    std::string v;
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\L", "v", &v), 0);
    EXPECT_EQ(v, "before");
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    SetRegistryBusyTimeout(5000);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\L", "v", "after"), 0);
}

TEST_F(Registry, StoreDamagedBelowItsHeaderGivesAnErrorCode)
{
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many\\Key" + std::to_string(i) + std::string(40, 'k'), "v",
                          std::string(100, 'v')),
                  0);
    const std::string file = machine.root() + "/registry.db";
    {
        // Let go of the store, fold the log into it and damage every page
        // after the first (the schema stays readable, the tables do not).
        MachineScope other;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many"));
    }
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    {
        MachineScope other;
        std::string bytes = halcyon::test::ReadFile(file);
        ASSERT_GT(bytes.size(), 3 * 4096u);
        for (size_t i = 4096; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(0xA5 ^ (i * 31));
        halcyon::test::WriteFile(file, bytes);
    }
    std::string v;
    LONG r = GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many\\Key7" + std::string(40, 'k'), "v", &v);
    EXPECT_EQ(r, ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many\\New", "v", "x"), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many"), ERROR_REGISTRY_CORRUPT);
}

TEST_F(Registry, MachineFolderThatCannotBeMadeGivesAnErrorCode)
{
    halcyon::test::WriteFile(machine.root() + "/plain-file", "x");
    {
        halcyon::test::EnvScope broken("HALCYON_MACHINE", machine.root() + "/plain-file/machine");
        EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "v", "x"), ERROR_REGISTRY_IO_FAILED);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
        EXPECT_FALSE(LastRegistryError().empty());
    }
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "v", "x"), 0);
}

TEST_F(Registry, ThreadsShareTheStoreAndTheHandleTable)
{
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 40; ++i) {
                UniqueKey k;
                std::string sub = "SOFTWARE\\Threads\\T" + std::to_string(t);
                if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, sub, KEY_ALL_ACCESS, k.out()) != 0) {
                    ++failures;
                    continue;
                }
                std::string name = "v" + std::to_string(i);
                if (RegSetValueEx(k.get(), name, REG_SZ, name.data(), name.size()) != 0)
                    ++failures;
                std::string back;
                if (GetString(k.get(), "", name, &back) != 0 || back != name)
                    ++failures;
            }
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    UniqueKey k;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Threads\\T3", KEY_READ, k.out()), 0);
    EXPECT_EQ(RegEnumValue(k.get(), 39, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(RegEnumValue(k.get(), 40, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

namespace {

// Lists every subkey of `key` by index.
std::vector<std::string> ListSubkeys(HKEY key, LONG *end)
{
    std::vector<std::string> names;
    std::string name;
    for (uint32_t i = 0;; ++i) {
        *end = RegEnumKeyEx(key, i, &name);
        if (*end != ERROR_SUCCESS)
            return names;
        names.push_back(name);
    }
}

void MakeSubkeys(const std::string &parent, int count, const char *prefix)
{
    RegBatch batch;
    ASSERT_EQ(batch.status(), 0);
    for (int i = 0; i < count; ++i) {
        UniqueKey k;
        char name[32];
        std::snprintf(name, sizeof name, "%s%06d", prefix, i);
        ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, parent + "\\" + name, KEY_ALL_ACCESS, k.out()), 0);
    }
    ASSERT_EQ(batch.Commit(), 0);
}

} // namespace

TEST_F(Registry, ManySubkeysListInNameOrderQuickly)
{
    // Listing used to read the whole list for every index; the bound is
    // generous for CI, the benchmark holds the real figure.
    MakeSubkeys("SOFTWARE\\Big", 20000, "Key");
    UniqueKey k;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Big", KEY_READ, k.out()), 0);
    auto t0 = std::chrono::steady_clock::now();
    LONG end = 0;
    std::vector<std::string> names = ListSubkeys(k.get(), &end);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
    ASSERT_EQ(names.size(), 20000u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_LT(seconds, 10.0);
    // A change is seen by the next walk.
    ASSERT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Big\\Key000000"), 0);
    EXPECT_EQ(RegEnumKeyEx(k.get(), 0, &names[0]), 0);
    EXPECT_EQ(names[0], "Key000001");
}

TEST_F(Registry, EnumerationSeesOneListWhileOthersChangeTheKey)
{
    // The writer works in this process's connection or in another process;
    // a walk lists the keys that stayed, in order, each once.
    for (bool otherProcess : {false, true}) {
        SCOPED_TRACE(otherProcess ? "writer process" : "writer thread");
        MakeSubkeys("SOFTWARE\\Walk", 2000, "Stay");
        std::atomic<bool> stop{false};
        auto writer = [&stop] {
            for (int i = 0; !stop; ++i) {
                std::string name = "SOFTWARE\\Walk\\" + std::string(i % 2 ? "A" : "Z") + std::to_string(i % 50);
                if (i % 3 == 2)
                    RegDeleteTree(HKEY_LOCAL_MACHINE, name);
                else
                    SetString(HKEY_LOCAL_MACHINE, name, "v", "x");
            }
        };
        pid_t child = -1;
        std::thread thread;
        if (otherProcess) {
            child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                writer();
                _exit(0);
            }
        } else {
            thread = std::thread(writer);
        }
        for (int walk = 0; walk < 5; ++walk) {
            UniqueKey k;
            ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Walk", KEY_READ, k.out()), 0);
            LONG end = 0;
            std::vector<std::string> names = ListSubkeys(k.get(), &end);
            EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
            EXPECT_TRUE(std::adjacent_find(names.begin(), names.end(), [](const auto &a, const auto &b) {
                            return !(a < b);
                        }) == names.end());
            EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const auto &n) { return n.rfind("Stay", 0) == 0; }),
                      2000);
        }
        // Deleting the key being walked ends the walk.
        UniqueKey k;
        ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Walk", KEY_READ, k.out()), 0);
        std::string name;
        ASSERT_EQ(RegEnumKeyEx(k.get(), 0, &name), 0);
        ASSERT_EQ(RegEnumKeyEx(k.get(), 1, &name), 0);
        if (otherProcess) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        } else {
            stop = true;
            thread.join();
        }
        ASSERT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Walk"), 0);
        EXPECT_EQ(RegEnumKeyEx(k.get(), 2, &name), ERROR_KEY_DELETED);
        EXPECT_EQ(RegEnumKeyEx(k.get(), 0, &name), ERROR_KEY_DELETED);
    }
}

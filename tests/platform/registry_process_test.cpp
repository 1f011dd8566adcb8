// The registry under several processes: a writer killed mid-write leaves
// whole values, and two writers at once lose nothing.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "tests/common/test_env.h"

using namespace halcyon::platform::reg;

namespace {

constexpr size_t kValueSize = 3000;

// A value whose bytes all equal the round number: a torn write would mix two.
std::string Pattern(int round) { return std::string(kValueSize, static_cast<char>('A' + round % 26)); }

// Writes rounds until killed; each round rewrites values and recreates a key.
[[noreturn]] void WriterLoop()
{
    for (int round = 0;; ++round) {
        for (int v = 0; v < 4; ++v) {
            std::string name = "v" + std::to_string(v);
            if (SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Crash", name, Pattern(round)) != 0)
                _exit(3);
        }
        std::string sub = "SOFTWARE\\Crash\\Round" + std::to_string(round % 3);
        RegDeleteTree(HKEY_LOCAL_MACHINE, sub);
        if (SetString(HKEY_LOCAL_MACHINE, sub, "r", Pattern(round)) != 0)
            _exit(4);
    }
}

bool Uniform(const std::vector<uint8_t> &d)
{
    if (d.size() != kValueSize)
        return false;
    for (uint8_t b : d)
        if (b != d[0])
            return false;
    return true;
}

} // namespace

TEST(RegistryProcesses, WriterKilledMidWriteLeavesEveryValueWhole)
{
    halcyon::test::MachineScope machine;
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Crash", "v0", Pattern(0)), 0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            WriterLoop();
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 70 * attempt));
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "writer stopped by itself: " << WEXITSTATUS(status);

        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open((machine.root() + "/registry.db").c_str(), &db), SQLITE_OK);
        sqlite3_stmt *st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)), "ok");
        sqlite3_finalize(st);
        sqlite3_close(db);

        UniqueKey k;
        ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Crash", KEY_READ, k.out()), 0);
        std::string name;
        std::vector<uint8_t> data;
        uint32_t type = 0;
        int values = 0;
        for (uint32_t i = 0; RegEnumValue(k.get(), i, &name, &type, &data) == 0; ++i, ++values) {
            EXPECT_EQ(type, REG_SZ);
            EXPECT_TRUE(Uniform(data)) << name;
        }
        EXPECT_GE(values, 1);
        for (uint32_t i = 0; RegEnumKeyEx(k.get(), i, &name) == 0; ++i) {
            // Creating the key and setting its value are two changes: the
            // kill may fall between them, never inside one.
            std::string v;
            LONG r = GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Crash\\" + name, "r", &v);
            ASSERT_TRUE(r == 0 || r == ERROR_FILE_NOT_FOUND) << name << ": " << r;
            if (r == 0) {
                EXPECT_TRUE(Uniform(std::vector<uint8_t>(v.begin(), v.end()))) << name;
            }
        }
        // The store takes writes again.
        EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\AfterCrash", "after", "1"), 0);
    }
}

TEST(RegistryProcesses, TwoWritersAtOnceLoseNothing)
{
    halcyon::test::MachineScope machine;
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", "start", "1"), 0);
    constexpr int kWrites = 60;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            for (int i = 0; i < kWrites; ++i) {
                std::string name = "w" + std::to_string(c) + "_" + std::to_string(i);
                if (SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", name, name) != 0)
                    _exit(1);
                if (SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared\\Child" + std::to_string(c), "count",
                             static_cast<uint32_t>(i + 1)) != 0)
                    _exit(2);
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kWrites; ++i) {
            std::string name = "w" + std::to_string(c) + "_" + std::to_string(i);
            std::string v;
            ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", name, &v), 0) << name;
            EXPECT_EQ(v, name);
        }
        uint32_t count = 0;
        ASSERT_EQ(GetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared\\Child" + std::to_string(c), "count", &count), 0);
        EXPECT_EQ(count, static_cast<uint32_t>(kWrites));
    }
}

TEST(RegistryProcesses, ChildForkedInsideABatchNeverHangs)
{
    // SQLite's lock records are process memory: a child forked while the
    // parent holds the write lock sees it held for good. It must get an
    // error code, not wait forever on the registry's own locks.
    halcyon::test::MachineScope machine;
    pid_t child = -1;
    {
        RegBatch batch;
        ASSERT_EQ(batch.status(), 0);
        ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fork", "parent", "1"), 0);
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(20); // a hang ends the child by signal
            SetRegistryBusyTimeout(300);
            LONG r = SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fork", "child", "1");
            _exit(r == 0 ? 0 : r == ERROR_REGISTRY_IO_FAILED ? 2 : 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_EQ(batch.Commit(), 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child hung";
    EXPECT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 2) << WEXITSTATUS(status);
    std::string v;
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fork", "parent", &v), 0);
    // The parent goes on writing.
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fork", "after", "1"), 0);
}

// Registry benchmarks (Google Benchmark).
//
// Latency: one value written (create/open key, set, close) and read back, as
// the module installation does for each mark, for both commit durabilities.
// Size: listing the subkeys of one key by index; exporting and querying a
// whole tree shaped like a real HKLM\Software (10,318 keys / 22,738 values)
// and a larger one (20,000 keys / 50,000 values), in process and through the
// `halcyon reg` command; each next to a plain SQLite range scan of the same
// rows on a connection of its own, the floor any registry walk stands on.
//
//   registry_bench [--benchmark_filter=...]   (run from a folder on the disk
//   to measure; the throw-away machine is made below the current folder, or
//   in $REGISTRY_BENCH_DIR)
//   registry_bench --ab ROUNDS
//
// --ab times the commands against the sqlite3 shell on the larger tree in
// alternating rounds (processor time of the child processes) and prints the
// medians and ratios, one line each:
//   ab reg_export cpu_s <x> sqlite3_query_cpu_s <y> ratio <x/y>
//   ab reg_import cpu_s <x> sqlite3_load_cpu_s <y> ratio <x/y>
// The export's anchor is one recursive query of the same rows (key paths,
// value names, types, data in hex, sorted); the import's is the shell
// loading a dump of the same rows (one transaction) into a fresh file.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/reg_file.h"
#include "platform/registry.h"
#include "registry_store.h"

using namespace halcyon::platform::reg;
namespace fs = std::filesystem;

namespace {

std::string BaseFolder()
{
    const char *dir = std::getenv("REGISTRY_BENCH_DIR");
    return (fs::path(dir ? dir : fs::current_path().string()) / "registry-bench-machine").string();
}

// Switches to a fresh machine named `name`; the registry reconnects.
std::string FreshMachine(const std::string &name)
{
    std::string folder = BaseFolder() + "/" + name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    setenv("HALCYON_MACHINE", folder.c_str(), 1);
    return folder;
}

void Check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "registry_bench: %s failed: %s\n", what, LastRegistryError().c_str());
        std::abort();
    }
}

// ---- latency ----------------------------------------------------------------

const std::string kMarks = "SOFTWARE\\Norv Corporation\\Installed Software\\InstallerStatus";

void BM_WriteValue(benchmark::State &state)
{
    FreshMachine("latency");
    store::SetSynchronousFull(state.range(0) != 0);
    const std::string value(60, 'x');
    int i = 0;
    for (auto _ : state)
        Check(SetString(HKEY_LOCAL_MACHINE, kMarks, "Item" + std::to_string(i++ % 50), value) == 0, "write");
    store::SetSynchronousFull(true);
}
BENCHMARK(BM_WriteValue)->ArgName("full")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_ReadValue(benchmark::State &state)
{
    FreshMachine("latency");
    for (int i = 0; i < 50; ++i)
        Check(SetString(HKEY_LOCAL_MACHINE, kMarks, "Item" + std::to_string(i), std::string(60, 'x')) == 0, "write");
    int i = 0;
    for (auto _ : state) {
        std::string out;
        Check(GetString(HKEY_LOCAL_MACHINE, kMarks, "Item" + std::to_string(i++ % 50), &out) == 0, "read");
    }
}
BENCHMARK(BM_ReadValue)->Unit(benchmark::kMicrosecond);

// ---- data at size -------------------------------------------------------------

struct Tree {
    std::string folder;
    std::string top; // below HKLM
};

// The tree `made` keeps under `size`: on the first call the key `top` in the
// fresh machine `machine`, filled by `build` (without waiting for the disk);
// on a later one its machine is chosen again.
template <class Build>
const Tree &MadeOnce(std::map<int, Tree> &made, int size, const std::string &machine, const std::string &top,
                     Build &&build)
{
    auto it = made.find(size);
    if (it != made.end()) {
        setenv("HALCYON_MACHINE", it->second.folder.c_str(), 1);
        return it->second;
    }
    const Tree t{FreshMachine(machine), top};
    store::SetSynchronousFull(false);
    build(t);
    store::SetSynchronousFull(true);
    return made[size] = t;
}

// One key with `count` subkeys (HKLM\SOFTWARE\Wide).
const Tree &WideKey(int count)
{
    static std::map<int, Tree> made;
    return MadeOnce(made, count, "wide" + std::to_string(count), "SOFTWARE\\Wide", [&](const Tree &t) {
        RegBatch batch;
        UniqueKey parent;
        Check(RegCreateKeyEx(HKEY_LOCAL_MACHINE, t.top, KEY_ALL_ACCESS, parent.out()) == 0, "create");
        for (int i = 0; i < count; ++i) {
            char name[48];
            std::snprintf(name, sizeof name, "{%08X-0000-0000-0000-%012d}", static_cast<unsigned>(i * 2654435761u), i);
            UniqueKey k;
            Check(RegCreateKeyEx(parent.get(), name, KEY_ALL_ACCESS, k.out()) == 0, "create");
        }
        Check(batch.Commit() == 0, "commit");
    });
}

// A tree shaped like a real software hive: a few wide keys (class and
// interface registrations with thousands of subkeys), the rest a vendor /
// product / version hierarchy; values mostly strings, then numbers and
// binary data.
const Tree &SoftwareTree(int keys, int values)
{
    static std::map<int, Tree> made;
    return MadeOnce(made, keys, "tree" + std::to_string(keys), "SOFTWARE", [&](const Tree &t) {
        std::mt19937 rng(12345);
        RegBatch batch;
        std::vector<std::string> paths = {t.top};
        std::vector<std::string> wide = {t.top + "\\Classes\\CLSID", t.top + "\\Classes\\Interface"};
        for (const auto &w : wide)
            paths.push_back(w);
        while (static_cast<int>(paths.size()) < keys) {
            std::string parent;
            uint32_t pick = rng() % 100;
            if (pick < 35)
                parent = wide[pick % 2];
            else
                parent = paths[rng() % paths.size()];
            char name[48];
            if (pick < 35)
                std::snprintf(name, sizeof name, "{%08X-%04X-0000-C000-%012X}", static_cast<unsigned>(rng()), static_cast<unsigned>(rng() & 0xFFFF),
                              static_cast<unsigned>(paths.size()));
            else
                std::snprintf(name, sizeof name, "Component %u", static_cast<unsigned>(paths.size()));
            paths.push_back(parent + "\\" + name);
            UniqueKey k;
            Check(RegCreateKeyEx(HKEY_LOCAL_MACHINE, paths.back(), KEY_ALL_ACCESS, k.out()) == 0, "create");
        }
        for (int v = 0; v < values; ++v) {
            UniqueKey k;
            Check(RegOpenKeyEx(HKEY_LOCAL_MACHINE, paths[rng() % paths.size()], KEY_ALL_ACCESS, k.out()) == 0, "open");
            std::string name = "Value" + std::to_string(v);
            uint32_t kind = rng() % 20;
            std::string data;
            uint32_t type = REG_SZ;
            if (kind < 12) {
                data = "C:\\Program Files\\Vendor " + std::to_string(v) + "\\bin\\component.dll";
            } else if (kind < 17) {
                type = REG_DWORD;
                data = std::string(4, static_cast<char>(v));
            } else if (kind < 19) {
                type = REG_BINARY;
                data = std::string(16 + rng() % 64, static_cast<char>(v));
            } else {
                type = REG_EXPAND_SZ;
                data = std::string("%SystemRoot%\\system32\\x.dll\0", 28);
            }
            Check(RegSetValueEx(k.get(), name, type, data.data(), data.size()) == 0, "set");
        }
        Check(batch.Commit() == 0, "commit");
    });
}

// Every row of the tree below `top`, read by parent-index range scans on a
// connection of its own; returns the number of rows read.
int64_t RangeScan(const Tree &t, bool withValues)
{
    sqlite3 *db = nullptr;
    Check(sqlite3_open_v2((t.folder + "/registry.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK,
          "open");
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *find = nullptr, *keys = nullptr, *vals = nullptr;
    sqlite3_prepare_v2(db, "SELECT id FROM keys WHERE parent=?1 AND name=?2", -1, &find, nullptr);
    sqlite3_prepare_v2(db, "SELECT id, name FROM keys WHERE parent=?1 ORDER BY name", -1, &keys, nullptr);
    sqlite3_prepare_v2(db, "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY name", -1, &vals, nullptr);
    int64_t node = store::RootNode(HKEY_LOCAL_MACHINE);
    size_t pos = 0;
    while (pos <= t.top.size()) {
        size_t sep = t.top.find('\\', pos);
        std::string part = t.top.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos);
        sqlite3_reset(find);
        sqlite3_bind_int64(find, 1, node);
        sqlite3_bind_text(find, 2, part.c_str(), -1, SQLITE_TRANSIENT);
        Check(sqlite3_step(find) == SQLITE_ROW, "find");
        node = sqlite3_column_int64(find, 0);
        if (sep == std::string::npos)
            break;
        pos = sep + 1;
    }
    int64_t rows = 0;
    std::vector<int64_t> stack = {node};
    while (!stack.empty()) {
        int64_t id = stack.back();
        stack.pop_back();
        if (withValues) {
            sqlite3_reset(vals);
            sqlite3_bind_int64(vals, 1, id);
            while (sqlite3_step(vals) == SQLITE_ROW) {
                benchmark::DoNotOptimize(sqlite3_column_blob(vals, 2));
                ++rows;
            }
        }
        sqlite3_reset(keys);
        sqlite3_bind_int64(keys, 1, id);
        while (sqlite3_step(keys) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(keys, 1));
            if (withValues)
                stack.push_back(sqlite3_column_int64(keys, 0));
            ++rows;
        }
    }
    sqlite3_finalize(find);
    sqlite3_finalize(keys);
    sqlite3_finalize(vals);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    return rows;
}

void BM_ListSubkeys(benchmark::State &state)
{
    const Tree &t = WideKey(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        UniqueKey k;
        Check(RegOpenKeyEx(HKEY_LOCAL_MACHINE, t.top, KEY_READ, k.out()) == 0, "open");
        std::string name;
        uint32_t i = 0;
        while (RegEnumKeyEx(k.get(), i, &name) == ERROR_SUCCESS)
            ++i;
        Check(i == state.range(0), "list");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListSubkeys)->Arg(1000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ListSubkeysSqliteScan(benchmark::State &state)
{
    const Tree &t = WideKey(static_cast<int>(state.range(0)));
    for (auto _ : state)
        Check(RangeScan(t, false) == state.range(0), "scan");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListSubkeysSqliteScan)->Arg(1000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ExportTree(benchmark::State &state)
{
    const Tree &t = SoftwareTree(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::string file = t.folder + "/export.reg";
    for (auto _ : state)
        Check(ExportRegFile(HKEY_LOCAL_MACHINE, t.top, 0, file) == 0, "export");
    state.counters["bytes"] = static_cast<double>(fs::file_size(file));
}
BENCHMARK(BM_ExportTree)->Args({10318, 22738})->Args({20000, 50000})->Unit(benchmark::kMillisecond);

void BM_ExportTreeSqliteScan(benchmark::State &state)
{
    const Tree &t = SoftwareTree(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    int64_t rows = 0;
    for (auto _ : state)
        rows = RangeScan(t, true);
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ExportTreeSqliteScan)->Args({10318, 22738})->Args({20000, 50000})->Unit(benchmark::kMillisecond);

// The command as an operator runs it, process start included: the build's
// own, or $REGISTRY_BENCH_HALCYON (another build, to compare).
std::string HalcyonBinary()
{
    if (const char *other = std::getenv("REGISTRY_BENCH_HALCYON"))
        return other;
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    self[n] = '\0';
    fs::path bin = fs::path(self).parent_path().parent_path() / "bin" / "halcyon";
    return fs::exists(bin) ? bin.string() : std::string();
}

void RunCommand(benchmark::State &state, const std::string &arguments)
{
    const Tree &t = SoftwareTree(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::string bin = HalcyonBinary();
    if (bin.empty()) {
        state.SkipWithError("halcyon not built next to the benchmark");
        return;
    }
    std::string command = bin + " reg " + arguments + " >/dev/null";
    auto childCpu = [] {
        rusage u{};
        ::getrusage(RUSAGE_CHILDREN, &u);
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
               static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    };
    double before = childCpu();
    for (auto _ : state)
        Check(std::system(command.c_str()) == 0, command.c_str());
    // The command's own processor time (the benchmark's CPU column is its
    // parent's).
    state.counters["command_cpu_ms"] = (childCpu() - before) / static_cast<double>(state.iterations());
    (void)t;
}

void BM_RegExportCommand(benchmark::State &state)
{
    RunCommand(state, "export 'HKLM\\SOFTWARE' '" + BaseFolder() + "/cli.reg' /y");
}
BENCHMARK(BM_RegExportCommand)->Args({10318, 22738})->Args({20000, 50000})->Unit(benchmark::kMillisecond);

void BM_RegQueryRecursiveCommand(benchmark::State &state) { RunCommand(state, "query 'HKLM\\SOFTWARE' /s"); }
BENCHMARK(BM_RegQueryRecursiveCommand)->Args({10318, 22738})->Args({20000, 50000})->Unit(benchmark::kMillisecond);

double ChildCpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The processor time of one shell command (which must succeed).
double ChildCpu(const std::string &command)
{
    const double before = ChildCpuSeconds();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "registry_bench: failed: %s\n", command.c_str());
        std::exit(1);
    }
    return ChildCpuSeconds() - before;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int AlternateWithSqliteShell(int rounds)
{
    const std::string bin = HalcyonBinary();
    if (bin.empty()) {
        std::fprintf(stderr, "registry_bench: halcyon not built next to the benchmark\n");
        return 1;
    }
    const Tree &t = SoftwareTree(20000, 50000);
    const std::string db = t.folder + "/registry.db";
    const std::string base = BaseFolder();
    const std::string exported = base + "/ab.reg";
    const std::string dump = base + "/ab.sql";
    const std::string query =
        "WITH RECURSIVE t(id, path) AS (SELECT id, 'HKEY_LOCAL_MACHINE\\' || name FROM keys WHERE parent=" +
        std::to_string(store::RootNode(HKEY_LOCAL_MACHINE)) +
        " AND name='SOFTWARE' UNION ALL SELECT k.id, t.path || '\\' || k.name FROM keys k JOIN t ON k.parent=t.id) "
        "SELECT t.path, v.name, v.type, hex(v.data) FROM t LEFT JOIN vals v ON v.key=t.id ORDER BY t.path, v.name;";
    ChildCpu("sqlite3 '" + db + "' .dump > '" + dump + "'");
    std::vector<double> exportCpu, queryCpu, importCpu, loadCpu;
    for (int i = 0; i < rounds; ++i) {
        exportCpu.push_back(ChildCpu("HALCYON_MACHINE='" + t.folder + "' " + bin + " reg export 'HKLM\\SOFTWARE' '" +
                                     exported + "' /y > /dev/null"));
        queryCpu.push_back(ChildCpu("sqlite3 -readonly '" + db + "' \"" + query + "\" > /dev/null"));
        const std::string fresh = base + "/ab-import";
        fs::remove_all(fresh);
        fs::create_directories(fresh);
        importCpu.push_back(
            ChildCpu("HALCYON_MACHINE='" + fresh + "' " + bin + " reg import '" + exported + "' > /dev/null"));
        fs::remove_all(fresh);
        fs::create_directories(fresh);
        loadCpu.push_back(ChildCpu("sqlite3 '" + fresh + "/load.db' < '" + dump + "' > /dev/null"));
    }
    std::printf("ab reg_export cpu_s %.3f sqlite3_query_cpu_s %.3f ratio %.2f\n", Median(exportCpu), Median(queryCpu),
                Median(exportCpu) / Median(queryCpu));
    std::printf("ab reg_import cpu_s %.3f sqlite3_load_cpu_s %.3f ratio %.2f\n", Median(importCpu), Median(loadCpu),
                Median(importCpu) / Median(loadCpu));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--ab") {
        const int r = AlternateWithSqliteShell(std::atoi(argv[2]));
        fs::remove_all(BaseFolder());
        return r;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(BaseFolder());
    return 0;
}

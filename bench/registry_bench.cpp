// Registry latency: one value written (create/open key, set, close) and read
// back, as the module installation does for each mark. Prints median and
// 99th percentile per operation for both commit durabilities.
//
//   registry_bench [FOLDER] [COUNT]
// FOLDER holds the throw-away machine (default: a folder below the current
// one, so the figures come from a real disk rather than a memory file
// system).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_store.h"

using namespace halcyon::platform::reg;
using Clock = std::chrono::steady_clock;

namespace {

struct Figures {
    double median;
    double p99;
};

Figures Summarize(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

template <typename F>
Figures Measure(int count, F &&op)
{
    std::vector<double> us;
    us.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto t0 = Clock::now();
        op(i);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return Summarize(std::move(us));
}

void Run(const std::string &folder, int count, bool full)
{
    std::filesystem::remove_all(folder);
    setenv("HALCYON_MACHINE", folder.c_str(), 1);
    halcyon::platform::reg::store::SetSynchronousFull(full);
    const std::string key = "SOFTWARE\\Norv Corporation\\Installed Software\\InstallerStatus";
    const std::string value(60, 'x');
    auto write = Measure(count, [&](int i) {
        if (SetString(HKEY_LOCAL_MACHINE, key, "Item" + std::to_string(i % 50), value) != 0)
            std::abort();
    });
    UniqueKey held;
    if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, key, KEY_ALL_ACCESS, held.out()) != 0)
        std::abort();
    auto setHeld = Measure(count, [&](int i) {
        std::string name = "Held" + std::to_string(i % 50);
        if (RegSetValueEx(held.get(), name, REG_SZ, value.data(), value.size()) != 0)
            std::abort();
    });
    auto read = Measure(count, [&](int i) {
        std::string out;
        if (GetString(HKEY_LOCAL_MACHINE, key, "Item" + std::to_string(i % 50), &out) != 0)
            std::abort();
    });
    auto queryHeld = Measure(count, [&](int i) {
        std::vector<uint8_t> data;
        if (RegQueryValueEx(held.get(), "Held" + std::to_string(i % 50), nullptr, &data) != 0)
            std::abort();
    });
    const char *mode = full ? "FULL  " : "NORMAL";
    std::printf("%s write (create key + set + close) median %8.1f us  p99 %8.1f us\n", mode, write.median, write.p99);
    std::printf("%s set value on an open key        median %8.1f us  p99 %8.1f us\n", mode, setHeld.median,
                setHeld.p99);
    std::printf("%s read (open key + query + close) median %8.1f us  p99 %8.1f us\n", mode, read.median, read.p99);
    std::printf("%s query value on an open key      median %8.1f us  p99 %8.1f us\n", mode, queryHeld.median,
                queryHeld.p99);
    held.reset();
    std::filesystem::remove_all(folder);
}

} // namespace

int main(int argc, char **argv)
{
    std::string folder = argc > 1 ? argv[1] : (std::filesystem::current_path() / "registry-bench-machine").string();
    int count = argc > 2 ? std::atoi(argv[2]) : 2000;
    if (count < 10)
        count = 10;
    std::printf("machine folder %s, %d operations each\n", folder.c_str(), count);
    Run(folder, count, true);
    Run(folder, count, false);
    return 0;
}

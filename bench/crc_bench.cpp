// Folder CRC check throughput, side by side with `rhash --crc32` and a plain
// `cat` to /dev/null over the same files, on warm page cache.
//
//   crc_bench [--mb N] [--runs N] [--dir PATH]
//   crc_bench --ab ROUNDS [--mb N] [--dir PATH]
//
// Lays out N MB (default 1024) twice below a temporary folder: once as many
// files (256 KiB each, 64 per subfolder), once as one file; writes their
// manifests, reads everything once to warm the cache, then times each tool
// `runs` times (default 3) and prints the best time and MB/s of each.
//
// With --ab, both layouts are checked in rounds that alternate CheckFolder,
// the plain read() loop (the floor) and the same loop with the check's
// CRC-32 on every piece, and the median processor seconds and ratios are
// printed per layout, one line each:
//   ab <layout> check_cpu_s <x> read_cpu_s <y> ratio <x/y> | read_crc_cpu_s <z> | per round: ...
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "engine/frame/crc32_wide.h"
#include "engine/frame/folder_crc.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

void Layout(const std::string &many, const std::string &one, size_t megabytes)
{
    const size_t fileSize = 256 * 1024;
    const size_t files = megabytes * 4;
    for (size_t i = 0; i < files; ++i) {
        const std::string sub = many + "/d" + std::to_string(i / 64);
        fs::create_directories(sub);
        WriteData(sub + "/f" + std::to_string(i) + ".bin", fileSize, static_cast<uint32_t>(i));
    }
    fs::create_directories(one);
    std::ofstream out(one + "/image.bin", std::ios::binary | std::ios::trunc);
    std::vector<char> block(1 << 20);
    uint32_t x = 12345;
    for (size_t mb = 0; mb < megabytes; ++mb) {
        for (size_t i = 0; i + 4 <= block.size(); i += 4) {
            x = x * 1664525u + 1013904223u;
            std::memcpy(block.data() + i, &x, 4);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

// Processor seconds (user + system) of this process and its waited-for
// children: on a busy machine they vary far less than wall-clock time.
double CpuSeconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        struct rusage u {};
        getrusage(who, &u);
        total += static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                 static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
};

template <typename Fn>
Timing Best(int runs, Fn &&fn)
{
    Timing best;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        const double c = CpuSeconds();
        fn();
        best.wall = std::min(best.wall, Seconds(a, Clock::now()));
        best.cpu = std::min(best.cpu, CpuSeconds() - c);
    }
    return best;
}

// Plain read() of every file below `folder` in 256 KiB pieces, one buffer
// for all; with `crc`, each piece also goes through the check's CRC-32.
uint32_t ReadAll(const std::string &folder, bool crc = false)
{
    std::vector<char> buffer(262144);
    uint32_t value = 0;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().string().find("_FS_SWRINFO") != std::string::npos)
            continue;
        const int fd = open(entry.path().c_str(), O_RDONLY);
        ssize_t n = 0;
        while ((n = read(fd, buffer.data(), buffer.size())) > 0) {
            if (crc)
                value = halcyon::frame::Crc32(value, buffer.data(), static_cast<size_t>(n));
        }
        close(fd);
    }
    return value;
}

int Shell(const std::string &command)
{
    return std::system(command.c_str());
}

} // namespace

// CheckFolder with its two output lines sent to /dev/null.
int QuietCheck(const std::string &folder, std::string &message)
{
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    const int r = halcyon::frame::CheckFolder(folder, message);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null);
    if (r != 0)
        std::fprintf(stderr, "CheckFolder: %d %s\n", r, message.c_str());
    return r;
}

double Quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

double Median(const std::vector<double> &v) { return Quantile(v, 0.5); }

// Alternating rounds of the check, the read() loop and the read() loop with
// the CRC, in a rotating order, processor time each. Besides the medians,
// the ratios of each round (the three ran back to back) give the spread.
void AlternateRounds(const std::string &label, const std::string &folder, int rounds)
{
    std::string message;
    std::vector<double> times[3];
    std::vector<double> toRead;
    std::vector<double> toReadCrc;
    volatile uint32_t sink = 0;
    for (int i = 0; i < rounds; ++i) {
        double t[3] = {};
        for (int k = 0; k < 3; ++k) {
            const int which = (i + k) % 3;
            const double c = CpuSeconds();
            if (which == 0)
                QuietCheck(folder, message);
            else
                sink = sink + ReadAll(folder, which == 2);
            t[which] = CpuSeconds() - c;
            times[which].push_back(t[which]);
        }
        toRead.push_back(t[0] / t[1]);
        toReadCrc.push_back(t[0] / t[2]);
    }
    const double x = Median(times[0]);
    const double y = Median(times[1]);
    std::printf("ab %-5s check_cpu_s %.4f read_cpu_s %.4f ratio %.2f | read_crc_cpu_s %.4f"
                " | per round: check/read %.2f (quartiles %.2f-%.2f), check/read+crc %.2f (%.2f-%.2f)\n",
                label.c_str(), x, y, x / y, Median(times[2]), Median(toRead), Quantile(toRead, 0.25),
                Quantile(toRead, 0.75), Median(toReadCrc), Quantile(toReadCrc, 0.25), Quantile(toReadCrc, 0.75));
}

int main(int argc, char **argv)
{
    size_t megabytes = 1024;
    int runs = 3;
    int abRounds = 0;
    std::string base;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--mb")
            megabytes = std::strtoul(argv[i + 1], nullptr, 10);
        else if (a == "--runs")
            runs = std::atoi(argv[i + 1]);
        else if (a == "--dir")
            base = argv[i + 1];
        else if (a == "--ab")
            abRounds = std::atoi(argv[i + 1]);
    }
    bool own = false;
    if (base.empty()) {
        char tmpl[] = "/tmp/crc-bench-XXXXXX";
        if (!mkdtemp(tmpl))
            return 1;
        base = tmpl;
        own = true;
    }
    const std::string many = base + "/many";
    const std::string one = base + "/one";
    std::printf("laying out %zu MB twice in %s ...\n", megabytes, base.c_str());
    Layout(many, one, megabytes);

    std::string message;
    for (const auto &folder : {many, one}) {
        if (halcyon::frame::WriteFolderManifest(folder, message) != 0) {
            std::fprintf(stderr, "manifest: %s\n", message.c_str());
            return 1;
        }
    }
    // Warm the page cache so that every tool reads from memory.
    Shell("cat " + one + "/image.bin > /dev/null; find " + many + " -type f -print0 | xargs -0 cat > /dev/null");

    if (abRounds > 0) {
        AlternateRounds("many", many, abRounds);
        AlternateRounds("one", one, abRounds);
        if (own) {
            std::error_code ec;
            fs::remove_all(base, ec);
        }
        return 0;
    }

    std::printf("\n%-8s %-16s %9s %9s %9s %9s\n", "layout", "tool", "wall s", "MB/s", "cpu s", "MB/cpu-s");
    for (const auto &layout : {std::pair<std::string, std::string>{"many", many}, {"one", one}}) {
        const std::string label = layout.first;
        const std::string folder = layout.second;
        const double mb = static_cast<double>(megabytes);
        // The check's two lines go to /dev/null, as the tools' output does.
        const Timing check = Best(runs, [&] { QuietCheck(folder, message); });
        const std::string files = "find " + folder + " -path '*_FS_SWRINFO*' -prune -o -type f -print0";
        const Timing rhash = Best(runs, [&] { Shell(files + " | xargs -0 rhash --crc32 > /dev/null"); });
        const Timing cat = Best(runs, [&] { Shell(files + " | xargs -0 cat > /dev/null"); });
        const Timing plain = Best(runs, [&] { ReadAll(folder); });
        auto row = [&](const char *tool, const Timing &t) {
            std::printf("%-8s %-16s %9.3f %9.0f %9.3f %9.0f\n", label.c_str(), tool, t.wall, mb / t.wall, t.cpu, mb / t.cpu);
        };
        row("CheckFolder", check);
        row("rhash --crc32", rhash);
        row("cat >/dev/null", cat);
        row("read() 256 KiB", plain);
        std::printf("%-8s CheckFolder time / rhash: wall %.2f cpu %.2f; / cat: wall %.2f cpu %.2f; / read(): wall %.2f cpu %.2f\n",
                    label.c_str(), check.wall / rhash.wall, check.cpu / rhash.cpu, check.wall / cat.wall, check.cpu / cat.cpu,
                    check.wall / plain.wall, check.cpu / plain.cpu);
    }
    if (own) {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
    return 0;
}

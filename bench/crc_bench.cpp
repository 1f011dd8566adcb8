// Folder CRC check throughput, side by side with `rhash --crc32` and a plain
// `cat` to /dev/null over the same files, on warm page cache.
//
//   crc_bench [--mb N] [--runs N] [--dir PATH]
//
// Lays out N MB (default 1024) twice below a temporary folder: once as many
// files (256 KiB each, 64 per subfolder), once as one file; writes their
// manifests, reads everything once to warm the cache, then times each tool
// `runs` times (default 3) and prints the best time and MB/s of each.
#include <fcntl.h>
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

#include "engine/frame/folder_crc.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

void WriteData(const std::string &path, size_t size, uint32_t seed)
{
    std::vector<char> block(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i + 4 <= size; i += 4) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        std::memcpy(block.data() + i, &x, 4);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
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

template <typename Fn>
double Best(int runs, Fn &&fn)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        fn();
        best = std::min(best, Seconds(a, Clock::now()));
    }
    return best;
}

int Shell(const std::string &command)
{
    return std::system(command.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    size_t megabytes = 1024;
    int runs = 3;
    std::string base;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--mb")
            megabytes = std::strtoul(argv[i + 1], nullptr, 10);
        else if (a == "--runs")
            runs = std::atoi(argv[i + 1]);
        else if (a == "--dir")
            base = argv[i + 1];
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

    std::printf("\n%-10s %-16s %10s %10s\n", "layout", "tool", "seconds", "MB/s");
    for (const auto &[label, folder] : {std::pair{"many", many}, std::pair{"one", one}}) {
        const double mb = static_cast<double>(megabytes);
        const double check = Best(runs, [&] {
            // The check's two lines go to /dev/null, as the tools' output does.
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
        });
        const std::string files = "find " + folder + " -path '*_FS_SWRINFO*' -prune -o -type f -print0";
        const double rhash = Best(runs, [&] { Shell(files + " | xargs -0 rhash --crc32 > /dev/null"); });
        const double cat = Best(runs, [&] { Shell(files + " | xargs -0 cat > /dev/null"); });
        std::printf("%-10s %-16s %10.3f %10.0f\n", label, "CheckFolder", check, mb / check);
        std::printf("%-10s %-16s %10.3f %10.0f\n", label, "rhash --crc32", rhash, mb / rhash);
        std::printf("%-10s %-16s %10.3f %10.0f\n", label, "cat >/dev/null", cat, mb / cat);
        std::printf("%-10s CheckFolder/rhash time %.2f, CheckFolder/cat time %.2f\n", label, check / rhash, check / cat);
    }
    if (own) {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
    return 0;
}

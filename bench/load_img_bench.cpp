// Image apply speed: LoadImgX against `wimlib-imagex apply` of the same
// image into the same kind of folder, side by side in one run.
//
//   load_img_bench [--size-mb N] [--rounds N] [--work DIR] [--keep]
//
// The program generates a folder of about N MB (default 220: large and small
// files, half of the bytes compressible), captures it into a WIM with the
// project's builder, then alternates the two appliers for the given rounds
// (after one untimed warm-up of each), each into a fresh folder on the same
// file system. Folders are removed and the file system synced between runs,
// outside the timed part. Prints every time, the medians and the ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <spawn.h>
#include <unistd.h>
#include <vector>

#include "halcyon/HalcyonDLL.h"
#include "support/wim/wim_builder.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

struct Options {
    uint64_t sizeMb = 220;
    int rounds = 5;
    std::string work;
    bool keep = false;
};

// Deterministic bytes: random for the incompressible half, text-like with
// variation for the compressible half.
void FillRandom(std::string &buf, uint64_t &state)
{
    for (size_t i = 0; i + 8 <= buf.size(); i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(&buf[i], &state, 8);
    }
}

void FillText(std::string &buf, uint64_t &state)
{
    static const char *const words[] = {"system32 ", "driver ", "kernel ", "registry ", "setup ", "module ",
                                        "recovery ", "version ", "0x0000 ", "\r\n"};
    size_t i = 0;
    while (i < buf.size()) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const char *w = words[(state >> 33) % 10];
        for (const char *p = w; *p && i < buf.size(); ++p)
            buf[i++] = *p;
    }
}

uint64_t MakeContent(const fs::path &root, uint64_t targetBytes)
{
    uint64_t state = 0x9E3779B97F4A7C15ull, written = 0;
    int n = 0;
    auto write = [&](const fs::path &path, size_t size, bool random) {
        std::string buf(size, '\0');
        if (random)
            FillRandom(buf, state);
        else
            FillText(buf, state);
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(buf.data(), static_cast<std::streamsize>(buf.size()));
        written += size;
    };
    // Large files (like drivers and packages) make up most of the bytes...
    while (written < targetBytes * 3 / 4) {
        write(root / ("Windows/packages/p" + std::to_string(n % 16)) / ("pkg" + std::to_string(n) + ".cab"),
              (1 + n % 4) << 20, n % 2 == 0);
        ++n;
    }
    // ...and many small files the rest.
    while (written < targetBytes) {
        write(root / ("Windows/System32/d" + std::to_string(n % 64)) / ("f" + std::to_string(n) + ".dll"),
              4096 + (n * 7919) % 60000, n % 2 == 0);
        ++n;
    }
    return written;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds(const struct rusage &u)
{
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Wall time and processor time (user + system) of one run.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

void Clean(const fs::path &dir)
{
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    ::sync();
}

uint32_t Quiet(uint32_t, uintptr_t, intptr_t, void *) { return WIM_MSG_SUCCESS; }

Timing RunLoadImgX(const fs::path &wimFolder, const fs::path &dest, const fs::path &plan, const fs::path &log)
{
    Clean(dest);
    // Keep the verb's operator lines out of the table.
    std::fflush(stdout);
    const int saved = ::dup(1);
    std::FILE *devnull = std::fopen("/dev/null", "w");
    ::dup2(::fileno(devnull), 1);
    struct rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = LoadImgX(plan.c_str(), wimFolder.c_str(), dest.c_str(), "", "image.wim", log.c_str(), 0x8,
                                    &Quiet, nullptr, "", "");
    const auto end = std::chrono::steady_clock::now();
    ::getrusage(RUSAGE_SELF, &after);
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::fclose(devnull);
    if (result != 0) {
        std::fprintf(stderr, "LoadImgX failed: %d (see %s)\n", result, log.c_str());
        std::exit(1);
    }
    return {Seconds(end - start), CpuSeconds(after) - CpuSeconds(before)};
}

Timing RunWimlibImagex(const fs::path &wim, const fs::path &dest)
{
    Clean(dest);
    const std::string wimText = wim.string(), destText = dest.string();
    std::vector<char *> argv = {const_cast<char *>("wimlib-imagex"), const_cast<char *>("apply"),
                                const_cast<char *>(wimText.c_str()), const_cast<char *>("1"),
                                const_cast<char *>(destText.c_str()), const_cast<char *>("--unix-data"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "wimlib-imagex", &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start wimlib-imagex\n");
        std::exit(1);
    }
    int status = 0;
    struct rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "wimlib-imagex apply failed\n");
        std::exit(1);
    }
    return {Seconds(end - start), CpuSeconds(usage)};
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

Options Parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--size-mb")
            o.sizeMb = std::strtoull(next().c_str(), nullptr, 10);
        else if (a == "--rounds")
            o.rounds = std::max(1, std::atoi(next().c_str()));
        else if (a == "--work")
            o.work = next();
        else if (a == "--keep")
            o.keep = true;
        else {
            std::fprintf(stderr, "usage: load_img_bench [--size-mb N] [--rounds N] [--work DIR] [--keep]\n");
            std::exit(2);
        }
    }
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    Options o = Parse(argc, argv);
    fs::path work;
    if (o.work.empty()) {
        std::string tmpl = (fs::temp_directory_path() / "load-img-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            return 1;
        work = tmpl;
    } else {
        work = o.work;
        fs::create_directories(work);
    }
    ::setenv("HALCYON_MACHINE", (work / "machine").c_str(), 1);
    fs::create_directories(work / "source");
    const fs::path plan = work / "halcyon.ini";
    std::ofstream(plan) << "[Image]\nReleaseName=Bench\nReleaseID=100001\nPathToRelease=os\n";

    std::printf("generating %llu MB of content...\n", static_cast<unsigned long long>(o.sizeMb));
    const uint64_t bytes = MakeContent(work / "content", o.sizeMb << 20);
    halcyon::support::wim::WimImageSpec spec;
    spec.sourceFolder = (work / "content").string();
    spec.description = "FOUNDATION IMAGE 1";
    std::string error;
    auto t0 = std::chrono::steady_clock::now();
    if (halcyon::support::wim::CreateWim((work / "source/image.wim").string(), spec,
                                         halcyon::support::wim::WimCompression::Xpress, &error) != 0) {
        std::fprintf(stderr, "capture failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("captured %.1f MB into %.1f MB WIM (XPRESS) in %.1f s\n", bytes / 1048576.0,
                fs::file_size(work / "source/image.wim") / 1048576.0, Seconds(std::chrono::steady_clock::now() - t0));

    const fs::path dest = work / "dest", log = work / "load.log";
    RunLoadImgX(work / "source", dest, plan, log); // warm-up, untimed
    RunWimlibImagex(work / "source/image.wim", dest);

    std::vector<double> ours, theirs, oursCpu, theirsCpu;
    std::printf("\n| round | LoadImgX wall (s) | wimlib-imagex wall (s) | LoadImgX cpu (s) | wimlib-imagex cpu (s) |\n"
                "|---|---|---|---|---|\n");
    for (int r = 0; r < o.rounds; ++r) {
        Timing a, b;
        if (r % 2 == 0) {
            a = RunLoadImgX(work / "source", dest, plan, log);
            b = RunWimlibImagex(work / "source/image.wim", dest);
        } else {
            b = RunWimlibImagex(work / "source/image.wim", dest);
            a = RunLoadImgX(work / "source", dest, plan, log);
        }
        ours.push_back(a.wall);
        theirs.push_back(b.wall);
        oursCpu.push_back(a.cpu);
        theirsCpu.push_back(b.cpu);
        std::printf("| %d | %.3f | %.3f | %.3f | %.3f |\n", r + 1, a.wall, b.wall, a.cpu, b.cpu);
        std::fflush(stdout);
    }
    const double ma = Median(ours), mb = Median(theirs), ca = Median(oursCpu), cb = Median(theirsCpu);
    std::printf("| median | %.3f | %.3f | %.3f | %.3f |\n\n", ma, mb, ca, cb);
    std::printf("ratio LoadImgX / wimlib-imagex apply, wall: %.3f, cpu: %.3f (target <= 1.05)\n", ma / mb, ca / cb);

    if (!o.keep) {
        std::error_code ec;
        fs::remove_all(work, ec);
    }
    return 0;
}

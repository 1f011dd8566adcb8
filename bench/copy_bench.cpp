// The copy paths side by side with the tools a user would compare them to,
// on the same data with a warm page cache: every copying verb against
// `cp -r` (alone and followed by `sync -f`, since the verbs return only
// once their copy is on disk), the foundation-image join against `cat` of
// the parts, and its integrity check against `wimlib-imagex info --check`.
//
//   copy_bench [--mb N] [--dir PATH] [benchmark flags]
//   copy_bench --join-ab ROUNDS [--mb N] [--dir PATH]
//
// Lays out N MB (default 256): half as 256 KiB files in a module folder,
// half as four large files in a second one, plus a WIM of the large files
// cut into 64 MiB foundation parts (with an integrity table, and again
// without one). Alternate the runs with
//   --benchmark_repetitions=8 --benchmark_enable_random_interleaving=true
//
// --join-ab alternates the foundation join (with its integrity check and
// flush) and `cat parts > out && sync -f out` ROUNDS times and prints the
// medians and their ratios in one line (--mb 1200 gives a 600 MiB image in
// ten parts):
//   ab join wall_s <x> cpu_s <c> cat_sync_wall_s <y> cat_sync_cpu_s <d> ratio_wall <x/y> ratio_cpu <c/d>
#include <benchmark/benchmark.h>

#include <wimlib.h>

#include <fcntl.h>
#include <sys/resource.h>
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
#include "halcyon/HalcyonDLL.h"
#include "platform/non_copyable.h"

namespace fs = std::filesystem;

namespace {

struct Layout {
    std::string root;
    std::string sources; // media/sources: the module folders below data/
    std::string parts;      // the foundation parts (image with an integrity table)
    std::string plainParts; // the same image without one
    std::string plan, mediaIni, dest, log;
    size_t megabytes = 256;
};

Layout g;

void WriteText(const std::string &path, const std::string &text) { std::ofstream(path, std::ios::trunc) << text; }

std::string ModuleSection(int n, const std::string &id)
{
    return "[" + std::to_string(n) + "]\nReleaseName=Module " + id + "\nReleaseID=" + id +
           "\nPathToRelease=data\\" + id + "\nPartId=P" + id +
           "\nInstallerType=FILE COPY\nSetupFile=x\nMajorVersion=1\nDetailedVersion=1.0\nBasePlus=False\n"
           "Temporary=False\nRecoverable=True\nPartType=Module\nTotalSize=" +
           std::to_string(g.megabytes * 512) + "\n";
}

void Run(const std::string &command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "copy_bench: failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void Prepare()
{
    g.sources = g.root + "/media/sources";
    g.parts = g.root + "/parts";
    g.plainParts = g.root + "/plain-parts";
    g.plan = g.root + "/halcyon.ini";
    g.mediaIni = g.root + "/nrvhdrcv.ini";
    g.dest = g.root + "/dest";
    g.log = g.root + "/copy.log";
    const size_t half = g.megabytes * 512 * 1024;
    const std::string many = g.sources + "/data/300100";
    const std::string large = g.sources + "/data/300200";
    for (size_t i = 0; i * 256 * 1024 < half; ++i) {
        const std::string sub = many + "/d" + std::to_string(i / 64);
        fs::create_directories(sub);
        WriteData(sub + "/f" + std::to_string(i) + ".bin", 256 * 1024, static_cast<uint32_t>(i));
    }
    fs::create_directories(large);
    for (uint32_t i = 0; i < 4; ++i)
        WriteData(large + "/big" + std::to_string(i) + ".bin", half / 4, 1000 + i);
    WriteText(g.sources + "/RDVD1", "");
    WriteText(g.plan, "[Image]\nReleaseName=Foundation\nReleaseID=12345\nPathToRelease=img\n" +
                          ModuleSection(1, "300100") + ModuleSection(2, "300200") +
                          "[3]\nEnd=True\n[PE1]\nEnd=True\n");
    WriteText(g.mediaIni, "[MEDIA:RDVD]\nRDVD1=sources\\data\\300100,sources\\data\\300200\n");

    // The foundation image: the large files, cut into parts, once with an
    // integrity table and once without.
    for (const bool table : {true, false}) {
        const std::string folder = table ? g.parts : g.plainParts;
        fs::create_directories(folder);
        WIMStruct *wim = nullptr;
        const std::string whole = g.root + "/whole.wim";
        if (wimlib_create_new_wim(WIMLIB_COMPRESSION_TYPE_NONE, &wim) != 0 ||
            wimlib_add_image(wim, large.c_str(), "found", nullptr, 0) != 0 ||
            wimlib_write(wim, whole.c_str(), WIMLIB_ALL_IMAGES, table ? WIMLIB_WRITE_FLAG_CHECK_INTEGRITY : 0, 0) != 0) {
            std::fprintf(stderr, "copy_bench: cannot build the image\n");
            std::exit(1);
        }
        wimlib_free(wim);
        Run("cd '" + folder + "' && split -b 64M -d -a 3 '" + whole + "' piece && n=1 && for p in piece*; do mv "
            "\"$p\" Norv$n.nr2; n=$((n+1)); done && rm -f '" + whole + "'");
    }
    // Warm the page cache.
    Run("cat -- $(find '" + g.root + "/media' '" + g.parts + "' '" + g.plainParts + "' -type f) > /dev/null");
}

// User and system CPU of this process and of the tools it waited for: less
// disturbed than wall time on a busy machine.
double CpuSeconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        struct rusage u{};
        ::getrusage(who, &u);
        total += static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                 static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

// Keeps the verbs' console lines out of the report while they run.
class Quiet : halcyon::NonCopyable {
public:
    Quiet()
    {
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, 1);
        ::close(null);
    }
    ~Quiet()
    {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
    }

private:
    int saved_;
};

void Check(benchmark::State &state, int32_t rc)
{
    if (rc != 0)
        state.SkipWithError(("returned " + std::to_string(rc)).c_str());
}

void SetBytes(benchmark::State &state, size_t bytes)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// Adds the CPU seconds spent between its creation and the end of the run
// (the destination removals excluded) as the counter "cpu_ms".
class CpuCounter : halcyon::NonCopyable {
public:
    explicit CpuCounter(benchmark::State &state) : state_(state) {}
    ~CpuCounter()
    {
        Stop();
        state_.counters["cpu_ms"] = benchmark::Counter(spent_ * 1000, benchmark::Counter::kAvgIterations);
    }
    void Start()
    {
        start_ = CpuSeconds();
        running_ = true;
    }
    void Stop()
    {
        if (running_)
            spent_ += CpuSeconds() - start_;
        running_ = false;
    }

private:
    benchmark::State &state_;
    double start_ = 0;
    double spent_ = 0;
    bool running_ = false;
};

// Removes the destination outside the timed part, and writes back what the
// removal left dirty so that it does not count against the next run.
void Reset(benchmark::State &state, CpuCounter &cpu)
{
    cpu.Stop();
    state.PauseTiming();
    fs::remove_all(g.dest);
    fs::create_directories(g.dest);
    ::sync();
    state.ResumeTiming();
    cpu.Start();
}

// Times `step` on an emptied destination once per iteration; `bytes` is
// what one iteration moves.
template <class Step> void Measure(benchmark::State &state, size_t bytes, Step &&step)
{
    CpuCounter cpu(state);
    for (auto _ : state) {
        Reset(state, cpu);
        step();
    }
    SetBytes(state, bytes);
}

// The same for a verb: quiet, its result checked.
template <class Verb> void MeasureVerb(benchmark::State &state, size_t bytes, Verb &&verb)
{
    Measure(state, bytes, [&] {
        Quiet quiet;
        Check(state, verb());
    });
}

size_t PartBytes()
{
    size_t total = 0;
    for (const auto &e : fs::directory_iterator(g.parts))
        total += e.file_size();
    return total;
}

void BM_CpR(benchmark::State &state)
{
    Measure(state, g.megabytes << 20, [] { Run("cp -r '" + g.sources + "/data' '" + g.dest + "/'"); });
}

void BM_CpRSync(benchmark::State &state)
{
    Measure(state, g.megabytes << 20,
            [] { Run("cp -r '" + g.sources + "/data' '" + g.dest + "/' && sync -f '" + g.dest + "'"); });
}

void BM_ModCopyX(benchmark::State &state)
{
    MeasureVerb(state, g.megabytes << 20, [] {
        return ModCopyX(g.plan.c_str(), g.sources.c_str(), g.dest.c_str(), "", "", "", "", g.log.c_str(), 0, 0);
    });
}

void BM_ModExtractX(benchmark::State &state)
{
    MeasureVerb(state, g.megabytes << 20, [] {
        return ModExtractX(g.plan.c_str(), g.sources.c_str(), g.dest.c_str(), "", "", "", "", "", g.log.c_str(), 0,
                           0, 0);
    });
}

void BM_ImgCopyX(benchmark::State &state)
{
    MeasureVerb(state, g.megabytes << 20,
                [] { return ImgCopyX("", g.sources.c_str(), g.dest.c_str(), "data", g.log.c_str(), 0x8, 0); });
}

uint32_t AnswerNothing(uint32_t, uintptr_t, intptr_t, void *) { return 0; }

void BM_CopyDiscToDisk(benchmark::State &state)
{
    const std::string medium = g.root + "/media";
    MeasureVerb(state, g.megabytes << 20, [&] {
        return CopyDiscToDisk(medium.c_str(), g.dest.c_str(), g.plan.c_str(), g.mediaIni.c_str(), "RDVD", "", 0x2000,
                              &AnswerNothing, nullptr, "", g.log.c_str());
    });
}

void BM_CatParts(benchmark::State &state)
{
    Measure(state, PartBytes(), [] { Run("cat '" + g.parts + "'/Norv*.nr2 > '" + g.dest + "/Norv.wim'"); });
}

void BM_CatPartsSync(benchmark::State &state)
{
    Measure(state, PartBytes(), [] {
        Run("cat '" + g.parts + "'/Norv*.nr2 > '" + g.dest + "/Norv.wim' && sync -f '" + g.dest + "/Norv.wim'");
    });
}

void BM_WimlibCheck(benchmark::State &state)
{
    const std::string image = g.root + "/checked.wim";
    Run("cat '" + g.parts + "'/Norv*.nr2 > '" + image + "'");
    {
        CpuCounter cpu(state);
        for (auto _ : state) {
            cpu.Start();
            Run("wimlib-imagex info --check '" + image + "' > /dev/null");
            cpu.Stop();
        }
    }
    fs::remove(image);
    SetBytes(state, PartBytes());
}

// The join of the foundation parts in `parts`, with the check of their
// integrity table when they carry one, and the flush.
void FoundationJoin(benchmark::State &state, const std::string &parts)
{
    MeasureVerb(state, PartBytes(), [&] {
        return GetFoundationImage(parts.c_str(), g.dest.c_str(), g.plan.c_str(), g.mediaIni.c_str(), "RDVD", 0x80000,
                                  "", nullptr, nullptr, g.log.c_str());
    });
}

void BM_FoundationJoin(benchmark::State &state) { FoundationJoin(state, g.parts); }

// The join alone: no integrity table to check.
void BM_FoundationJoinNoTable(benchmark::State &state) { FoundationJoin(state, g.plainParts); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Alternating rounds of the join and of `cat` + `sync`, outside the
// benchmark library: one line with the medians and ratios.
void JoinAgainstCat(int rounds)
{
    std::vector<double> joinWall, joinCpu, catWall, catCpu;
    const std::string out = g.dest + "/Norv.wim";
    for (int i = 0; i < rounds; ++i) {
        for (const bool join : {true, false}) {
            fs::remove_all(g.dest);
            fs::create_directories(g.dest);
            ::sync();
            const auto a = std::chrono::steady_clock::now();
            const double c = CpuSeconds();
            if (join) {
                Quiet quiet;
                if (GetFoundationImage(g.parts.c_str(), g.dest.c_str(), g.plan.c_str(), g.mediaIni.c_str(), "RDVD",
                                       0x80000, "", nullptr, nullptr, g.log.c_str()) != 0) {
                    std::fprintf(stderr, "copy_bench: the join failed\n");
                    std::exit(1);
                }
            } else {
                Run("cat '" + g.parts + "'/Norv*.nr2 > '" + out + "' && sync -f '" + out + "'");
            }
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
            (join ? joinWall : catWall).push_back(wall);
            (join ? joinCpu : catCpu).push_back(CpuSeconds() - c);
        }
    }
    const double jw = Median(joinWall), jc = Median(joinCpu), cw = Median(catWall), cc = Median(catCpu);
    std::printf("ab join wall_s %.3f cpu_s %.3f cat_sync_wall_s %.3f cat_sync_cpu_s %.3f ratio_wall %.2f ratio_cpu %.2f\n",
                jw, jc, cw, cc, jw / cw, jc / cc);
}

} // namespace

#define COPY_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)

COPY_BENCH(BM_CpR);
COPY_BENCH(BM_CpRSync);
COPY_BENCH(BM_ModCopyX);
COPY_BENCH(BM_ModExtractX);
COPY_BENCH(BM_ImgCopyX);
COPY_BENCH(BM_CopyDiscToDisk);
COPY_BENCH(BM_CatParts);
COPY_BENCH(BM_CatPartsSync);
COPY_BENCH(BM_WimlibCheck);
COPY_BENCH(BM_FoundationJoin);
COPY_BENCH(BM_FoundationJoinNoTable);

int main(int argc, char **argv)
{
    std::vector<char *> rest{argv[0]};
    std::string dir;
    int joinRounds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--join-ab" && i + 1 < argc)
            joinRounds = std::atoi(argv[++i]);
        else if (a == "--mb" && i + 1 < argc)
            g.megabytes = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    std::string base = dir.empty() ? fs::temp_directory_path().string() + "/copy-bench-XXXXXX" : dir + "/copy-bench-XXXXXX";
    if (!::mkdtemp(base.data())) {
        std::perror("copy_bench: mkdtemp");
        return 1;
    }
    g.root = base;
    Prepare();
    if (joinRounds > 0) {
        JoinAgainstCat(joinRounds);
        fs::remove_all(g.root);
        return 0;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(g.root);
    return 0;
}

// MakeIniX on generated IDFs of growing size: wall time and peak memory
// (getrusage of a child process per size, so every figure is the peak of
// that size alone). Usage: make_ini_bench [modules ...] (default 1000 10000
// 50000). `make_ini_bench --write N IDF BOM` only writes the generated IDF of
// N modules and its BOM file (for runs of the command itself).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "halcyon/HalcyonDLL.h"
#include "support/idf/idf_document.h"

namespace {

constexpr int kReleases = 500; // the release list holds at most 999 entries

// An IDF with a foundation image, a recovery image and `modules` module
// nodes spread over kReleases releases: main modules with a few EPC and PE
// modules, shuffled install order indexes, mixed reboot settings.
std::string GenerateIdf(int modules)
{
    std::string x;
    x.reserve(static_cast<size_t>(modules) * 520 + 4096);
    x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<IDF IDFFormatVersion=\"1.05.0.20080531.1\" "
         "Timestamp=\"2026-11-30T10:00:00\" Series=\"B\" LangRegion=\"EN-US\" BomSnapshotName=\"B\" "
         "BomSnapshotID=\"B\" HDDRecovery=\"True\" DynamicP1=\"True\" Mcode=\"M\">\n"
         "<Mcode Code=\"M\"><PartNumber>SKU</PartNumber></Mcode>\n"
         "<Release ReleaseID=\"1\" PartId=\"P1\"><PartNumber>SKU</PartNumber>"
         "<Software SoftwareType=\"Foundation Image\" PartName=\"Foundation\" BLID=\"BL\" MajorVersion=\"11\" OS=\"W\" "
         "ReleaseID=\"91\" PathToRelease=\"sources\\data\\91\" TotalSize=\"2097152\">"
         "<ChildRelease ReleaseID=\"93\"/></Software>"
         "<Software SoftwareType=\"P1 (recovery) Image\" PartName=\"Recovery\" ReleaseID=\"92\" "
         "PathToRelease=\"sources\\data\\92\" TotalSize=\"524288\"/></Release>\n"
         "<Release ReleaseID=\"93\" PartId=\"P93\"><Software SoftwareType=\"Image Application\" PartName=\"App\" "
         "ReleaseID=\"93\" PartType=\"Application\" ModuleType=\"Application Module\" CommandLineArguments=\"\" "
         "PathToRelease=\"Apps\\A\" PartId=\"P93\" rebootSetting=\"None\" InstallerType=\"EXE\" SetupFile=\"a.sh\" "
         "MajorVersion=\"1\" DetailedVersion=\"1.0\" VersionCheckAfterInstallation=\"\" VerificationPath=\"\" "
         "BasePlus=\"True\" CustomerDescription=\"A\" CustomerLabel=\"A\" Recoverable=\"True\" Temporary=\"False\" "
         "InstallOrderIndex=\"1\" TotalSize=\"1\"/></Release>\n";
    static const char *kReboot[] = {"None", "After", "Before", "Both", "None", "None"};
    const int perRelease = (modules + kReleases - 1) / kReleases;
    int written = 0;
    for (int r = 0; r < kReleases && written < modules; ++r) {
        std::string rid = std::to_string(10 + r);
        x += "<Release ReleaseID=\"" + rid + "\" PartId=\"P" + rid + "\"><PartNumber>SKU</PartNumber>\n";
        for (int k = 0; k < perRelease && written < modules; ++k, ++written) {
            std::string id = std::to_string(written);
            const char *type = written % 50 == 7 ? "EPC" : written % 50 == 9 ? "PE-Module" : "Module";
            unsigned order = (static_cast<unsigned>(written) * 2654435761u) % 100000u;
            x += "<Software SoftwareType=\"Module\" PartName=\"M" + id + "\" ReleaseID=\"" + rid +
                 "\" PartType=\"Module\" moduleType=\"" + type +
                 "\" CommandLineArguments=\"\" PathToRelease=\"s\\" + id + "\" PartId=\"P" + id +
                 "\" rebootSetting=\"" + kReboot[written % 6] +
                 "\" InstallerType=\"EXE\" SetupFile=\"s.sh\" MajorVersion=\"1\" DetailedVersion=\"1.0\" "
                 "VersionCheckAfterInstallation=\"\" VerificationPath=\"" +
                 (written % 10 == 0 ? "C:\\v.txt" : "") +
                 "\" BasePlus=\"True\" CustomerDescription=\"M\" CustomerLabel=\"M:" + id +
                 "\" Recoverable=\"True\" Temporary=\"" + (written % 4 == 0 ? "True" : "False") +
                 "\" InstallOrderIndex=\"" + std::to_string(order) + "\" TotalSize=\"1024\"/>\n";
        }
        x += "</Release>\n";
    }
    x += "</IDF>\n";
    return x;
}

struct Figures {
    double bestSeconds = 0; // best wall time of one run
    double cpuSeconds = 0;  // user + system time per run (robust on a busy machine)
    long peakKB = 0;
    unsigned rc = 0;
};

// Runs MakeIniX `repeats` times in a child process; the child's standard
// output (the builder's console lines) goes to /dev/null.
Figures Measure(const std::string &idf, const std::string &bom, const std::string &plan, int repeats)
{
    int fds[2];
    if (pipe(fds) != 0)
        std::exit(1);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        Figures f;
        f.bestSeconds = 1e30;
        for (int i = 0; i < repeats; ++i) {
            // Every run parses the IDF, as a builder run in the factory does.
            halcyon::support::ClearIdfCache();
            auto t0 = std::chrono::steady_clock::now();
            f.rc = MakeIniX(idf.c_str(), bom.c_str(), plan.c_str(), "", 1000, 0);
            double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (s < f.bestSeconds)
                f.bestSeconds = s;
        }
        if (write(fds[1], &f, sizeof f) != static_cast<ssize_t>(sizeof f))
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    Figures f;
    if (read(fds[0], &f, sizeof f) != static_cast<ssize_t>(sizeof f))
        std::fprintf(stderr, "child failed\n");
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.peakKB = usage.ru_maxrss;
    f.cpuSeconds = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                    (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6) / repeats;
    return f;
}

bool WriteText(const std::string &path, const std::string &text)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && std::string(argv[1]) == "--write")
        return WriteText(argv[3], GenerateIdf(std::atoi(argv[2]))) && WriteText(argv[4], "SKU\n") ? 0 : 1;

    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000, 50000};

    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("make_ini_bench." + std::to_string(getpid()));
    fs::create_directories(dir / "machine");
    setenv("HALCYON_MACHINE", (dir / "machine").c_str(), 1);
    std::string bom = (dir / "bom.txt").string();
    std::FILE *b = std::fopen(bom.c_str(), "w");
    std::fputs("SKU\n", b);
    std::fclose(b);

    // A baseline child that only loads the engine: its peak is subtracted.
    Figures base = Measure((dir / "none.xml").string(), bom, (dir / "none.ini").string(), 1);
    (void)base.rc;

    std::printf("%-8s %8s %8s %10s %10s %12s %10s %5s\n", "modules", "IDF MB", "plan MB", "wall s", "cpu s",
                "cpu us/mod", "peak MB", "rc");
    for (int n : sizes) {
        std::string idf = (dir / ("idf" + std::to_string(n) + ".xml")).string();
        std::string plan = (dir / ("plan" + std::to_string(n) + ".ini")).string();
        std::string text = GenerateIdf(n);
        std::FILE *f = std::fopen(idf.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        Figures fig = Measure(idf, bom, plan, 3);
        std::printf("%-8d %8.1f %8.1f %10.3f %10.3f %12.1f %10.1f %5u\n", n, text.size() / 1048576.0,
                    fs::exists(plan) ? fs::file_size(plan) / 1048576.0 : 0.0, fig.bestSeconds, fig.cpuSeconds,
                    fig.cpuSeconds * 1e6 / n, (fig.peakKB - base.peakKB) / 1024.0, fig.rc);
        std::fflush(stdout);
    }
    fs::remove_all(dir);
    return 0;
}

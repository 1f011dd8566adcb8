// halcyon factory-run: installs one machine end to end the way the factory's
// front end does — build the plan, apply the image, install the modules
// across their restarts — with progress on screen. Completed stages are
// recorded in the machine folder, so a run that was stopped can be started
// again and goes on where it stopped.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/command.h"
#include "cli/machine_location.h"
#include "cli/progress.h"
#include "cli/sample_media.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/profile.h"

namespace fs = std::filesystem;

namespace halcyon::cli {
namespace {

int Run(const Args &args);
const CommandRegistration kReg(
    "factory-run", "install one machine end to end: plan, image, modules (resumable)",
    "halcyon factory-run (--media DIR | --sample) [--target DIR] [--machine DIR] [--json] [--fresh] [--verbose]\n"
    "  --media DIR    factory share holding the IDF (*.xml) and BOM (*.bom)\n"
    "  --sample       make sample media first (in ./halcyon-sample/media)\n"
    "  --target DIR   folder that becomes the machine's drive C: (default ./halcyon-sample/target)\n"
    "  --machine DIR  emulated machine folder (default $HALCYON_MACHINE, else ~/.local/state/halcyon/machine)\n"
    "  --json         print a machine-readable summary instead of progress\n"
    "  --fresh        forget earlier progress (machine and target) and start again\n"
    "  --verbose      show the engine's own operator lines as well",
    Run);

constexpr uint64_t kWriteEpid = 0x80000000ull;
constexpr uint64_t kSystemImage = 0x200000ull;
constexpr uint64_t kPeModules = 0x40ull;

// What the operator sees. The engine echoes its operator lines on standard
// output; unless --verbose asks for them they go only to the log, and this
// command draws its own stage and module lines on the original output.
class Screen {
public:
    bool tty = false;
    bool json = false;

    void Open(bool verbose, bool quietEngine)
    {
        tty = ::isatty(STDOUT_FILENO) != 0;
        if (verbose || !quietEngine)
            return;
        std::fflush(stdout);
        int saved = ::dup(STDOUT_FILENO);
        int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved >= 0 && devnull >= 0) {
            if (std::FILE *f = ::fdopen(saved, "w")) {
                ::fcntl(saved, F_SETFD, FD_CLOEXEC);
                out_ = f;
                saved_ = saved;
                saved = -1;
                ::dup2(devnull, STDOUT_FILENO);
            }
        }
        if (saved >= 0)
            ::close(saved);
        if (devnull >= 0)
            ::close(devnull);
    }
    ~Screen()
    {
        if (saved_ >= 0) {
            std::fflush(stdout);
            std::fflush(out_);
            ::dup2(saved_, STDOUT_FILENO);
            std::fclose(out_);
        }
    }
    std::FILE *out() const { return out_; }

    void Line(const std::string &text)
    {
        if (json)
            return;
        EndBar();
        std::fprintf(out_, "%s\n", text.c_str());
        std::fflush(out_);
    }
    // A bar redrawn in place on a terminal; a plain line otherwise.
    void Bar(const std::string &text, int percent)
    {
        if (json)
            return;
        if (!tty) {
            Line("  " + text);
            return;
        }
        const int width = 24;
        int filled = std::clamp(percent, 0, 100) * width / 100;
        std::fprintf(out_, "\r  [%s%s] %s\033[K", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), text.c_str());
        std::fflush(out_);
        midLine_ = true;
    }
    void EndBar()
    {
        if (midLine_)
            std::fprintf(out_, "\n");
        midLine_ = false;
    }

private:
    std::FILE *out_ = stdout;
    int saved_ = -1;
    bool midLine_ = false;
};

// Follows the module callback: (n-1, total, label) announces module n,
// (0, 0, label) follows at once, (n, total, label) tells that it was
// installed, verified and registered; negative indexes are recovery reports.
struct ModuleStage {
    Screen *screen;
    int installed = 0;
    int announced = 0;
    int total = 0;
    std::string pending;
};

int32_t ModuleProgress(int32_t index, int32_t total, const char *label, uintptr_t user)
{
    auto *stage = reinterpret_cast<ModuleStage *>(user);
    std::string name = label ? label : "";
    if (index < 0) {
        stage->screen->Line("  report " + std::to_string(index) + " (code " + std::to_string(total) + "): " + name);
        return 0;
    }
    if (index == 0 && total == 0) {
        stage->pending = name;
        stage->screen->Bar("module " + std::to_string(stage->announced) + " of " + std::to_string(stage->total) +
                               "  " + name,
                           stage->total ? (stage->announced - 1) * 100 / stage->total : 0);
        return 0;
    }
    if (index > 0 && !stage->pending.empty() && name == stage->pending) {
        ++stage->installed;
        stage->pending.clear();
        stage->screen->Bar("module " + std::to_string(index) + " of " + std::to_string(total) + "  " + name +
                               "  installed",
                           total ? index * 100 / total : 100);
        return 0;
    }
    stage->announced = index + 1;
    stage->total = total;
    return 0;
}

std::string FindOne(const fs::path &dir, const std::string &ext)
{
    std::error_code ec;
    std::vector<std::string> found;
    for (auto &e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && e.path().extension() == ext)
            found.push_back(e.path().string());
    std::sort(found.begin(), found.end());
    return found.empty() ? std::string() : found.front();
}

std::string Tail(const std::string &log, size_t lines)
{
    std::FILE *f = std::fopen(log.c_str(), "rb");
    if (!f)
        return {};
    std::string all;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        all.append(buf, n);
    std::fclose(f);
    all.erase(std::remove(all.begin(), all.end(), '\r'), all.end());
    size_t pos = all.size();
    for (size_t k = 0; k <= lines && pos > 0 && pos != std::string::npos; ++k)
        pos = all.rfind('\n', pos - 1);
    return all.substr(pos == std::string::npos ? 0 : pos + 1);
}

std::string JsonText(const std::string &s)
{
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
            continue;
        }
        out += c;
    }
    return out;
}

struct StageResult {
    std::string name;
    double seconds = 0;
    int64_t code = 0;
    bool skipped = false;
};

struct Run_ {
    fs::path machine, target, media, factory, state, plan, log, temp, mount;
    std::vector<StageResult> stages;
    int restarts = 0;
    int modulesInstalled = 0;
};

int Summary(Screen &screen, const Run_ &r, int64_t code, const std::string &failed)
{
    screen.EndBar();
    std::FILE *out = screen.out();
    if (screen.json) {
        std::fprintf(out,
                     "{\"result\":%lld,\"failedStage\":\"%s\",\"modulesInstalled\":%d,\"restarts\":%d,"
                     "\"log\":\"%s\",\"plan\":\"%s\",\"target\":\"%s\",\"machine\":\"%s\",\"stages\":[",
                     static_cast<long long>(code), failed.c_str(), r.modulesInstalled, r.restarts,
                     JsonText(r.log.string()).c_str(), JsonText(r.plan.string()).c_str(),
                     JsonText(r.target.string()).c_str(), JsonText(r.machine.string()).c_str());
        for (size_t i = 0; i < r.stages.size(); ++i)
            std::fprintf(out, "%s{\"name\":\"%s\",\"seconds\":%.3f,\"code\":%lld,\"skipped\":%s}", i ? "," : "",
                         r.stages[i].name.c_str(), r.stages[i].seconds, static_cast<long long>(r.stages[i].code),
                         r.stages[i].skipped ? "true" : "false");
        std::fprintf(out, "]}\n");
    } else {
        std::fprintf(out, "\n%s\n", code == 0 ? "Machine installed." : "Machine NOT installed.");
        for (const auto &s : r.stages) {
            if (s.skipped)
                std::fprintf(out, "  %-11s done earlier\n", s.name.c_str());
            else if (s.code)
                std::fprintf(out, "  %-11s %7.2f s  code %lld\n", s.name.c_str(), s.seconds,
                             static_cast<long long>(s.code));
            else
                std::fprintf(out, "  %-11s %7.2f s\n", s.name.c_str(), s.seconds);
        }
        std::fprintf(out, "  modules installed: %d, restarts taken: %d\n  log:    %s\n  plan:   %s\n"
                          "  target: %s (drive C:)\n",
                     r.modulesInstalled, r.restarts, r.log.c_str(), r.plan.c_str(), r.target.c_str());
        if (code != 0)
            std::fprintf(out, "\nStage %s failed with code %lld. Last log lines:\n%s\nRun the same command again to "
                              "resume.\n",
                         failed.c_str(), static_cast<long long>(code), Tail(r.log.string(), 12).c_str());
    }
    std::fflush(out);
    return code == 0 ? 0 : 1;
}

int Run(const Args &args)
{
    const Command &self = *FindCommand("factory-run");
    Options o(args, {"sample", "json", "fresh", "verbose"});
    const bool sample = o.Has("sample");
    if (!sample && !o.Get("media"))
        return UsageError(self, "--media DIR or --sample is required");

    Run_ r;
    fs::path work = fs::absolute("halcyon-sample");
    r.machine = SelectMachine(o.Get("machine"));
    r.target = fs::absolute(o.GetOr("target", (work / "target").string()));
    r.media = sample ? work / "media" : fs::absolute(*o.Get("media"));
    r.factory = r.machine / "factory";
    r.state = r.factory / "factory-run.ini";
    r.plan = r.factory / "halcyon.ini";
    r.log = r.factory / "halcyon.log";
    r.temp = r.factory / "temp";
    r.mount = r.factory / "mount";

    // The engine's machine is this run's machine; installers find the target
    // and this command through the environment.
    ::setenv("HALCYON_MACHINE", r.machine.c_str(), 1);
    ::setenv("HALCYON_TARGET", r.target.c_str(), 1);
    std::error_code ec;
    std::string exe = fs::read_symlink("/proc/self/exe", ec).string();
    ::setenv("HALCYON_BIN", exe.c_str(), 1);

    if (o.Has("fresh")) {
        fs::remove_all(r.machine, ec);
        fs::remove_all(r.target, ec);
    }
    for (const auto &dir : {r.factory, r.target, r.temp, r.mount, r.machine / "drives"}) {
        fs::create_directories(dir, ec);
        if (ec) {
            std::fprintf(stderr, "halcyon factory-run: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
            return 1;
        }
    }
    // The target is the machine's drive C:.
    fs::path driveC = r.machine / "drives" / "c";
    if (!fs::exists(fs::symlink_status(driveC)))
        fs::create_directory_symlink(r.target, driveC, ec);
    if (ec || !fs::equivalent(driveC, r.target, ec)) {
        std::fprintf(stderr, "halcyon factory-run: %s is not the target %s\n", driveC.c_str(), r.target.c_str());
        return 1;
    }

    Screen screen;
    screen.json = o.Has("json");
    screen.Open(o.Has("verbose"), true);

    auto done = [&](const std::string &stage) {
        return platform::GetPrivateProfileString("Stages", stage, "", r.state.string()) == "Done";
    };
    using Clock = std::chrono::steady_clock;
    auto stage = [&](const std::string &name, auto &&fn) -> int64_t {
        StageResult s;
        s.name = name;
        if (done(name)) {
            s.skipped = true;
            r.stages.push_back(s);
            return 0;
        }
        screen.Line("== " + name);
        auto t0 = Clock::now();
        s.code = fn();
        s.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        screen.EndBar();
        r.stages.push_back(s);
        if (s.code == 0)
            platform::WritePrivateProfileString("Stages", name, "Done", r.state.string());
        return s.code;
    };

    if (int64_t rc = stage("media", [&]() -> int64_t {
            if (!sample)
                return 0;
            SampleMedia m;
            std::string error;
            if (!WriteSampleMedia(r.media.string(), m, error)) {
                screen.Line("  sample media: " + error);
                return 1;
            }
            if (!ApplySampleIdentity(m))
                return 1;
            screen.Line("  sample media written to " + r.media.string());
            return 0;
        });
        rc != 0)
        return Summary(screen, r, rc, "media");

    std::string idf = FindOne(r.media, ".xml");
    std::string bom = FindOne(r.media, ".bom");
    if (idf.empty() || bom.empty()) {
        screen.Line("halcyon factory-run: no IDF (*.xml) and BOM (*.bom) in " + r.media.string());
        return 1;
    }

    if (int64_t rc = stage("plan", [&]() -> int64_t {
            screen.Line("  building the plan from " + idf);
            return MakeIniX(idf.c_str(), bom.c_str(), r.plan.c_str(), r.log.c_str(), 0, 0);
        });
        rc != 0)
        return Summary(screen, r, rc, "plan");

    if (int64_t rc = stage("image", [&]() -> int64_t {
            ProgressDisplay bar(screen.out(), screen.tty);
            WimMessageCallback cb = &ProgressDisplay::WimCallback;
            if (screen.json)
                cb = [](uint32_t, uintptr_t, intptr_t, void *) -> uint32_t { return WIM_MSG_SUCCESS; };
            return LoadImgX(r.plan.c_str(), r.media.c_str(), r.target.c_str(), r.temp.c_str(), "", r.log.c_str(),
                            kSystemImage | kWriteEpid, cb, &bar, "", "");
        });
        rc != 0)
        return Summary(screen, r, rc, "image");

    // Modules: the verb returns 1001 when the machine must restart; the call
    // after the restart continues where the plan asked for it.
    auto modules = [&](uint64_t options) -> int64_t {
        ModuleStage progress{&screen};
        for (;;) {
            uint32_t exitCode = 0;
            int32_t rc = ModSetupX(r.plan.c_str(), r.media.c_str(), r.media.c_str(), r.media.c_str(),
                                   r.target.c_str(), r.mount.c_str(), "", "", "", "", r.log.c_str(), 1, options,
                                   ModuleProgress, reinterpret_cast<uintptr_t>(&progress), "", &exitCode);
            if (rc != RETURN_REBOOT_REQUIRED) {
                r.modulesInstalled += progress.installed;
                return rc;
            }
            ++r.restarts;
            progress.pending.clear();
            screen.Line("  restart requested");
        }
    };
    if (int64_t rc = stage("pe-modules", [&] { return modules(kPeModules | kWriteEpid); }); rc != 0)
        return Summary(screen, r, rc, "pe-modules");
    if (int64_t rc = stage("modules", [&] { return modules(kWriteEpid); }); rc != 0)
        return Summary(screen, r, rc, "modules");
    return Summary(screen, r, 0, "");
}

} // namespace
} // namespace halcyon::cli

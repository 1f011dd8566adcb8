// Overhead of ExecuteProgram over a plain posix_spawn + waitpid of /bin/true.
// Plain main: the engine echoes its log lines to standard output, so the
// program's own report goes to standard error.
//   exec_bench [ITERATIONS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/modules/program_runner.h"
#include "platform/process.h"

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Stats {
    double median = 0, mean = 0, min = 0;
};

Stats Summarize(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    Stats s;
    s.min = us.front();
    s.median = us[us.size() / 2];
    for (double v : us)
        s.mean += v;
    s.mean /= static_cast<double>(us.size());
    return s;
}

void Report(const char *name, int n, const Stats &s)
{
    std::fprintf(stderr, "%-40s n=%-4d median %10.1f us  mean %10.1f us  min %10.1f us\n", name, n, s.median, s.mean,
                 s.min);
}

void SpawnTrue()
{
    pid_t pid = 0;
    char arg0[] = "/bin/true";
    char *argv[] = {arg0, nullptr};
    if (::posix_spawn(&pid, "/bin/true", nullptr, nullptr, argv, environ) != 0)
        std::abort();
    int status = 0;
    ::waitpid(pid, &status, 0);
}

} // namespace

int main(int argc, char **argv)
{
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    // Keep the engine's echoed lines out of the report.
    int devnull = ::open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
        ::dup2(devnull, 1);
        ::close(devnull);
    }
    char logTemplate[] = "/tmp/exec-bench-XXXXXX";
    int logFd = ::mkstemp(logTemplate);
    if (logFd >= 0)
        ::close(logFd);
    const std::string log = logTemplate;
    // Only this program's own processes count as new during the child wait.
    const pid_t group = ::getpgrp();
    halcyon::platform::SetSnapshotFilter(
        [group](const halcyon::platform::ProcessInfo &p) { return p.processGroup == group; });

    uint32_t code = 0;
    // The variants take turns (and rotate who goes first), so that a change
    // in the machine's load hits them alike.
    std::vector<std::pair<const char *, std::function<void()>>> variants = {
        {"posix_spawn + waitpid /bin/true", SpawnTrue},
        {"ShellExecute + Wait /bin/true",
         [] {
             halcyon::platform::ProcessHandle h;
             if (halcyon::platform::ShellExecute("", "/bin/true", "", h) != 0)
                 std::abort();
             h.Wait(-1);
         }},
        {"ExecuteProgram wait 0 (log file)",
         [&] { halcyon::modules::ExecuteProgram("/tmp", "/bin/true", "", 1, 0, &code, log); }},
        {"process snapshot (own group)", [] { (void)halcyon::platform::SnapshotProcesses(); }},
    };
    std::vector<std::vector<double>> samples(variants.size());
    for (int i = 0; i < n; ++i) {
        for (size_t k = 0; k < variants.size(); ++k) {
            const size_t v = (k + static_cast<size_t>(i)) % variants.size(); // rotate who goes first
            auto t0 = Clock::now();
            variants[v].second();
            samples[v].push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
    }
    std::vector<Stats> stats;
    for (size_t v = 0; v < variants.size(); ++v) {
        stats.push_back(Summarize(samples[v]));
        Report(variants[v].first, n, stats.back());
    }
    const Stats spawn = stats[0], wait0 = stats[2];
    const int slow = 3;
    std::vector<double> slowSamples;
    for (int i = 0; i < slow; ++i) {
        auto t0 = Clock::now();
        halcyon::modules::ExecuteProgram("/tmp", "/bin/true", "", 1, 1, &code, log);
        slowSamples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    Stats wait1 = Summarize(slowSamples);
    Report("ExecuteProgram wait 1 s (log file)", slow, wait1);

    std::fprintf(stderr, "\noverhead over posix_spawn, wait 0: %.1f us (median), %.1f us (min)\n",
                 wait0.median - spawn.median, wait0.min - spawn.min);
    std::fprintf(stderr, "overhead over posix_spawn, wait 1: %.1f us (median, includes the 1 s pause)\n",
                 wait1.median - spawn.median);
    ::unlink(log.c_str());
    return 0;
}

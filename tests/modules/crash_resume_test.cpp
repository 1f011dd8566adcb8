// Power loss at any moment: "halcyon mod-setup --until-done" is killed with
// SIGKILL (its whole process group, installers included, as a power loss
// would end them) at many moments of a plan with restarts, started again
// each time, and in the end leaves the machine exactly as an uninterrupted
// run does.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/common/halcyon_command.h"
#include "tests/common/mod_media.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

namespace {

using Clock = std::chrono::steady_clock;

// The plan: twelve modules, restarts before and after some, scrambled
// images copied with their folder and CRC-checked, two large images whose
// apply takes a while, an in-box module, a FILE COPY module and an installer
// that leaves a child behind.
std::vector<MediaModule> CrashPlan()
{
    std::vector<MediaModule> mods;
    for (int i = 0; i < 12; ++i) {
        MediaModule m;
        m.releaseId = std::to_string(310001 + i);
        m.sleepSeconds = 0.05 + 0.02 * (i % 4);
        mods.push_back(m);
    }
    mods[0].rebootBefore = "True"; // a fresh run never restarts here
    mods[1].rebootAfter = "True";
    mods[2].scrambled = true;
    mods[2].crcManifest = true;
    mods[3].rebootBefore = "True";
    mods[3].rebootAfter = "True";
    mods[4].files = {{"payload.bin", std::string(6 << 20, 'x')}};
    mods[5].installAfterOOBE = "Yes";
    mods[5].temporary = "True";
    mods[6].installerType = "FILE COPY";
    mods[6].setupFile = "Tools\\Copied";
    mods[6].files = {{"a.txt", "A"}, {"deep/b.txt", "B"}};
    mods[7].scrambled = true;
    mods[7].crcManifest = true;
    mods[7].rebootBefore = "True";
    mods[8].childSeconds = 1;
    mods[9].files = {{"payload.bin", std::string(6 << 20, 'y')}};
    mods[9].rebootAfter = "True";
    mods[10].temporary = "true_fulfillment";
    mods[11].rebootBefore = "True";
    mods[11].rebootAfter = "True"; // the last module: no restart after it
    return mods;
}

constexpr uint64_t kOptions = 0x80000000ull /* nrvinst.oem */ | 0x40000000ull /* folder copy + CRC */;

struct Attempt {
    int status = -1;   // exit status when it ended by itself
    bool killed = false;
    std::string phase; // where the kill landed
};

class CrashResumeTest : public ::testing::Test {
protected:
    // Starts the command for `media` on `machine` in a process group of its
    // own; returns its pid.
    pid_t Start(const ModMedia &media, const std::string &machine)
    {
        ModSetupCall call;
        call.options = kOptions;
        std::vector<std::string> args = media.CommandArgs(call);
        args.push_back("--until-done");
        const std::string bin = HalcyonBinary();
        const std::string out = media.root + "/stdout.txt";
        pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            ::setenv("HALCYON_MACHINE", machine.c_str(), 1);
            int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
                ::close(fd);
            }
            std::vector<char *> argv;
            argv.push_back(const_cast<char *>(bin.c_str()));
            for (auto &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(bin.c_str(), argv.data());
            ::_exit(127);
        }
        ::setpgid(pid, pid);
        return pid;
    }

    static bool Reap(pid_t pid, int &status, bool block)
    {
        int st = 0;
        pid_t r = ::waitpid(pid, &st, block ? 0 : WNOHANG);
        if (r != pid)
            return false;
        status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return true;
    }

    // Runs to the end without interruption.
    int RunToEnd(const ModMedia &media, const std::string &machine)
    {
        pid_t pid = Start(media, machine);
        int status = -1;
        Reap(pid, status, true);
        return status;
    }

    // Runs until `target` has appeared `count` times in the log text written
    // by this run (then `extraMs` more), or until `deadline` when `target`
    // is empty, and kills the process group there.
    Attempt RunAndKill(const ModMedia &media, const std::string &machine, const std::string &target, int count,
                   int extraMs, Clock::time_point deadline)
    {
        const auto start = fs::exists(media.log) ? fs::file_size(media.log) : 0;
        pid_t pid = Start(media, machine);
        Attempt run;
        while (true) {
            if (Reap(pid, run.status, false))
                return run;
            bool fire = false;
            std::string fresh;
            {
                std::ifstream in(media.log, std::ios::binary);
                in.seekg(static_cast<std::streamoff>(start));
                fresh.assign(std::istreambuf_iterator<char>(in), {});
            }
            if (target.empty()) {
                fire = Clock::now() >= deadline;
            } else {
                int seen = 0;
                for (size_t pos = fresh.find(target); pos != std::string::npos; pos = fresh.find(target, pos + 1))
                    ++seen;
                fire = seen >= count || Clock::now() >= deadline;
            }
            if (fire) {
                if (extraMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(extraMs));
                ::kill(-pid, SIGKILL);
                Reap(pid, run.status, true);
                run.killed = true;
                // The last line of the log names the moment.
                std::ifstream in(media.log, std::ios::binary);
                std::string all((std::istreambuf_iterator<char>(in)), {});
                while (!all.empty() && (all.back() == '\n' || all.back() == '\r'))
                    all.pop_back();
                std::string last = all.substr(all.find_last_of('\n') + 1);
                run.phase = last.size() > 20 ? last.substr(20) : last; // drop the time stamp
                return run;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }

    static std::string MachineState(const ModMedia &media, const std::string &machine)
    {
        std::string state;
        {
            EnvScope there("HALCYON_MACHINE", machine);
            state = DumpRegistryTree("SOFTWARE\\Norv Corporation");
        }
        state += "--- nrvinst.oem\n" + ReadFile(media.nrvinst);
        for (const auto &e : fs::recursive_directory_iterator(media.dest))
            state += "--- dest " + e.path().string().substr(media.dest.size()) +
                     (e.is_regular_file() ? " " + ReadFile(e.path().string()) : "") + "\n";
        return state;
    }
};

TEST_F(CrashResumeTest, KilledAtManyMomentsEndsLikeAnUninterruptedRun)
{
    const std::string bin = HalcyonBinary();
    if (!fs::exists(bin))
        GTEST_FAIL() << "build the halcyon command first: " << bin;
    const auto testStart = Clock::now();
    const auto plan = CrashPlan();

    TempDir refDir("crash-ref");
    ModMedia ref(refDir.path());
    ref.Make(plan);
    const std::string refMachine = refDir / "machine";
    auto t0 = Clock::now();
    ASSERT_EQ(RunToEnd(ref, refMachine), 0) << ReadFile(ref.root + "/stdout.txt");
    const auto fullRun = Clock::now() - t0;
    const std::string out = ReadFile(ref.root + "/stdout.txt");
    EXPECT_NE(out.find("module 1/12: installing Label 310001"), std::string::npos) << out;
    EXPECT_NE(out.find("module 12/12: done Label 310012"), std::string::npos) << out;
    EXPECT_NE(out.find("restart requested"), std::string::npos) << out;
    EXPECT_NE(out.find("ModSetupX: all modules done"), std::string::npos) << out;
    const std::string expected = MachineState(ref, refMachine);
    ASSERT_NE(expected.find("Modules\\Label 310012 P310012|InstallMode=Factory"), std::string::npos) << expected;
    ASSERT_NE(expected.find("HDDRecovery|InBoxCD1=Label 310006"), std::string::npos) << expected;
    ASSERT_EQ(expected.find("InstallerStatus"), std::string::npos);

    TempDir crashDir("crash-run");
    ModMedia media(crashDir.path());
    media.Make(plan);

    // Moments: a log line reached (its first or second occurrence in one
    // run) plus a few milliseconds, or a random time.
    const std::vector<std::string> targets = {"ExecuteProgram Start", "Applying WIM: ", "ReturnCode=",
                                              "Decrypting WIM: ",     "Copy the folder",  "System protection",
                                              "",                     "Rebooting",        "Comparison Result",
                                              "Installing: "};
    std::mt19937 rng(20261208);
    std::map<std::string, int> phases;
    int kills = 0;
    int rounds = 0;
    const int64_t fullMs = std::chrono::duration_cast<std::chrono::milliseconds>(fullRun).count();
    const auto budget = std::chrono::seconds(45);
    // Rounds on a fresh machine each: killed again and again until a run
    // ends by itself, then compared with the uninterrupted run.
    while (kills < 30 && Clock::now() - testStart < budget) {
        const std::string machine = crashDir / ("machine" + std::to_string(++rounds));
        fs::remove(media.nrvinst);
        fs::remove_all(media.dest);
        fs::create_directories(media.dest);
        for (int attempt = 0;; ++attempt) {
            const std::string &target = targets[(rounds + attempt) % targets.size()];
            const int count = 1 + static_cast<int>(rng() % 2);
            // Up to 40 ms after the line: past the first registry transaction
        // that follows it.
        const int extra = static_cast<int>(rng() % 9) * 5;
            const auto randomSpan = std::chrono::milliseconds(10 + rng() % std::max<int64_t>(1, fullMs / 4));
            Attempt run = attempt < 60 ? RunAndKill(media, machine, target, count, extra, Clock::now() + randomSpan)
                                       : Attempt{RunToEnd(media, machine), false, ""};
            if (!run.killed) {
                ASSERT_EQ(run.status, 0) << ReadFile(media.root + "/stdout.txt");
                break;
            }
            ++kills;
            ++phases[run.phase.substr(0, run.phase.find_first_of("=:0123456789"))];
        }
        if (MachineState(media, machine) != expected) {
            // The engine log's last lines tell where the runs were stopped.
            const std::string log = ReadFile(media.log);
            size_t from = log.size();
            for (int lines = 0; from > 0 && lines < 80; --from)
                lines += log[from - 1] == '\n';
            std::printf("engine log, last lines:\n%s\n", log.substr(from).c_str());
        }
        ASSERT_EQ(MachineState(media, machine), expected) << "round " << rounds;
        EXPECT_TRUE(fs::is_empty(media.mount)) << "round " << rounds << " left in the mount folder: "
                                                << fs::directory_iterator(media.mount)->path();
    }

    std::string where;
    for (const auto &[phase, n] : phases)
        where += "  " + std::to_string(n) + " x after \"" + phase + "\"\n";
    std::printf("%d kills in %d rounds, landing:\n%s", kills, rounds, where.c_str());
    // Where the kills land depends on the machine's load (a busy machine
    // spends most of a run inside installers); the spread is printed above,
    // only their number is required.
    EXPECT_GE(kills, 10);

    std::set<std::string> ran;
    for (const auto &id : media.RunIds())
        ran.insert(id);
    for (const auto &m : plan) {
        if (m.installerType != "FILE COPY") {
            EXPECT_TRUE(ran.count(m.releaseId)) << m.releaseId << " never ran";
        }
    }
    EXPECT_TRUE(fs::is_empty(ref.mount));
}

} // namespace

} // namespace halcyon::test

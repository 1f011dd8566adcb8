// The operator's commands around a run: status (read-only, lock-free),
// machine (identity instead of hand edits) and log (header, following).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/host_file_rw.h"
#include "platform/profile.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;

namespace {

// "halcyon ARGS" run in `cwd` (where a sample run writes ./halcyon-sample).
int Halcyon(const std::string &cwd, const std::string &args, std::string &out)
{
    return test::RunShellCommand("cd '" + cwd + "' && '" + test::HalcyonBinary() + "' " + args + " 2>&1 </dev/null",
                                 out);
}

// Holds a machine the way a run does (the lock byte past the holder's text).
struct HeldMachine {
    platform::HostFile file;
    explicit HeldMachine(const std::string &machine)
    {
        fs::create_directories(machine);
        EXPECT_EQ(file.Open(machine + "/owner.lock", platform::FileAccess::ReadWrite,
                            platform::FileCreation::OpenOrCreate),
                  0);
        EXPECT_EQ(file.LockRange(uint64_t{1} << 40, 1, true), 0);
        const std::string text = "halcyon factory-run (pid 1, started today)\n";
        EXPECT_EQ(file.WriteAt(0, text.data(), text.size()), 0);
    }
};

struct Step {
    const char *what;
    std::string args;
    int exit;
    std::vector<std::string> shown; // each must be in the output
    std::function<void()> before = {};
};

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

void RunSteps(const std::string &cwd, const std::vector<Step> &steps)
{
    for (const auto &s : steps) {
        if (s.before)
            s.before();
        std::string out;
        EXPECT_EQ(Halcyon(cwd, s.args, out), s.exit) << s.what << "\n" << out;
        for (const auto &text : s.shown)
            EXPECT_NE(out.find(text), std::string::npos) << s.what << ": no '" << text << "' in\n" << out;
    }
}

} // namespace

TEST(StatusCommand, TellsWhereEachRunStandsWithoutTouchingTheMachine)
{
    test::TempDir work;
    fs::create_directories(work / "rep");
    fs::create_directories(work / "empty");
    const std::string stopped = work / "stopped", held = work / "held";
    std::unique_ptr<HeldMachine> holder;
    // The shared record is replaced whole: a reader never sees a part of one.
    std::atomic<bool> watching{true};
    int reads = 0, partial = 0;
    std::thread reader([&] {
        while (watching) {
            std::error_code ec;
            for (auto &e : fs::directory_iterator(work / "rep", ec)) {
                if (e.path().extension() != ".status")
                    continue;
                const std::string text = test::ReadFile(e.path().string());
                ++reads;
                if (text.rfind("name=", 0) != 0 || text.find("\nupdated=") == std::string::npos || text.back() != '\n')
                    ++partial;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    RunSteps(work.path(),
             {
                 {"a finished run reports to the line folder",
                  "--machine done factory-run --sample --report-to rep", 0, {"Machine installed."}},
                 {"its status", "--machine done status", 0,
                  {"factory-run: done"},
                  [&] {
                      watching = false;
                      reader.join();
                  }},
                 {"its status in full", "--machine done status", 0,
                  {"factory-run: done", "holder    none", "verify", "target    " + work.path()}},
                 {"as JSON", "--machine done status --json", 0,
                  {"\"held\":false", "\"state\":\"done\"", "\"command\":\"factory-run\""}},
                 {"a report folder that is no folder is refused before anything is written",
                  "--machine nothing factory-run --sample --report-to rep/none", 2, {"--report-to"}},
                 {"a failed run", "--machine failed factory-run --media empty --report-to rep", 1, {}},
                 {"names its stage, code and reason", "--machine failed status", 0,
                  {"factory-run: failed", "stage     identify", "error     code 4: no IDF (*.xml) and BOM"}},
                 {"a run killed while running", "--machine stopped status", 0, {"factory-run: stopped", "modules"},
                  [&] {
                      fs::create_directories(stopped + "/factory");
                      test::WriteFile(stopped + "/factory/status.txt",
                                      "command=factory-run\nstate=running\nstage=modules\n");
                  }},
                 {"a machine in use names its holder", "--machine held status", 0,
                  {"holder    halcyon factory-run (pid 1", "factory-run: running"},
                  [&] {
                      fs::create_directories(held + "/factory");
                      test::WriteFile(held + "/factory/status.txt",
                                      "command=factory-run\nstate=running\nstage=image\npercent=42\n");
                      holder = std::make_unique<HeldMachine>(held);
                  }},
                 {"no machine", "--machine nowhere status", 1, {"no machine at"}},
             });
    EXPECT_GT(reads, 10);
    EXPECT_EQ(partial, 0);
    EXPECT_FALSE(fs::exists(work / "nothing"));
    std::vector<std::string> reports;
    for (auto &e : fs::directory_iterator(work / "rep"))
        reports.push_back(test::ReadFile(e.path().string()));
    ASSERT_EQ(reports.size(), 2u); // one file per machine, no leftovers
    std::sort(reports.begin(), reports.end(), [](auto &a, auto &b) { return a.find("=done") < b.find("=done"); });
    EXPECT_NE(reports[0].find("state=done\n"), std::string::npos) << reports[0];
    EXPECT_NE(reports[1].find("state=failed\nstage=identify\n"), std::string::npos) << reports[1];
    EXPECT_NE(reports[1].find("reason=no IDF"), std::string::npos) << reports[1];
    // Asking changed nothing: the holder's text is intact.
    EXPECT_EQ(test::ReadFile(held + "/owner.lock"), "halcyon factory-run (pid 1, started today)\n");
}

TEST(MachineCommand, SetsUpShowsChangesAndResetsUnderTheLock)
{
    test::TempDir work;
    const std::string ini = work / "m/machine.ini";
    std::unique_ptr<HeldMachine> holder;
    RunSteps(work.path(), {
                              {"show needs a machine", "--machine m machine show", 1, {"no machine at"}},
                              {"identity needs a machine", "--machine m machine identity --blid AB1", 1, {"init"}},
                              {"init with an identity", "--machine m machine init --name 'Line 7' --blid NX500A0001",
                               0, {"Line 7", "Identity.BLID                NX500A0001", "drive c:"}},
                              {"init twice", "--machine m machine init", 1, {"set up already"}},
                              {"a bad value writes nothing",
                               "--machine m machine identity --rmid R1 --blid 'a;b'", 2, {"--blid"}},
                              {"an unknown flag value", "--machine m machine identity --rmid-on-oem-string maybe", 2,
                               {"--rmid-on-oem-string"}},
                              {"no identity given", "--machine m machine identity", 2, {"at least one"}},
                              {"identity", "--machine m machine identity --rmid R1 --rmid-on-oem-string yes --memory 8192",
                               0, {"Identity.RMIDOnOEMString1    True", "PhysicalMemoryMB    8192"}},
                              {"show as JSON", "--machine m machine show --json", 0,
                               {"\"Identity.RMID\":\"R1\"", "\"name\":\"Line 7\""}},
                              {"reset wants --yes", "--machine m machine reset", 2, {"--yes"}},
                              {"no change while a run holds the machine",
                               "--machine m machine identity --blid OTHER", 1, {"in use by halcyon factory-run"},
                               [&] { holder = std::make_unique<HeldMachine>(work / "m"); }},
                              {"reset", "--machine m machine reset --yes", 0, {"reset"},
                               [&] { holder.reset(); }},
                              {"unknown verb", "--machine m machine frob", 2, {"unknown machine command"}},
                          });
    EXPECT_FALSE(fs::exists(ini));
    EXPECT_FALSE(fs::exists(work / "m/drives"));
    EXPECT_TRUE(fs::is_directory(work / "m"));
}

TEST(LogCommand, StartsWithAHeaderAndFollowsWhileTheMachineIsHeld)
{
    test::TempDir work;
    std::string out;
    ASSERT_EQ(Halcyon(work.path(), "--machine m factory-run --sample", out), 0) << out;
    const std::string log = work / "m/factory/halcyon.log";
    std::unique_ptr<HeldMachine> holder;
    RunSteps(work.path(), {
                              {"the header", "--machine m log", 0,
                               {"==== halcyon ", "factory-run started ", "==== command line: halcyon factory-run "
                                                                          "--sample\n", "ValidateRegistry"}},
                              {"-f without a run ends at once", "--machine m log -f", 0, {"ValidateRegistry"}},
                              {"a run's log that does not exist", "--machine m log --run recovery", 1, {"no log"}},
                              {"a bad run", "--machine m log --run nightly", 2, {"--run"}},
                          });
    // Followed while held: what is appended shows, and it ends when let go.
    holder = std::make_unique<HeldMachine>(work / "m");
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        platform::HostFile f;
        ASSERT_EQ(f.Open(log, platform::FileAccess::Append, platform::FileCreation::OpenExisting), 0);
        ASSERT_EQ(f.Write("late line\r\n", 11), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        holder.reset();
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Halcyon(work.path(), "--machine m log -f", out), 0);
    writer.join();
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    EXPECT_NE(out.find("late line\n"), std::string::npos) << out;
}

TEST(PreflightCheck, ListsEveryProblemAtOnceAndTouchesNothing)
{
    test::TempDir work;
    std::string out;
    ASSERT_EQ(Halcyon(work.path(), "sample-media media", out), 0) << out;
    ASSERT_EQ(Halcyon(work.path(), "--machine good machine init --blid NX500A0001", out), 0) << out;
    ASSERT_EQ(Halcyon(work.path(), "--machine wrong machine init --blid ZZ99999999", out), 0) << out;
    fs::create_directories(work / "flat");
    fs::copy_file(work / "media/nx500.xml", work / "flat/nx500.xml");
    test::WriteFile(work / "flat/nx500.bom", "SKU-NX500-BASE\nMB-NX500\nLangRegion=DE-DE\n");
    std::unique_ptr<HeldMachine> holder;
    const std::string rec = "--media media/recovery/rdvd1 --media media/recovery/rdvd2";
    RunSteps(work.path(),
             {
                 {"ready", "--machine good factory-run --check --media media", 0,
                  {"blid         NX500A0001 (in the image's list)", "os           W11P64", "factory-run --check: ready"}},
                 {"a BLID the image does not list", "--machine wrong factory-run --check --media media --json", 1,
                  {"\"ready\":false", "ZZ99999999 is not in the image's BLID list NX500A0001,NX500B0002"}},
                 {"every problem at once", "--machine fresh factory-run --check --media flat --target fresh/t", 1,
                  {"3 problems", "the machine has no BLID", "the BOM asks for the language DE-DE, the IDF is for EN-US",
                   "lie one inside the other"}},
                 {"no media", "--machine good factory-run --check --media nowhere", 1, {"are not a folder"}},
                 {"a machine in use", "--machine good factory-run --check --media media", 1,
                  {"is in use by halcyon factory-run"},
                  [&] { holder = std::make_unique<HeldMachine>(work / "good"); }},
                 {"recovery media ready", "--machine r recovery-run --check --language de-DE " + rec, 0,
                  {"languages    en-US, de-DE, fr-FR, ja-JP", "recovery-run --check: ready"},
                  [&] { holder.reset(); }},
                 {"a language not offered, a medium that is none, no first disc",
                  "--machine r recovery-run --check --language xx-YY --media media/recovery/rdvd2 --media flat", 1,
                  {"2 problems", "flat is not a recovery medium", "the first medium (RDVD1) is not among the media"}},
                 {"a language not offered", "--machine r recovery-run --check --language xx-YY " + rec, 1,
                  {"the language xx-YY is not offered (en-US, de-DE, fr-FR, ja-JP)"}},
             });
    // Nothing was made: no machine, no target, no run folder.
    EXPECT_FALSE(fs::exists(work / "fresh"));
    EXPECT_FALSE(fs::exists(work / "r"));
    EXPECT_FALSE(fs::exists(work / "good/factory"));
    EXPECT_FALSE(fs::exists(work / "halcyon-sample"));
}

TEST(QueryCommands, AnswerWithOneJsonObjectAndTheRunReportsModuleTimes)
{
    test::TempDir work;
    std::string out;
    ASSERT_EQ(Halcyon(work.path(), "--machine m factory-run --sample --json", out), 0) << out;
    EXPECT_NE(out.find("\"moduleTimings\":[{\"name\":\"Card Reader\",\"seconds\":"), std::string::npos) << out;
    EXPECT_EQ(Count(out, "\"seconds\":"), 9u + 10u) << out; // the stages, then the installed modules
    test::WriteFile(work / "broken.ini", "[Image]\nReleaseName=x\n");
    const std::string module = work / "halcyon-sample/media/sources/data/300310";
    struct Case {
        std::string args;
        int exit;
        std::string json; // the whole output begins with this
    } cases[] = {
        {"plan check m/factory/halcyon.ini --json", 0, "{\"plan\":\"m/factory/halcyon.ini\",\"passed\":true,\"code\":0"},
        {"plan check broken.ini --json", 1, "{\"plan\":\"broken.ini\",\"passed\":false,\"code\":"},
        {"crc check '" + module + "' --json", 0, "{\"folder\":\"" + module + "\",\"result\":0,\"same\":true"},
        {"crc check '" + work.path() + "' --json", 2, "{\"folder\":\"" + work.path() + "\",\"result\":2,\"same\":false"},
        {"--machine m verify crc --json --ini m/factory/check.ini --source halcyon-sample/media/sources", 0,
         "{\"verb\":\"EpicCrcCheck\",\"code\":0,\"passed\":true"},
        {"--machine m verify registry --json --plan m/factory/check.ini", 0,
         "{\"verb\":\"ValidateRegistry\",\"code\":0,\"passed\":true"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Halcyon(work.path(), c.args, out), c.exit) << c.args << "\n" << out;
        EXPECT_EQ(out.rfind(c.json, 0), 0u) << c.args << "\n" << out;
        EXPECT_EQ(Count(out, "\n"), 1u) << c.args << ": one line only\n" << out;
    }
}

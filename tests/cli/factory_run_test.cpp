// The factory run end to end: sample media, plan, image, modules across
// restarts — and the same run killed at several moments and started again.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/profile.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/halcyon_run.h"
#include "platform/registry.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;
using halcyon::test::ReadFile;
using halcyon::test::TempDir;

namespace {

// Starts `halcyon factory-run --sample` in `work` in its own process group,
// with the machine in work/halcyon-sample/machine.
pid_t StartRun(const std::string &work)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        if (::chdir(work.c_str()) != 0)
            ::_exit(126);
        std::string out = work + "/run.out";
        FILE *f = std::freopen(out.c_str(), "a", stdout);
        (void)f;
        ::dup2(STDOUT_FILENO, STDERR_FILENO);
        // The machine comes from the environment, as for every command.
        ::setenv("HALCYON_MACHINE", (work + "/halcyon-sample/machine").c_str(), 1);
        std::string bin = test::HalcyonBinary();
        ::execl(bin.c_str(), bin.c_str(), "factory-run", "--sample", "--json", nullptr);
        ::_exit(127);
    }
    return pid;
}

int Wait(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// What an installed machine must look like; compared between runs.
struct MachineState {
    std::map<std::string, std::map<std::string, std::string>> modules; // key -> values
    std::string nrvinst;
    bool installerStatusLeft = true;
};

MachineState Inspect(const std::string &work)
{
    MachineState s;
    std::string machine = work + "/halcyon-sample/machine";
    ::setenv("HALCYON_MACHINE", machine.c_str(), 1);
    using namespace platform::reg;
    const std::string base = "SOFTWARE\\Norv Corporation\\Installed Software\\";
    UniqueKey modules;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, base + "Modules", KEY_READ, modules.out()) == ERROR_SUCCESS) {
        std::string name;
        for (uint32_t i = 0; RegEnumKeyEx(modules.get(), i, &name) == ERROR_SUCCESS; ++i) {
            UniqueKey k;
            if (RegOpenKeyEx(modules.get(), name, KEY_READ, k.out()) != ERROR_SUCCESS)
                continue;
            std::string vname;
            uint32_t type = 0;
            std::vector<uint8_t> data;
            for (uint32_t j = 0; RegEnumValue(k.get(), j, &vname, &type, &data) == ERROR_SUCCESS; ++j)
                s.modules[name][vname] = std::string(data.begin(), data.end());
        }
    }
    s.installerStatusLeft = KeyExists(HKEY_LOCAL_MACHINE, base + "InstallerStatus") &&
                            [&] {
                                UniqueKey k;
                                RegOpenKeyEx(HKEY_LOCAL_MACHINE, base + "InstallerStatus", KEY_READ, k.out());
                                std::string n;
                                uint32_t t = 0;
                                std::vector<uint8_t> d;
                                return RegEnumValue(k.get(), 0, &n, &t, &d) == ERROR_SUCCESS;
                            }();
    s.nrvinst = ReadFile(work + "/halcyon-sample/target/Windows/system32/nrvinst.oem");
    if (s.nrvinst.empty())
        s.nrvinst = ReadFile(work + "/halcyon-sample/target/Windows/System32/nrvinst.oem");
    ::unsetenv("HALCYON_MACHINE");
    return s;
}

class FactoryRun : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        reference_ = new TempDir("halcyon-factory-ref");
        ASSERT_EQ(0, Wait(StartRun(reference_->path()))) << ReadFile(*reference_ / "run.out");
    }
    static void TearDownTestSuite()
    {
        delete reference_;
        reference_ = nullptr;
    }
    static TempDir *reference_;
};
TempDir *FactoryRun::reference_ = nullptr;

TEST_F(FactoryRun, InstallsTheSampleMachineEndToEnd)
{
    const std::string work = reference_->path();
    std::string out = ReadFile(work + "/run.out");
    EXPECT_NE(std::string::npos, out.find("\"result\":0")) << out;
    EXPECT_NE(std::string::npos, out.find("\"restarts\":")) << out;

    const std::string target = work + "/halcyon-sample/target";
    // The image.
    EXPECT_TRUE(fs::is_regular_file(target + "/Windows/System32/kernel.sys"));
    EXPECT_EQ(6u << 20, fs::file_size(target + "/Windows/System32/kernel.sys"));
    EXPECT_TRUE(fs::is_directory(target + "/Windows/Temp"));
    // A FILE COPY module, without its manifest.
    EXPECT_TRUE(fs::is_regular_file(target + "/Drivers/Chipset/chipset.inf"));
    EXPECT_FALSE(fs::exists(target + "/Drivers/Chipset/_FS_SWRINFO"));
    // Installers ran once each, with their arguments, and changed the target.
    std::string runs = ReadFile(target + "/setup-runs.log");
    EXPECT_NE(std::string::npos, runs.find("Support Assistant ran with: [--silent] [--log] [x y]")) << runs;
    EXPECT_NE(std::string::npos, runs.find("PE Tools ran with:")) << runs;
    for (const char *name : {"Support Assistant", "Touchpad Driver", "Trial Tools", "Energy Profile"}) {
        std::string line = std::string(name) + " ran with:";
        size_t first = runs.find(line);
        EXPECT_NE(std::string::npos, first) << name;
        EXPECT_EQ(std::string::npos, runs.find(line, first + 1)) << name << " ran twice";
    }
    EXPECT_EQ("4.0.7\r\n", ReadFile(target + "/Program Files/Support Assistant/version.txt"));
    // The image's application and driver.
    EXPECT_EQ("2.1.0\r\n", ReadFile(target + "/Program Files/PhotoViewer/version.txt"));
    EXPECT_TRUE(fs::is_regular_file(target + "/Windows/Drivers/Inf/Card Reader/cardreader.inf"));
    // The report: every module and application checked.
    size_t checked = 0;
    for (size_t at = out.find("\"check\":\"ok\""); at != std::string::npos; at = out.find("\"check\":\"ok\"", at + 1))
        ++checked;
    EXPECT_EQ(10u, checked) << out;
    EXPECT_NE(std::string::npos, out.find("{\"kind\":\"application\",\"name\":\"Photo Viewer\",\"version\":\"2.1.0\""))
        << out;

    MachineState s = Inspect(work);
    EXPECT_FALSE(s.installerStatusLeft) << "resume marks are removed at the end";
    EXPECT_EQ(8u, s.modules.size());
    EXPECT_EQ("Factory", s.modules["Support Assistant P300310"]["InstallMode"]);
    EXPECT_NE(std::string::npos, s.nrvinst.find("FI=EP0000300100"));
    EXPECT_NE(std::string::npos, s.nrvinst.find("SSNPID=SNAP-000123"));
    EXPECT_NE(std::string::npos, s.nrvinst.find("=EP0000300310"));

    // The setup scripts' own registry values.
    ::setenv("HALCYON_MACHINE", (work + "/halcyon-sample/machine").c_str(), 1);
    std::string version;
    EXPECT_EQ(0, platform::reg::GetString(platform::reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\NX500\\Touchpad Driver",
                                          "Version", &version));
    EXPECT_EQ("2.2.1", version);
    ::unsetenv("HALCYON_MACHINE");

    // Nothing left in the mount or temporary folders.
    for (const char *dir : {"/halcyon-sample/machine/factory/mount", "/halcyon-sample/machine/factory/temp"})
        EXPECT_TRUE(fs::is_empty(work + dir)) << dir;
}

TEST_F(FactoryRun, AgainAfterCompletionChangesNothing)
{
    TempDir work("halcyon-factory-again");
    ASSERT_EQ(0, Wait(StartRun(work.path())));
    MachineState first = Inspect(work.path());
    std::string runs = ReadFile(work / "halcyon-sample/target/setup-runs.log");
    ASSERT_EQ(0, Wait(StartRun(work.path())));
    EXPECT_EQ(runs, ReadFile(work / "halcyon-sample/target/setup-runs.log")) << "no installer ran again";
    MachineState second = Inspect(work.path());
    EXPECT_EQ(first.modules, second.modules);
    EXPECT_EQ(first.nrvinst, second.nrvinst);

    // The checks run on every start: an application whose registration is
    // gone (its version check failed) fails the run, as does a damaged
    // module folder; each is named.
    auto failsVerifying = [&](const std::string &why) {
        fs::remove(work / "run.out");
        EXPECT_EQ(1, Wait(StartRun(work.path())));
        const std::string out = ReadFile(work / "run.out");
        EXPECT_NE(std::string::npos, out.find("\"failedStage\":\"verify\",\"why\":\"" + why + "\"")) << out;
    };
    ::setenv("HALCYON_MACHINE", (work.path() + "/halcyon-sample/machine").c_str(), 1);
    ASSERT_EQ(0, platform::reg::RegDeleteTree(platform::reg::HKEY_LOCAL_MACHINE,
                                              "SOFTWARE\\Norv Corporation\\Installed Software\\Drivers\\Card "
                                              "Reader P300160"));
    ::unsetenv("HALCYON_MACHINE");
    failsVerifying("version check failed, not registered: Card Reader Driver");
    {
        std::ofstream mod(work / "halcyon-sample/media/sources/data/300310/300310.mod", std::ios::app);
        mod << "x";
    }
    failsVerifying("the module folder of Support Assistant fails its CRC manifest");
}

TEST_F(FactoryRun, KilledAtAnyMomentAndStartedAgainEndsLikeAnUninterruptedRun)
{
    MachineState expected = Inspect(reference_->path());
    // Kill moments spread over a run (the media, the image, the modules and
    // their restarts); each run is then started again until it completes.
    for (int delayMs : {400, 1800, 2800}) {
        TempDir work("halcyon-factory-kill");
        pid_t pid = StartRun(work.path());
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::killpg(pid, SIGKILL);
        Wait(pid);
        int rc = -1;
        for (int attempt = 0; attempt < 3 && rc != 0; ++attempt)
            rc = Wait(StartRun(work.path()));
        ASSERT_EQ(0, rc) << "killed after " << delayMs << " ms\n" << ReadFile(work / "run.out");
        MachineState got = Inspect(work.path());
        EXPECT_FALSE(got.installerStatusLeft) << delayMs;
        EXPECT_EQ(expected.modules, got.modules) << "killed after " << delayMs << " ms";
        EXPECT_EQ(expected.nrvinst, got.nrvinst) << "killed after " << delayMs << " ms";
        std::string runs = ReadFile(work / "halcyon-sample/target/setup-runs.log");
        for (const char *name : {"PE Tools", "Touchpad Driver", "Support Assistant", "Media Codecs", "Trial Tools",
                                 "Store Links", "Energy Profile"})
            EXPECT_NE(std::string::npos, runs.find(std::string(name) + " ran with:")) << name << " after " << delayMs;
    }
}

// One run per machine and per target: a second run, a run of another
// machine on the same target and every command that changes the machine are
// refused at once, naming the run that holds it (commands that only read go
// on); killed, the run goes on from another folder with its recorded media
// and target.
TEST(FactoryRunOwner, ASecondRunIsRefusedAndTheStoppedRunResumesFromAnotherFolder)
{
    TempDir w("halcyon-factory-owner");
    const std::string machine = w / "machine", target = w / "target", first = w / "a", other = w / "b";
    fs::create_directories(first);
    fs::create_directories(other);
    pid_t pid = test::StartHalcyon(first, {"factory-run", "--sample", "--json", "--machine", machine, "--target", target},
                                   first + "/run.out");
    for (int i = 0; i < 500 && (ReadFile(machine + "/owner.lock").empty() || ReadFile(target + "/owner.lock").empty());
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string holder = "in use by halcyon factory-run (pid " + std::to_string(pid) + ",";
    struct Second {
        const char *name, *args;
        int refusedWith = 1; // 0: goes on
    };
    const Second seconds[] = {
        {"factory-run", "factory-run --sample --machine '%m'"},
        {"recovery-run", "recovery-run --sample --machine '%m'"},
        {"mod-setup", "mod-setup --plan '%m/factory/halcyon.ini' --perm '%m' --dest '%m' --until-done"},
        {"another machine", "factory-run --sample --machine '%m2' --target '%t'"},
        {"app-setup", "app-setup --plan '%m/factory/halcyon.ini' --dest '%t'"},
        {"load-img", "load-img --source '%m' --dest '%m/none'"},
        {"copy-disc", "copy-disc --source '%m' --dest '%m/none' --plan '%m/p' --media-ini '%m/n'"},
        {"mod-copy", "mod-copy --plan '%m/p' --source '%m' --dest '%m/none'"},
        {"mod-extract", "mod-extract --plan '%m/p' --source '%m' --dest '%m/none'"},
        {"img-copy", "img-copy --source '%m' --dest '%m/none' --custom x"},
        {"foundation-image", "foundation-image --source '%m' --dest '%m/none' --plan '%m/p' --media-ini '%m/n'"},
        {"reg add", "reg add 'HKLM\\SOFTWARE\\Other' /v A /d 1 /f"},
        {"reg delete", "reg delete 'HKLM\\SOFTWARE\\Other' /f"},
        {"reg import", "reg import '%m/none.reg'"},
        {"mui select", "mui select en-US"},
        {"reg query", "reg query 'HKLM\\SOFTWARE\\Other'", 0},
    };
    ::setenv("HALCYON_MACHINE", machine.c_str(), 1);
    for (const Second &s : seconds) {
        std::string args = s.args, out;
        for (const auto &[from, to] : {std::pair{"%t", target}, std::pair{"%m", machine}})
            for (size_t at = args.find(from); at != std::string::npos; at = args.find(from))
                args.replace(at, 2, to);
        const auto t0 = std::chrono::steady_clock::now();
        const int code = test::RunHalcyon(args, out);
        if (s.refusedWith) {
            EXPECT_EQ(s.refusedWith, code) << s.name << ": " << out;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2)) << s.name;
        EXPECT_EQ(s.refusedWith != 0, out.find(holder) != std::string::npos) << s.name << ": " << out;
    }
    ::unsetenv("HALCYON_MACHINE");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    test::KillHalcyon(pid);

    ASSERT_EQ(0, test::WaitHalcyon(test::StartHalcyon(other, {"factory-run", "--json", "--machine", machine},
                                                      other + "/run.out")))
        << ReadFile(other + "/run.out");
    EXPECT_NE(std::string::npos, ReadFile(other + "/run.out").find("\"target\":\"" + target + "\""));
    EXPECT_TRUE(fs::is_regular_file(target + "/Program Files/Support Assistant/version.txt"));
    EXPECT_FALSE(fs::exists(other + "/halcyon-sample")) << "the media of the first folder were used";
}

TEST(FactoryRunOwner, MachineAndTargetOneInsideTheOtherAreRefused)
{
    TempDir w("halcyon-factory-nest");
    struct Case {
        const char *machine, *target;
    };
    for (const char *command : {"factory-run --sample", "recovery-run --sample"})
        for (const Case c : {Case{"m", "m/t"}, Case{"t/m", "t"}, Case{"same", "same"}, Case{"same/", "same"}}) {
            std::string out;
            EXPECT_EQ(1, test::RunHalcyon(std::string(command) + " --machine '" + (w / c.machine) + "' --target '" +
                                              (w / c.target) + "'",
                                          out))
                << command << " " << c.machine << " " << c.target;
            EXPECT_NE(std::string::npos, out.find("must not lie one inside the other")) << out;
        }
}

// A run that stops before the engine wrote its log reports the stage, not an
// exception from reading the missing log.
TEST(FactoryRunOwner, AStopBeforeTheLogExistsIsReportedAsTheStage)
{
    TempDir w("halcyon-factory-nolog");
    fs::create_directories(w / "media");
    std::string out;
    EXPECT_EQ(1, test::RunHalcyon("factory-run --machine '" + (w / "machine") + "' --target '" + (w / "target") +
                                      "' --media '" + (w / "media") + "'",
                                  out));
    EXPECT_NE(std::string::npos, out.find("Stage identify failed with code 4")) << out;
    EXPECT_EQ(std::string::npos, out.find("basic_string")) << out;
}

} // namespace

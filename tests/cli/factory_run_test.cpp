// The factory run end to end: sample media, plan, image, modules across
// restarts — and the same run killed at several moments and started again.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/profile.h"
#include "tests/common/halcyon_command.h"
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
}

TEST_F(FactoryRun, KilledAtAnyMomentAndStartedAgainEndsLikeAnUninterruptedRun)
{
    MachineState expected = Inspect(reference_->path());
    // Kill moments spread over a run (the media, the image, the modules and
    // their restarts); each run is then started again until it completes.
    for (int delayMs : {700, 2500, 6000}) {
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

} // namespace

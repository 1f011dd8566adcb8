// The recovery run end to end on the sample recovery media: what it restores
// next to a factory run of the same plan, runs killed at many moments and
// started again, and the faults of the media a user meets.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/wait.h>
#include <thread>

#include "platform/machine.h"
#include "support/wim/wim_builder.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/halcyon_run.h"
#include "tests/common/mod_media.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;
using test::ReadFile;
using test::TempDir;

namespace {

const std::string kModules = "SOFTWARE\\Norv Corporation\\Installed Software\\Modules";

// The sample share with its recovery media, written once per test program.
const std::string &Share()
{
    static TempDir dir("halcyon-recovery-media");
    static const std::string root = [] {
        std::string out;
        EXPECT_EQ(0, test::RunHalcyon("sample-media '" + dir.path() + "/share'", out)) << out;
        return dir.path() + "/share";
    }();
    return root;
}
std::string Disc(int n) { return Share() + "/recovery/rdvd" + std::to_string(n); }
std::string Usb() { return Share() + "/recovery/rufd1"; }

std::vector<std::string> Recovery(const std::string &work, std::vector<std::string> media,
                                  std::vector<std::string> extra = {})
{
    std::vector<std::string> args = {"recovery-run", "--json", "--machine", work + "/machine", "--target",
                                     work + "/target"};
    for (const auto &m : media)
        args.insert(args.end(), {"--media", m});
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

int RunToEnd(const std::string &work, const std::vector<std::string> &args)
{
    return test::WaitHalcyon(test::StartHalcyon(work, args, work + "/run.out"));
}

std::string Registry(const std::string &machine, const std::string &key)
{
    ::setenv("HALCYON_MACHINE", machine.c_str(), 1);
    std::string dump = test::DumpRegistryTree(key);
    ::unsetenv("HALCYON_MACHINE");
    return dump;
}

// Every file below `root` with a digest of its contents, by relative path.
std::map<std::string, size_t> Files(const std::string &root)
{
    std::map<std::string, size_t> files;
    for (auto &e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files[fs::relative(e.path(), root).string()] = std::hash<std::string>{}(ReadFile(e.path().string()));
    return files;
}

std::string Replace(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string WithoutLinesHaving(const std::string &text, const std::vector<std::string> &words)
{
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
        bool drop = false;
        for (const auto &w : words)
            drop = drop || line.find(w) != std::string::npos;
        if (!drop)
            out += line;
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

TEST(RecoveryRun, RestoresTheMachineOfAFactoryRunExceptWhereRecoveryDiffers)
{
    TempDir w("halcyon-recovery-vs-factory");
    const std::string factory = w / "factory", recovery = w / "recovery";
    fs::create_directories(factory + "/machine");
    ::setenv("HALCYON_MACHINE", (factory + "/machine").c_str(), 1);
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "BLID", "NX500A0001"));
    ::unsetenv("HALCYON_MACHINE");
    fs::create_directories(recovery);
    // Both at once; the discs given in the wrong order.
    pid_t f = test::StartHalcyon(factory,
                                 {"factory-run", "--json", "--media", Share(), "--machine", factory + "/machine",
                                  "--target", factory + "/target"},
                                 factory + "/run.out");
    pid_t r = test::StartHalcyon(recovery, Recovery(recovery, {Disc(2), Disc(1)}), recovery + "/run.out");
    ASSERT_EQ(0, test::WaitHalcyon(f)) << ReadFile(factory + "/run.out");
    ASSERT_EQ(0, test::WaitHalcyon(r)) << ReadFile(recovery + "/run.out");
    const std::string out = ReadFile(recovery + "/run.out");
    for (const char *want : {"\"language\":\"en-US\"", "\"lastModuleRecoverable\":\"yes\"", "\"cleanSweep\":\"no\"",
                             "\"modulesInstalled\":6"})
        EXPECT_NE(std::string::npos, out.find(want)) << want << "\n" << out;

    // The same registrations, made in recovery mode, less the temporary
    // modules a recovery does not bring back.
    const std::string restored = Registry(recovery + "/machine", kModules);
    EXPECT_EQ(WithoutLinesHaving(Registry(factory + "/machine", kModules), {"Trial Tools", "Store Links"}),
              Replace(restored, "InstallMode=Recovery", "InstallMode=Factory"));
    EXPECT_NE(std::string::npos, restored.find("InstallMode=Recovery"));

    // The same target, but for the image's applications and the temporary
    // modules (factory only) and the reset settings of the push-button-reset
    // image (recovery only).
    auto ft = Files(factory + "/target"), rt = Files(recovery + "/target");
    std::vector<std::string> onlyFactory, onlyRecovery, differ;
    for (const auto &[path, data] : ft) {
        auto it = rt.find(path);
        if (it == rt.end())
            onlyFactory.push_back(path);
        else if (it->second != data)
            differ.push_back(path);
    }
    for (const auto &[path, data] : rt)
        if (!ft.count(path))
            onlyRecovery.push_back(path);
    for (const auto &p : onlyFactory)
        EXPECT_TRUE(p.find("Program Files/PhotoViewer") == 0 ||
                    p.find("Program Files/Trial Tools") == 0 || p.find("Program Files/Store Links") == 0 ||
                    p.find("Windows/Drivers/Inf/Card Reader") == 0)
            << p;
    EXPECT_EQ(std::vector<std::string>{"Recovery/OEM/ResetConfig.xml"}, onlyRecovery);
    EXPECT_EQ((std::vector<std::string>{"Windows/System32/nrvinst.oem", "setup-runs.log"}), differ);

    // The language went through the server to the recovery environment.
    const std::string x = recovery + "/machine/drives/x";
    EXPECT_NE(std::string::npos, ReadFile(x + "/Windows/System32/wpeutil.log").find("SetMuiLanguage en-US"));
    EXPECT_NE(std::string::npos, ReadFile(x + "/Norv/Language.ini").find("Lang=en-US"));
}

TEST(RecoveryRun, KilledAtManyMomentsAndStartedAgainEndsLikeAnUninterruptedRun)
{
    TempDir w("halcyon-recovery-kill");
    const std::string reference = w / "reference";
    fs::create_directories(reference);
    pid_t ref = test::StartHalcyon(reference, Recovery(reference, {Disc(1), Disc(2)}), reference + "/run.out");

    // Runs killed from the media check to the last module (half of them from
    // the USB medium), all at once, then started again until they finish.
    const std::vector<int> delaysMs = {30, 100, 200, 350, 500, 700, 1000, 1400, 2000, 3000};
    std::vector<std::string> works;
    std::vector<std::vector<std::string>> args;
    std::vector<pid_t> pids;
    const auto t0 = std::chrono::steady_clock::now();
    for (size_t i = 0; i < delaysMs.size(); ++i) {
        works.push_back(w / ("kill" + std::to_string(delaysMs[i])));
        fs::create_directories(works.back());
        args.push_back(Recovery(works.back(), i % 2 ? std::vector<std::string>{Usb()}
                                                    : std::vector<std::string>{Disc(2), Disc(1)}));
        pids.push_back(test::StartHalcyon(works.back(), args.back(), works.back() + "/run.out"));
    }
    for (size_t i = 0; i < pids.size(); ++i) {
        std::this_thread::sleep_until(t0 + std::chrono::milliseconds(delaysMs[i]));
        test::KillHalcyon(pids[i]);
    }
    ASSERT_EQ(0, test::WaitHalcyon(ref)) << ReadFile(reference + "/run.out");
    for (int attempt = 0; attempt < 3; ++attempt) {
        for (size_t i = 0; i < works.size(); ++i)
            pids[i] = pids[i] ? test::StartHalcyon(works[i], args[i], works[i] + "/run.out") : 0;
        for (size_t i = 0; i < works.size(); ++i)
            if (pids[i] && test::WaitHalcyon(pids[i]) == 0)
                pids[i] = 0;
    }

    const std::string expected = Registry(reference + "/machine", kModules);
    auto expectedFiles = Files(reference + "/target");
    expectedFiles.erase("setup-runs.log"); // an installer killed half-way runs again
    for (size_t i = 0; i < works.size(); ++i) {
        SCOPED_TRACE("killed after " + std::to_string(delaysMs[i]) + " ms");
        ASSERT_EQ(0, pids[i]) << ReadFile(works[i] + "/run.out");
        EXPECT_EQ(expected, Registry(works[i] + "/machine", kModules));
        EXPECT_EQ("", Registry(works[i] + "/machine",
                               "SOFTWARE\\Norv Corporation\\Installed Software\\InstallerStatus"));
        auto files = Files(works[i] + "/target");
        files.erase("setup-runs.log");
        EXPECT_EQ(expectedFiles, files);
    }
}

TEST(RecoveryRun, MediaFaultsAreToldApartAndTheRunResumesAtTheFailedStage)
{
    TempDir w("halcyon-recovery-faults");
    const std::string empty = w / "not-a-medium", again = w / "disc1-again", corrupt = w / "disc2-corrupt";
    fs::create_directories(empty);
    fs::copy(Disc(1), again, fs::copy_options::recursive);
    fs::copy(Disc(2), corrupt, fs::copy_options::recursive);
    {
        std::fstream part(corrupt + "/sources/Norv3.nr2", std::ios::in | std::ios::out | std::ios::binary);
        part.seekp(200);
        part.write("\x13\x37\x13\x37\x13\x37\x13\x37", 8);
    }
    struct Case {
        const char *name;
        std::vector<std::string> media, extra;
        const char *said;
    };
    const Case cases[] = {
        {"missing", {Disc(1)}, {}, "medium 2 (RDVD2) is missing"},
        {"no-marker", {Disc(1), empty}, {}, "is not a recovery medium"},
        {"other-type", {Disc(1), Usb()}, {}, "is RUFD1, the others are RDVD media"},
        {"twice", {Disc(1), again}, {}, "are both RDVD1"},
        {"corrupt-part", {Disc(1), corrupt}, {}, "parts do not join"},
        {"language", {Usb()}, {"--language", "xx-XX"}, "the language xx-XX is not offered"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string work = w / c.name;
        fs::create_directories(work);
        EXPECT_EQ(1, RunToEnd(work, Recovery(work, c.media, c.extra)));
        EXPECT_NE(std::string::npos, ReadFile(work + "/run.out").find(c.said)) << ReadFile(work + "/run.out");
    }

    // On a terminal the missing disc is asked for; a folder that is no medium
    // and the wrong disc are told apart and asked again.
    {
        const std::string work = w / "terminal";
        fs::create_directories(work);
        std::string command = "printf '%s\\n%s\\n%s\\n' '" + empty + "' '" + Disc(1) + "' '" + Disc(2) +
                              "' | script -qec \"" + test::HalcyonBinary() + " recovery-run --media '" + Disc(1) +
                              "' --machine '" + work + "/machine' --target '" + work + "/target'\" /dev/null 2>&1";
        std::string out;
        std::FILE *pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(nullptr, pipe);
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
            out.append(buf, n);
        EXPECT_EQ(0, WEXITSTATUS(::pclose(pipe))) << out;
        for (const char *said : {"Insert medium 2 (RDVD2): its folder", "is not a recovery medium",
                                 "wrong medium: that is RDVD1, not RDVD2", "Machine recovered."})
            EXPECT_NE(std::string::npos, out.find(said)) << said << "\n" << out;
    }

    // Given the missing disc, the stopped run goes on from the copy.
    const std::string work = w / "missing";
    fs::remove(work + "/run.out");
    ASSERT_EQ(0, RunToEnd(work, Recovery(work, {Disc(1), Disc(2)}))) << ReadFile(work + "/run.out");
    const std::string out = ReadFile(work + "/run.out");
    EXPECT_NE(std::string::npos, out.find("{\"name\":\"check\",\"seconds\":0.000,\"code\":0,\"skipped\":true}")) << out;
    EXPECT_NE(std::string::npos, out.find("{\"name\":\"copy\",\"seconds\":")) << out;
}

// An installer that fails stops both runs with its module named; the
// recovery run does not report a module the engine carried past as restored.
TEST(RecoveryRun, AFailingInstallerFailsBothRunsNamingItsModule)
{
    TempDir w("halcyon-runs-installer");
    const std::string share = w / "share";
    fs::copy(Share(), share, fs::copy_options::recursive);
    const std::string content = w / "failing";
    test::WriteFile(content + "/setup.sh", "#!/bin/sh\nexit 1\n");
    fs::permissions(content + "/setup.sh", fs::perms::owner_all);
    support::wim::WimImageSpec spec;
    spec.sourceFolder = content;
    spec.description = "MODULE";
    spec.releaseId = "300370";
    for (const std::string &mod : {share + "/sources/data/300370/300370.mod",
                                  share + "/recovery/rdvd2/sources/data/300370/300370.mod"})
        ASSERT_EQ(0, support::wim::CreateWim(mod, spec));

    const std::string factory = w / "factory", recovery = w / "recovery";
    fs::create_directories(factory + "/machine");
    fs::create_directories(recovery);
    ::setenv("HALCYON_MACHINE", (factory + "/machine").c_str(), 1);
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "BLID", "NX500A0001"));
    ::unsetenv("HALCYON_MACHINE");
    EXPECT_EQ(1, RunToEnd(factory, {"factory-run", "--json", "--media", share, "--machine", factory + "/machine",
                                    "--target", factory + "/target"}));
    EXPECT_NE(std::string::npos,
              ReadFile(factory + "/run.out").find("\"failedStage\":\"modules\",\"why\":\"while installing Media Codecs\""))
        << ReadFile(factory + "/run.out");
    EXPECT_EQ(1, RunToEnd(recovery, Recovery(recovery, {share + "/recovery/rdvd1", share + "/recovery/rdvd2"})));
    EXPECT_NE(std::string::npos, ReadFile(recovery + "/run.out")
                                     .find("\"failedStage\":\"modules\",\"why\":\"failed: Media Codecs (exit code 1), "
                                           "code 29\""))
        << ReadFile(recovery + "/run.out");
}

} // namespace

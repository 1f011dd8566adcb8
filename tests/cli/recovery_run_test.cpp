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

#include <wimlib.h>

#include "platform/machine.h"
#include "support/wim/wim_builder.h"
#include "tests/common/link_escape.h"
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
    // The discs of another set (their description differs), media whose
    // marker numbers no set has, and a folder no run may touch.
    const std::string other1 = w / "other-set/disc1", other2 = w / "other-set/disc2", canary = w / "canary";
    for (const auto &[from, to] : {std::pair{Disc(1), other1}, std::pair{Disc(2), other2}}) {
        fs::create_directories(to);
        fs::copy(from, to, fs::copy_options::recursive);
        test::WriteFile(to + "/sources/nrvhdrcv.ini", ReadFile(from + "/sources/nrvhdrcv.ini") + "[Set]\r\nName=B\r\n");
    }
    for (const char *marker : {"RDVD99999999999", "RDVD2000000000"})
        test::WriteFile(w / ("planted/" + std::string(marker) + "/sources/" + marker), "");
    test::WriteFile(canary + "/keep.txt", "canary");
    const auto canaryBefore = Files(canary);
    struct Case {
        const char *name;
        std::vector<std::string> media, extra;
        std::string said;
    };
    const Case cases[] = {
        {"missing", {Disc(1)}, {}, "medium 2 (RDVD2) is missing"},
        {"no-marker", {Disc(1), empty}, {}, "is not a recovery medium"},
        {"other-type", {Disc(1), Usb()}, {}, "is RUFD1, the others are RDVD media"},
        {"twice", {Disc(1), again}, {}, "are both RDVD1"},
        {"corrupt-part", {Disc(1), corrupt}, {}, "parts do not join"},
        {"other-set", {Disc(1), other2}, {}, other2 + " belongs to another recovery set"},
        {"huge-number", {Disc(1), w / "planted/RDVD99999999999"}, {}, "is RDVD99999999999, but the set has 2 media"},
        {"huge-alloc", {Disc(1), w / "planted/RDVD2000000000"}, {}, "is RDVD2000000000, but the set has 2 media"},
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
        std::string command = "printf '%s\\n%s\\n%s\\n%s\\n%s\\n' '" + empty + "' '" +
                              (w / "planted/RDVD99999999999") + "' '" + Disc(1) + "' '" + other2 + "' '" + Disc(2) +
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
                                 "is RDVD99999999999, but the set has 2 media",
                                 "wrong medium: that is RDVD1, not RDVD2", "belongs to another recovery set",
                                 "Machine recovered."})
            EXPECT_NE(std::string::npos, out.find(said)) << said << "\n" << out;
    }

    // Given the missing disc, the stopped run goes on from the copy.
    const std::string work = w / "missing";
    fs::remove(work + "/run.out");
    ASSERT_EQ(0, RunToEnd(work, Recovery(work, {Disc(1), Disc(2)}))) << ReadFile(work + "/run.out");
    const std::string out = ReadFile(work + "/run.out");
    EXPECT_NE(std::string::npos, out.find("{\"name\":\"check\",\"seconds\":0.000,\"code\":0,\"skipped\":true}")) << out;
    EXPECT_NE(std::string::npos, out.find("{\"name\":\"copy\",\"seconds\":")) << out;

    // The run stopped at its foundation image goes on only with its own set:
    // another set is refused naming both, its own ends the run.
    const std::string stopped = w / "corrupt-part";
    EXPECT_EQ(1, RunToEnd(stopped, Recovery(stopped, {other1, other2})));
    const std::string refused = ReadFile(stopped + "/run.out");
    for (const std::string &said :
         {other1 + " belongs to another recovery set", "than the one this run began with, " + Disc(1)})
        EXPECT_NE(std::string::npos, refused.find(said)) << said << "\n" << refused;
    ASSERT_EQ(0, RunToEnd(stopped, Recovery(stopped, {Disc(1), Disc(2)}))) << ReadFile(stopped + "/run.out");
    EXPECT_EQ(canaryBefore, Files(canary));
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

// Replaces entries of image `index` of the WIM by symbolic links (path in
// the image, link target), keeping its tags and its integrity table.
void PlantLinks(const std::string &wimPath, int index, const std::vector<std::pair<std::string, std::string>> &links,
                const std::string &scratch)
{
    std::vector<std::string> sources, paths;
    fs::create_directories(scratch);
    for (size_t i = 0; i < links.size(); ++i) {
        sources.push_back(scratch + "/link" + std::to_string(i));
        fs::create_symlink(links[i].second, sources.back());
        paths.push_back(links[i].first);
    }
    std::vector<wimlib_update_command> commands(2 * links.size());
    for (size_t i = 0; i < links.size(); ++i) {
        wimlib_update_command &del = commands[2 * i];
        del.op = WIMLIB_UPDATE_OP_DELETE;
        del.delete_.wim_path = paths[i].data();
        del.delete_.delete_flags = WIMLIB_DELETE_FLAG_FORCE | WIMLIB_DELETE_FLAG_RECURSIVE;
        wimlib_update_command &add = commands[2 * i + 1];
        add.op = WIMLIB_UPDATE_OP_ADD;
        add.add.fs_source_path = sources[i].data();
        add.add.wim_target_path = paths[i].data();
        add.add.add_flags = WIMLIB_ADD_FLAG_NORPFIX;
    }
    WIMStruct *wim = nullptr;
    ASSERT_EQ(0, wimlib_open_wim(wimPath.c_str(), 0, &wim));
    EXPECT_EQ(0, wimlib_update_image(wim, index, commands.data(), commands.size(), 0));
    EXPECT_EQ(0, wimlib_overwrite(wim, WIMLIB_WRITE_FLAG_CHECK_INTEGRITY | WIMLIB_WRITE_FLAG_REBUILD, 0));
    wimlib_free(wim);
}

// Moves the file outside (into the canary) and leaves a link to it in its place.
void LinkOutside(const std::string &file, const std::string &outside)
{
    fs::rename(file, outside);
    fs::create_symlink(outside, file);
}

// Hostile media: the environment image or the push-button-reset image
// carries links to files and folders outside every root, or a scrambled
// module image on the media is a link to one outside. Neither run writes
// through them (canaries untouched) nor says it succeeded.
TEST(RecoveryRun, LinksTheMediaCarryAreNeverWrittenThrough)
{
    TempDir w("halcyon-hostile-media");
    enum class Planted { Environment, ResetImage, ModuleImage };
    struct Row {
        const char *name;
        Planted planted;
        bool factory; // the factory run on the share, else the recovery run on the discs
        const char *said;
    } rows[] = {
        {"environment", Planted::Environment, false, "\"failedStage\":\"language\""},
        {"reset-image", Planted::ResetImage, false, "\"failedStage\":\"image\""},
        {"module-recovery", Planted::ModuleImage, false, "\"failedStage\":\"modules\""},
        {"module-factory", Planted::ModuleImage, true, "\"failedStage\":\"modules\""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string work = w / row.name, disc1 = work + "/rdvd1", disc2 = work + "/rdvd2";
        const std::string share = work + "/share";
        fs::create_directories(work + "/scratch");
        if (row.factory) {
            fs::copy(Share(), share, fs::copy_options::recursive);
        } else {
            fs::copy(Disc(1), disc1, fs::copy_options::recursive);
            fs::copy(Disc(2), disc2, fs::copy_options::recursive);
        }
        // The canary is snapshot once the links are planted (a moved image is part of it).
        const std::string outside = work + "/canary";
        fs::create_directories(outside);
        if (row.planted == Planted::Environment) {
            for (const std::string &wim : {disc1 + "/sources/boot.wim", disc1 + "/sources/data/300200/winre.wim"})
                PlantLinks(wim, 1,
                           {{"Norv/Language.ini", outside + "/canary.txt"},
                            {"Norv/Plugins/logs/MuiChooser_log.txt", outside + "/sub/keep.txt"}},
                           work + "/scratch/" + fs::path(wim).parent_path().filename().string());
        } else if (row.planted == Planted::ResetImage) {
            // Joined, changed and cut again as the media maker cuts it.
            const std::string norv = work + "/Norv.wim";
            std::string joined;
            for (const std::string &part : {disc1 + "/sources/Norv1.nr2", disc1 + "/sources/Norv2.nr2",
                                            disc2 + "/sources/Norv3.nr2"})
                joined += ReadFile(part);
            test::WriteFile(norv, joined);
            PlantLinks(norv, 2, {{"Windows/System32", outside}}, work + "/scratch");
            const std::string bytes = ReadFile(norv);
            const size_t piece = (bytes.size() + 2) / 3;
            for (int i = 0; i < 3; ++i)
                test::WriteFile((i < 2 ? disc1 : disc2) + "/sources/Norv" + std::to_string(i + 1) + ".nr2",
                                bytes.substr(std::min(bytes.size(), piece * i), piece));
        } else {
            // The scrambled image of the Touchpad Driver module.
            const std::string rel = "/sources/data/300360/300360.mod";
            const std::string image = row.factory               ? share + rel
                                      : fs::exists(disc1 + rel) ? disc1 + rel
                                                                : disc2 + rel;
            LinkOutside(image, outside + "/outside.mod");
        }
        test::Canary canary(outside);
        int rc = 0;
        if (row.factory) {
            const std::string machine = work + "/machine";
            fs::create_directories(machine);
            ::setenv("HALCYON_MACHINE", machine.c_str(), 1);
            EXPECT_TRUE(platform::SetMachineSetting("Identity", "BLID", "NX500A0001"));
            ::unsetenv("HALCYON_MACHINE");
            rc = RunToEnd(work, {"factory-run", "--json", "--media", share, "--machine", machine, "--target",
                                 work + "/target"});
        } else {
            rc = RunToEnd(work, Recovery(work, {disc1, disc2}));
        }
        EXPECT_EQ(1, rc);
        const std::string out = ReadFile(work + "/run.out");
        EXPECT_NE(std::string::npos, out.find(row.said)) << out;
        EXPECT_NE(std::string::npos, out.find("\"code\":9001")) << out;
        EXPECT_EQ(std::string::npos, out.find("Machine recovered.")) << out;
        EXPECT_EQ("", canary.Changes());
    }
}

} // namespace

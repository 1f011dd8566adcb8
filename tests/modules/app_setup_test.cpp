// Application setup: the application image applied once and its
// applications and drivers installed, filtered, version-checked and
// registered; the single-application verb; the failure rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <sys/stat.h>

#include "engine/modules/app_setup.h"
#include "engine/modules/installed_software_keys.h"
#include "engine/modules/installer_arguments.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/machine_prefix.h"
#include "support/files/confined_path.h"
#include "support/ini/ini_store.h"
#include "support/wim/faulty_wim_api.h"
#include "support/wim/wim_builder.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/link_escape.h"
#include "tests/common/mod_media.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

namespace {

using support::wim::WimCall;

// One "Image App%d" section and what its folder in the image holds.
struct App {
    std::string id = "500100";
    std::string installerType = "EXE/BATCH";
    std::string partType = "Application";
    std::string path;         // empty: "apps\" + id
    std::string setupFile = "setup.sh";
    std::string cmdLineArgs;
    std::string label;        // empty: "App " + id
    std::string partId;       // empty: "P" + id
    std::string temporary = "FALSE";
    std::string recoverable = "True";
    std::string verCheckAfter = "1.0.0";
    std::string versionPath;  // empty: the image's version file of this app
    bool inImage = true;

    std::string Path() const { return path.empty() ? "apps\\" + id : path; }
    std::string Label() const { return label.empty() ? "App " + id : label; }
    std::string Part() const { return partId.empty() ? "P" + id : partId; }
};

std::string HostPart(std::string p)
{
    for (char &c : p)
        if (c == '\\')
            c = '/';
    return p;
}

class AppSetupTest : public ::testing::Test {
protected:
    MachineScope machine;
    std::string root, source, dest, apply, plan, appIni, log, runLog;
    ProgressLog progress;

    void SetUp() override
    {
        // Below the machine's C: drive, so that version paths can be
        // written as Windows paths.
        root = platform::DriveFolder('C') + "/t";
        source = root + "/src";
        dest = root + "/dest";
        apply = root + "/apply";
        plan = root + "/halcyon.ini";
        appIni = root + "/apps.ini";
        log = root + "/app.log";
        runLog = root + "/runs.log";
        for (const std::string &d : {source, dest, apply})
            fs::create_directories(d);
    }

    // The version file an application carries, as a Windows path below the
    // apply folder.
    static std::string VersionFile(const App &a) { return "C:\\t\\apply\\" + a.Path() + "\\version.txt"; }

    void WritePlan(const std::string &imagePath = "images\\fnd")
    {
        support::CMemoryIniIO ini;
        ini.WriteString("Image", "ReleaseName", "Foundation");
        ini.WriteString("Image", "PathToRelease", imagePath);
        ini.WriteString("Image", "ReleaseID", "FND100");
        ini.WriteString("Image", "BLID", "ABC1234567");
        ini.WriteString("Image", "RMID", "RM12345678");
        ASSERT_TRUE(ini.SaveToFile(plan));
    }

    void WriteAppIni(const std::vector<App> &apps, bool end = true)
    {
        support::CMemoryIniIO ini;
        int n = 1;
        for (const App &a : apps) {
            const std::string s = "Image App" + std::to_string(n++);
            ini.WriteString(s, "ReleaseName", "Release " + a.id);
            ini.WriteString(s, "ReleaseID", a.id);
            ini.WriteString(s, "PartId", a.Part());
            ini.WriteString(s, "InstallerType", a.installerType);
            ini.WriteString(s, "PathToRelease", a.Path());
            ini.WriteString(s, "SetupFile", a.setupFile);
            ini.WriteString(s, "CmdLineArgs", a.cmdLineArgs);
            ini.WriteString(s, "MajorVersion", "1");
            ini.WriteString(s, "DetailedVersion", "1.0.0." + a.id);
            ini.WriteString(s, "BasePlus", "True");
            ini.WriteString(s, "VerCheckAfter", a.verCheckAfter);
            ini.WriteString(s, "VersionPath", a.versionPath.empty() ? VersionFile(a) : a.versionPath);
            ini.WriteString(s, "VerificationType", "None");
            ini.WriteString(s, "VerificationMode", "None");
            ini.WriteString(s, "Temporary", a.temporary);
            ini.WriteString(s, "Recoverable", a.recoverable);
            ini.WriteString(s, "PartType", a.partType);
            ini.WriteString(s, "CustomerLabel", a.Label());
            ini.WriteString(s, "TotalSize", "10");
        }
        if (end)
            ini.WriteString("Image App" + std::to_string(n), "End", "True");
        ASSERT_TRUE(ini.SaveToFile(appIni));
    }

    // Lays out an application's folder below `base` (host path).
    void LayOut(const std::string &base, const App &a) const
    {
        const std::string folder = base + "/" + HostPart(a.Path());
        fs::create_directories(folder);
        WriteFile(folder + "/version.txt", "1.0.0\n");
        if (a.installerType == "EXE/BATCH") {
            const std::string script = folder + "/" + a.setupFile;
            std::ostringstream s;
            s << "#!/bin/sh\nline=\"" << a.id << " cwd=$(pwd) args=\"\n"
              << "for x in \"$@\"; do line=\"$line[$x]\"; done\necho \"$line\" >> '" << runLog << "'\n";
            WriteFile(script, s.str());
            ::chmod(script.c_str(), 0755);
        } else {
            WriteFile(folder + "/driver.inf", "[Version]\n");
        }
    }

    // The application image in source\images\fnd and both INI files.
    void Make(const std::vector<App> &apps, bool end = true)
    {
        const std::string staging = root + "/staging";
        fs::create_directories(staging);
        for (const App &a : apps)
            if (a.inImage)
                LayOut(staging, a);
        fs::create_directories(source + "/images/fnd");
        support::wim::WimImageSpec spec;
        spec.sourceFolder = staging;
        spec.name = "Applications";
        std::string error;
        ASSERT_EQ(support::wim::CreateWim(source + "/images/fnd/fnd100.app", spec,
                                          support::wim::WimCompression::None, &error),
                  0)
            << error;
        fs::remove_all(staging);
        WritePlan();
        WriteAppIni(apps, end);
    }

    int32_t Call(const std::string &installerType = "", uint64_t options = 0, int32_t start = 1,
                 const std::string &partType = "", const std::string &temporary = "")
    {
        return AppSetupX(plan.c_str(), appIni.c_str(), source.c_str(), dest.c_str(), apply.c_str(),
                         installerType.c_str(), partType.c_str(), "", temporary.c_str(), log.c_str(), start, options,
                         &ProgressLog::Callback, reinterpret_cast<uintptr_t>(&progress));
    }

    std::string LogText() const { return ReadFile(log); }
    bool LogHas(const std::string &text) const { return LogText().find(text) != std::string::npos; }
    std::string Runs() const { return fs::exists(runLog) ? ReadFile(runLog) : ""; }

    static std::string Reg(const std::string &key, const char *value)
    {
        std::string v;
        return modules::ReadRegString(key, value, v) == 0 ? v : "<absent>";
    }
    static std::string AppKey(const App &a, const char *base) { return base + a.Label() + " " + a.Part(); }

    std::string ProgressText() const
    {
        std::string out;
        for (const auto &c : progress.calls)
            out += "(" + std::to_string(c.index) + "," + std::to_string(c.total) + "," + c.label + ")";
        return out;
    }
};

App Exe(const std::string &id)
{
    App a;
    a.id = id;
    return a;
}

App Driver(const std::string &id)
{
    App a;
    a.id = id;
    a.installerType = "INF";
    a.partType = "Driver";
    a.path = "drivers\\" + id;
    a.setupFile = "driver.inf";
    return a;
}

TEST_F(AppSetupTest, AppliesTheImageInstallsRegistersAndReportsEachApplication)
{
    App exe = Exe("500101");
    App drv = Driver("500102");
    Make({exe, drv});
    ASSERT_EQ(Call(), RETURN_SUCCESS) << LogText();

    // The installer ran in the applied image, without parameters.
    EXPECT_EQ(Runs(), "500101 cwd=" + apply + "/apps/500101 args=\n");
    EXPECT_TRUE(fs::exists(dest + "/Windows/Drivers/Inf/App 500102/driver.inf"));

    const std::string appKey = AppKey(exe, modules::kApplicationsKey);
    EXPECT_EQ(Reg(appKey, "VersionCheckAfterInstallation"), "1.0.0");
    EXPECT_EQ(Reg(appKey, "VersionPath"), VersionFile(exe));
    EXPECT_EQ(Reg(appKey, "MinorDetailedVersion"), "1.0.0.500101");
    EXPECT_EQ(Reg(appKey, "DetailedVersion"), "<absent>");
    EXPECT_EQ(Reg(appKey, "InstallMode"), "Recovery");
    EXPECT_EQ(Reg(AppKey(drv, modules::kDriversKey), "InstallMode"), "Recovery");

    EXPECT_EQ(ProgressText(), "(-1,0,)(0,2,App 500101)(0,0,App 500101)(1,2,App 500101)"
                              "(1,2,App 500102)(0,0,App 500102)(2,2,App 500102)");
    const std::string text = LogText();
    EXPECT_LT(text.find("AppSetupX Begin"), text.find("Installing Applications and Drivers..."));
    EXPECT_LT(text.find("Installing: Release 500101"), text.find("Installing: Release 500102"));
    EXPECT_NE(text.find("AppSetupX End"), std::string::npos);
    // The arguments record lives only while the verb runs.
    EXPECT_EQ(Reg(modules::kInstallerArgumentsKey, "IniFile"), "<absent>");
}

TEST_F(AppSetupTest, FailedVersionCheckLeavesNoKeyEvenOneFromAnEarlierRun)
{
    App a = Exe("500111");
    a.verCheckAfter = "2.0.0";
    Make({a});
    const std::string key = AppKey(a, modules::kApplicationsKey);
    ASSERT_EQ(modules::WriteRegString(key, "InstallMode", "Recovery"), 0);
    ASSERT_EQ(Call(), RETURN_SUCCESS);
    EXPECT_EQ(Reg(key, "InstallMode"), "<absent>");
    EXPECT_EQ(Runs(), "500111 cwd=" + apply + "/apps/500111 args=\n");
    // The run still says the application is done.
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back().index, 1);
}

TEST_F(AppSetupTest, FiltersDecideTheCountAndTheSectionNumberIsTheIndex)
{
    App a = Exe("500121");
    App d = Driver("500122");
    App b = Exe("500123");
    b.temporary = "TRUE";
    Make({a, d, b});

    // Only drivers: counted and installed alone, index 2 of a count of 1.
    ASSERT_EQ(Call("inf", 0x100), RETURN_SUCCESS);
    EXPECT_EQ(Runs(), "");
    EXPECT_EQ(ProgressText(), "(-1,0,)(1,1,App 500122)(0,0,App 500122)(2,1,App 500122)");

    // Temporary filter with alternatives, starting at section 2.
    progress.calls.clear();
    ASSERT_EQ(Call("", 0x200, 2, "", "true|yes"), RETURN_SUCCESS);
    EXPECT_EQ(Runs(), "500123 cwd=" + apply + "/apps/500123 args=\n");
    EXPECT_EQ(ProgressText(), "(-1,0,)(2,1,App 500123)(0,0,App 500123)(3,1,App 500123)");

    // Bits this verb does not know (BasePlus filter 0x100000) change nothing.
    progress.calls.clear();
    ASSERT_EQ(Call("", 0x80 | 0x100000, 1, "Driver"), RETURN_SUCCESS);
    EXPECT_EQ(ProgressText(), "(-1,0,)(1,1,App 500122)(0,0,App 500122)(2,1,App 500122)");
}

TEST_F(AppSetupTest, ApplicationFailuresEndTheRun)
{
    App unknownType = Exe("500131");
    unknownType.installerType = "MSI";
    Make({unknownType});
    EXPECT_EQ(Call(), RETURN_UNKNOWN_INSTALLER_TYPE);
    EXPECT_TRUE(LogHas("Error: Unknown installer type MSI"));

    App otherPart = Exe("500132");
    otherPart.partType = "Module";
    Make({otherPart});
    EXPECT_EQ(Call(), 76);
    EXPECT_TRUE(LogHas("Error: Unknown part type Module"));
    EXPECT_EQ(Runs(), "500132 cwd=" + apply + "/apps/500132 args=\n"); // installed before the check

    App missing = Exe("500133");
    missing.inImage = false;
    App never = Exe("500134");
    Make({missing, never});
    EXPECT_EQ(Call(), RETURN_MODULE_EXE);
    EXPECT_TRUE(LogHas("(RETURN_MODULE_EXE)"));
    EXPECT_EQ(Runs().find("500134"), std::string::npos);

    App noFolder = Driver("500135");
    noFolder.inImage = false;
    Make({noFolder});
    EXPECT_EQ(Call(), RETURN_COPY_FOLDER);
    EXPECT_TRUE(LogHas("ERROR: while copying folder"));
}

TEST_F(AppSetupTest, PlanAndFolderFailures)
{
    Make({Exe("500141")});
    auto call = [&](std::string p, std::string ini, std::string src, std::string dst, std::string app) {
        return AppSetupX(p.c_str(), ini.c_str(), src.c_str(), dst.c_str(), app.c_str(), "", "", "", "", log.c_str(), 1,
                         0, nullptr, 0);
    };
    const std::string none = root + "/none";
    // A log that cannot be written ends the run at its first guarded line.
    EXPECT_EQ(AppSetupX(plan.c_str(), appIni.c_str(), source.c_str(), dest.c_str(), apply.c_str(), "", "", "", "",
                        (none + "/app.log").c_str(), 1, 0, nullptr, 0),
              RETURN_LOG_OPEN_FAILED);
    EXPECT_EQ(SingleAppSetupX_s("Image App1", appIni.c_str(), source.c_str(), dest.c_str(), "", "", "", "",
                                (none + "/app.log").c_str(), 0, nullptr, nullptr, nullptr, 0, false),
              RETURN_LOG_OPEN_FAILED);
    EXPECT_EQ(Runs(), "");
    EXPECT_EQ(call(none, appIni, source, dest, apply), RETURN_UNABLE_OPEN_INI);
    EXPECT_TRUE(LogHas("Load halcyon.ini file failed. (RETURN_UNABLE_OPEN_INI)"));
    EXPECT_EQ(call(plan, none, source, dest, apply), RETURN_UNABLE_OPEN_INI);
    EXPECT_TRUE(LogHas("ModuleIni file path: " + none));
    EXPECT_EQ(call(plan, appIni, none, dest, apply), RETURN_SOURCE_DIR_NOT_EXIST);
    EXPECT_TRUE(LogHas("sSourceDir" + none + "\\"));
    EXPECT_EQ(call(plan, appIni, source, none, apply), RETURN_DEST_DIR_NOT_EXIST);
    EXPECT_EQ(call(plan, appIni, source, dest, none), RETURN_APPLY_DIR_NOTEXIST);
    EXPECT_TRUE(LogHas("Error: Can not find the apply path. (RETURN_APPLY_DIR_NOTEXIST)"));

    // An image record without its release folder; then one naming a folder
    // without an application image.
    support::CMemoryIniIO bad;
    bad.WriteString("Image", "ReleaseName", "Foundation");
    ASSERT_TRUE(bad.SaveToFile(plan));
    EXPECT_EQ(call(plan, appIni, source, dest, apply), RETURN_ERROR_LOAD_GENERIC_IMAGE);
    fs::create_directories(source + "/images/empty");
    WritePlan("images\\empty");
    EXPECT_EQ(call(plan, appIni, source, dest, apply), 39);
    EXPECT_TRUE(LogHas("Error: Can not find the app file."));

    // A section missing required keys stops the count with its code.
    WritePlan();
    support::CMemoryIniIO apps;
    ASSERT_TRUE(apps.LoadFile(appIni));
    apps.WriteString("Image App1", "ReleaseName", "X"); // shorter than required
    ASSERT_TRUE(apps.SaveToFile(appIni));
    EXPECT_EQ(call(plan, appIni, source, dest, apply), 98);
    EXPECT_TRUE(LogHas("It does not reach end of the module"));
    EXPECT_EQ(Runs(), "");
}

TEST_F(AppSetupTest, UnsafePlanValuesAreRefusedBeforeAnythingIsTouched)
{
    App evil = Driver("500151");
    evil.label = "..\\..\\escaped";
    Make({evil});
    EXPECT_EQ(Call(), RETURN_UNSAFE_PATH);
    EXPECT_TRUE(LogHas("(RETURN_UNSAFE_PATH)"));
    EXPECT_FALSE(fs::exists(dest + "/Windows/escaped"));
    EXPECT_FALSE(fs::exists(dest + "/escaped"));

    App up = Exe("500152");
    up.path = "..\\..\\src";
    Make({up});
    EXPECT_EQ(Call(), RETURN_UNSAFE_PATH);
    EXPECT_EQ(Runs(), "");

    Make({Exe("500153")});
    WritePlan("..\\t\\src\\images\\fnd");
    progress.calls.clear();
    EXPECT_EQ(Call(), RETURN_UNSAFE_PATH);
    EXPECT_TRUE(progress.calls.empty()); // nothing applied
}

// Each imaging failure: 41 and its line; the image is not left applied half
// way without the run stopping.
TEST_F(AppSetupTest, ImagingFailuresReturn41)
{
    Make({Exe("500161")});
    const std::pair<WimCall, const char *> rows[] = {
        {WimCall::CreateFile, "ERROR: while trying to open WIM."},
        {WimCall::SetTemporaryPath, "ERROR: while setting temporary folder."},
        {WimCall::LoadImage, "ERROR: while loading image from WIM."},
        {WimCall::ApplyImage, "ERROR: while trying to mount WIM"},
        {WimCall::CloseImage, "ERROR: while closing handle to WIM Image"},
        {WimCall::CloseFile, "ERROR: while closing handle to WIM file"},
    };
    auto real = support::wim::MakeWimlibApi();
    for (const auto &[call, line] : rows) {
        SCOPED_TRACE(line);
        support::wim::FaultyWimApi faulty(*real);
        faulty.FailOn(call);
        support::wim::ScopedWimApiOverride use(faulty);
        fs::remove(log);
        progress.calls.clear();
        EXPECT_EQ(Call(), RETURN_WIMGAPI_ERROR);
        EXPECT_TRUE(LogHas(line));
        EXPECT_FALSE(LogHas("Installing Applications and Drivers..."));
        EXPECT_EQ(Runs(), "");
        // The temporary path is set before and after the image is loaded.
        if (call == WimCall::CloseFile) {
            EXPECT_EQ(faulty.Calls(WimCall::SetTemporaryPath), 2);
        }
    }
    // The second temporary-path call fails alone too.
    support::wim::FaultyWimApi faulty(*real);
    faulty.FailOn(WimCall::SetTemporaryPath, support::wim::WIM_ERROR_GEN_FAILURE, 2);
    support::wim::ScopedWimApiOverride use(faulty);
    EXPECT_EQ(Call(), RETURN_WIMGAPI_ERROR);
    EXPECT_EQ(faulty.Calls(WimCall::LoadImage), 1);
    EXPECT_EQ(faulty.Calls(WimCall::ApplyImage), 0);
}

TEST_F(AppSetupTest, NoTemporaryFolderForTheImagingLibrary)
{
    Make({Exe("500171")});
    {
        test::EnvScope noTemp("TMPDIR", root + "/no-such-folder");
        EXPECT_EQ(Call(), RETURN_GET_TEMP_PATH);
    }
    EXPECT_TRUE(LogHas("ERROR: unable to get a temporary WIMGAPI directory."));
}

// SingleAppSetupX_s installs from a prepared folder: the source tree holds
// the applications' folders as they are in the image.
class SingleAppSetupTest : public AppSetupTest {
protected:
    uint8_t verified = 7;
    uint32_t result = 99;
    char message[256] = {};

    int32_t Single(const std::string &section, bool noArguments = false)
    {
        return SingleAppSetupX_s(section.c_str(), appIni.c_str(), source.c_str(), dest.c_str(), "EXE/BATCH",
                                 "Application", "True", "FALSE", log.c_str(), 0x80000, &verified, &result, message,
                                 sizeof message, noArguments);
    }
};

TEST_F(SingleAppSetupTest, InstallerRunsWithOrWithoutItsParametersAndReportsTheCheck)
{
    App a = Exe("500201");
    a.cmdLineArgs = "/quiet";
    a.versionPath = "C:\\t\\src\\apps\\500201\\version.txt";
    LayOut(source, a);
    WriteAppIni({a});

    ASSERT_EQ(Single("Image App1"), RETURN_SUCCESS) << LogText();
    EXPECT_EQ(Runs(), "500201 cwd=" + source + "/apps/500201 args=[/quiet]\n");
    EXPECT_EQ(verified, 1);
    EXPECT_EQ(result, 0u);
    const std::string key = AppKey(a, modules::kApplicationsKey);
    EXPECT_EQ(Reg(key, "DetailedVersion"), "1.0.0.500201");
    EXPECT_EQ(Reg(key, "MinorDetailedVersion"), "<absent>");
    EXPECT_EQ(Reg(key, "InstallMode"), "Recovery");
    EXPECT_TRUE(LogHas("SingleAppSetupX_s Start"));
    EXPECT_TRUE(LogHas("Installing Application..."));

    fs::remove(runLog);
    ASSERT_EQ(Single("Image App1", true), RETURN_SUCCESS);
    EXPECT_EQ(Runs(), "500201 cwd=" + source + "/apps/500201 args=\n");

    // A failed check: byte 0, the check's result, the key removed, and no
    // failure for the caller.
    a.verCheckAfter = "9.9";
    WriteAppIni({a});
    ASSERT_EQ(Single("Image App1"), RETURN_SUCCESS);
    EXPECT_EQ(verified, 0);
    EXPECT_NE(result, 0u);
    EXPECT_EQ(Reg(key, "InstallMode"), "<absent>");
}

TEST_F(SingleAppSetupTest, FileCopyAndDriversAndTheirRegistrationKeys)
{
    App copy = Driver("500211");
    copy.installerType = "FILE COPY";
    copy.partType = "Module";
    copy.setupFile = "Tools\\500211";
    copy.versionPath = "Tools\\500211\\version.txt"; // below the destination
    App inf = Driver("500212");
    inf.partType = "Firmware";
    inf.versionPath = "C:\\t\\dest\\Windows\\Drivers\\App 500212\\version.txt";
    LayOut(source, copy);
    LayOut(source, inf);
    WriteAppIni({copy, inf});

    ASSERT_EQ(Single("Image App1"), RETURN_SUCCESS) << LogText();
    EXPECT_TRUE(fs::exists(dest + "/Tools/500211/driver.inf"));
    EXPECT_EQ(verified, 1);
    EXPECT_EQ(Reg(AppKey(copy, modules::kModulesKey), "VersionPath"), copy.versionPath);

    ASSERT_EQ(Single("Image App2"), RETURN_SUCCESS) << LogText();
    EXPECT_TRUE(fs::exists(dest + "/Windows/Drivers/App 500212/driver.inf"));
    EXPECT_EQ(verified, 1);
    EXPECT_EQ(Reg(AppKey(inf, modules::kOtherKey), "InstallMode"), "Recovery");
}

// Neither verb copies through a symbolic link in the target system.
TEST_F(SingleAppSetupTest, CopiesNeverGoThroughALinkInTheTarget)
{
    App copy = Driver("500221");
    copy.installerType = "FILE COPY";
    copy.partType = "Module";
    copy.setupFile = "Tools\\500221";
    App inf = Driver("500222");
    LayOut(source, copy);
    LayOut(source, inf);
    WriteAppIni({copy, inf});
    struct Row {
        const char *joined; // below the destination
        std::function<int32_t()> run;
    } rows[] = {
        {"Tools/500221", [&] { return Single("Image App1"); }},
        {"Windows/Drivers/App 500222", [&] { return Single("Image App2"); }},
        {"Windows/Drivers/Inf/App 500222", [&] {
             Make({inf});
             return Call();
         }},
    };
    for (const Row &row : rows) {
        auto results = ExpectNoLinkEscape(row.joined, [&](const std::string &) {
            support::RemoveTreeNoFollow(dest);
            fs::create_directories(dest);
            return LinkEscapeScene{dest, row.run};
        });
        for (const auto &r : results)
            EXPECT_EQ(r.rc, RETURN_UNSAFE_PATH) << r.linkAt;
    }
}

TEST_F(SingleAppSetupTest, FailuresAndRefusals)
{
    App missing = Exe("500221");
    missing.inImage = false;
    App unsafe = Exe("500222");
    unsafe.installerType = "FILE COPY";
    unsafe.setupFile = "..\\..\\outside";
    WriteAppIni({missing, unsafe});
    fs::create_directories(source + "/apps/500222");

    EXPECT_EQ(Single("Image App1"), RETURN_MODULE_EXE);
    EXPECT_TRUE(LogHas("Error: call ExecuteProgram function error. (RETURN_MODULE_EXE)"));
    EXPECT_EQ(Single("Image App2"), RETURN_UNSAFE_PATH);
    EXPECT_FALSE(fs::exists(root + "/outside"));
    // A section that is not there ends as an unknown installer type.
    EXPECT_EQ(Single("Image App9"), RETURN_UNKNOWN_INSTALLER_TYPE);
    EXPECT_TRUE(LogHas("ERROR: Unknown installer type "));
    EXPECT_EQ(verified, 0);

    const std::string none = root + "/none";
    EXPECT_EQ(SingleAppSetupX_s("Image App1", none.c_str(), source.c_str(), dest.c_str(), "", "", "", "",
                                log.c_str(), 0, nullptr, nullptr, nullptr, 0, false),
              RETURN_UNABLE_OPEN_INI);
    EXPECT_TRUE(LogHas("Load module ini file failed. (RETURN_UNABLE_OPEN_INI)"));
    EXPECT_EQ(SingleAppSetupX_s("Image App1", appIni.c_str(), none.c_str(), dest.c_str(), "", "", "", "",
                                log.c_str(), 0, nullptr, nullptr, nullptr, 0, false),
              RETURN_SOURCE_DIR_NOT_EXIST);
    EXPECT_EQ(SingleAppSetupX_s("Image App1", appIni.c_str(), source.c_str(), none.c_str(), "", "", "", "",
                                log.c_str(), 0, nullptr, nullptr, nullptr, 0, false),
              RETURN_DEST_DIR_NOT_EXIST);
}

TEST_F(SingleAppSetupTest, NullOutputsAreNotWritten)
{
    App a = Exe("500231");
    a.versionPath = "C:\\t\\src\\apps\\500231\\version.txt";
    LayOut(source, a);
    WriteAppIni({a});
    EXPECT_EQ(SingleAppSetupX_s("Image App1", appIni.c_str(), source.c_str(), dest.c_str(), "", "", "", "",
                                log.c_str(), 0, nullptr, nullptr, nullptr, 0, true),
              RETURN_SUCCESS);
    EXPECT_EQ(Reg(AppKey(a, modules::kApplicationsKey), "InstallMode"), "Recovery");
}

TEST_F(AppSetupTest, CommandShowsALinePerApplication)
{
    Make({Exe("500301"), Driver("500302")});
    std::string out;
    const std::string args = "app-setup --plan '" + plan + "' --app-ini '" + appIni + "' --source '" + source +
                             "' --dest '" + dest + "' --apply '" + apply + "' --log '" + log + "'";
    ASSERT_EQ(RunHalcyon(args, out), 0) << out;
    EXPECT_NE(out.find("application 1 (of 2 selected): installing App 500301"), std::string::npos) << out;
    EXPECT_NE(out.find("application 2 (of 2 selected): done App 500302"), std::string::npos) << out;
    EXPECT_NE(out.find("AppSetupX: all applications done"), std::string::npos) << out;

    ASSERT_EQ(RunHalcyon(args + " --options 0x100 --installer-type MSI", out), 0) << out;
    EXPECT_EQ(out.find("installing"), std::string::npos) << out;
    EXPECT_EQ(RunHalcyon("app-setup --plan '" + root + "/none'", out), 1);
    EXPECT_NE(out.find("AppSetupX returned 2"), std::string::npos) << out;
}

TEST(AppSetupPieces, ShowCommandIsHiddenOnlyForLowerCaseBatchNames)
{
    EXPECT_EQ(modules::AppInstallerShowCommand("setup.bat"), 0);
    EXPECT_EQ(modules::AppInstallerShowCommand("x.bat.BAT"), 0);
    EXPECT_EQ(modules::AppInstallerShowCommand("SETUP.BAT"), 5);
    EXPECT_EQ(modules::AppInstallerShowCommand("setup.cmd"), 5);
    EXPECT_EQ(modules::AppInstallerShowCommand("setup.bat.exe"), 5);
    EXPECT_EQ(modules::AppInstallerShowCommand("setup.exe"), 5);
}

} // namespace

} // namespace halcyon::test

// The EXE/BATCH and FILE COPY installers as the setup verb runs them: image
// found, unscrambled, copied and CRC-checked, applied or mounted, the
// installer run in the right folder, and the clean-up of every failure row.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/image/wim_scramble.h"
#include "engine/modules/exe_batch_installer.h"
#include "engine/modules/target_path.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/wim/faulty_wim_api.h"
#include "tests/modules/mod_setup_fixture.h"

namespace fs = std::filesystem;

namespace halcyon::test {

namespace {

using support::wim::WimCall;

class ModInstallerTest : public ModSetupFixture {
protected:
    // Entries left in MountDir (the mount folders and temporary images).
    std::vector<std::string> MountLeftovers() const
    {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(media.mount))
            names.push_back(e.path().filename().string());
        return names;
    }
    std::string ModuleFolder(const MediaModule &m) const
    {
        return HostChild(media.SourceTree(m.temporary), m.Path());
    }
};

TEST_F(ModInstallerTest, PlainImageIsAppliedInPlaceAndTheInstallerRunsInTheMountFolder)
{
    auto m = Module("300201");
    media.Make({m});
    ASSERT_EQ(media.Call(), RETURN_SUCCESS);
    ASSERT_EQ(media.Runs().size(), 1u);
    EXPECT_NE(media.Runs()[0].find("cwd=" + HostChild(media.mount, "300201")), std::string::npos) << media.Runs()[0];
    EXPECT_TRUE(MountLeftovers().empty());
    EXPECT_FALSE(LogHas("Decrypting WIM"));
    EXPECT_FALSE(image::IsWimScrambled(ModuleFolder(m) + "/300201.mod"));
}

TEST_F(ModInstallerTest, ScrambledImageIsUnscrambledInATemporaryCopy)
{
    auto m = Module("300202");
    m.scrambled = true;
    media.Make({m});
    ASSERT_EQ(media.Call(), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (std::vector<std::string>{"300202"}));
    EXPECT_TRUE(LogHas("Decrypting WIM: " + media.mount + "\\300202.mod"));
    EXPECT_TRUE(image::IsWimScrambled(ModuleFolder(m) + "/300202.mod")) << "the source stays as it was";
    EXPECT_TRUE(MountLeftovers().empty());
}

TEST_F(ModInstallerTest, ModuleFolderCopyIsCrcCheckedBeforeTheApply)
{
    // The folder is named by the release ID, as the plans name them: the
    // copy must not be the folder the image is applied to.
    auto m = Module("300203");
    m.scrambled = true;
    m.crcManifest = true;
    media.Make({m});
    fs::create_directories(media.mount + "/300203.crccopy/stale");
    ASSERT_EQ(media.Call(WithProgress(modules::OPTION_COPY_MODULE_FOLDER)), RETURN_SUCCESS);
    EXPECT_TRUE(LogHas("Comparison Result: 0 - OK"));
    EXPECT_TRUE(LogHas("The dest path exist, it will delete it first, and re-copy dir to it."));
    EXPECT_EQ(media.RunIds(), (std::vector<std::string>{"300203"}));
    EXPECT_TRUE(MountLeftovers().empty());
}

TEST_F(ModInstallerTest, CrcMismatchStopsAFactoryRunAndIsReportedInARecoveryRun)
{
    auto m = Module("300204");
    m.scrambled = true;
    m.crcManifest = true;
    m.pathToRelease = "mods\\crc204";
    media.Make({m});
    test::WriteFile(ModuleFolder(m) + "/extra.txt", "not in the manifest");

    EXPECT_EQ(media.Call(WithProgress(modules::OPTION_COPY_MODULE_FOLDER)), 112);
    EXPECT_TRUE(LogHas("Comparison Result: 1 - NG Error Message: CRC Value is not same."));
    EXPECT_TRUE(media.Runs().empty());

    progress.calls.clear();
    ASSERT_EQ(media.Call(WithProgress(modules::OPTION_COPY_MODULE_FOLDER | modules::OPTION_RECOVERY)),
              RETURN_SUCCESS);
    bool reported = false;
    for (const auto &c : progress.calls)
        reported |= c.index == -2 && c.total == 112 && c.label == m.Label();
    EXPECT_TRUE(reported);
    EXPECT_EQ(media.RunIds(), (std::vector<std::string>{"300204"}));
    EXPECT_EQ(Registration(m, "InstallMode"), "Recovery");
}

TEST_F(ModInstallerTest, ReleaseIdOfTheImageMustMatchThePlan)
{
    auto m = Module("300205");
    m.imageReleaseId = "999999";
    media.Make({m});
    EXPECT_EQ(media.Call(), 57);
    EXPECT_TRUE(LogHas("cModule.sReleaseID: 300205"));
    EXPECT_TRUE(media.Runs().empty());
}

TEST_F(ModInstallerTest, MissingImageAndThePeInstallerInTheModuleFolder)
{
    auto m = Module("300206");
    m.noImage = true;
    media.Make({m});
    EXPECT_EQ(media.Call(), RETURN_FIND_WIM_MODULE);
    EXPECT_TRUE(LogHas("Can not find wim module. (RETURN_FIND_WIM_MODULE)"));

    PlanSettings pe;
    pe.peFamily = true;
    media.WritePlan({m}, pe);
    ASSERT_EQ(media.Call(WithProgress(modules::OPTION_PE_MODULES)), RETURN_SUCCESS);
    ASSERT_EQ(media.Runs().size(), 1u);
    EXPECT_NE(media.Runs()[0].find("cwd=" + ModuleFolder(m)), std::string::npos) << media.Runs()[0];
}

TEST_F(ModInstallerTest, MountedImageIsUnmountedAfterTheInstaller)
{
    auto m = Module("300207");
    m.scrambled = true;
    media.Make({m});
    ASSERT_EQ(media.Call(WithProgress(modules::OPTION_MOUNT_WIM)), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (std::vector<std::string>{"300207"}));
    EXPECT_TRUE(MountLeftovers().empty());
}

TEST_F(ModInstallerTest, KeepMountOptionDeletesTheMountFolderOnlyAfterVerification)
{
    auto verified = Module("300208");
    auto unverified = Module("300209");
    unverified.verificationType = "None";
    media.Make({verified, unverified});
    ASSERT_EQ(media.Call(WithProgress(modules::OPTION_KEEP_MOUNT_UNTIL_VERIFIED)), RETURN_SUCCESS);
    EXPECT_EQ(MountLeftovers(), (std::vector<std::string>{"300209"}));
}

TEST_F(ModInstallerTest, ExitCodeIsHandedBackAndLogged)
{
    auto m = Module("300210");
    m.exitCode = 0;
    m.scriptExtra = "exit 0";
    media.Make({m});
    uint32_t code = 77;
    auto call = WithProgress();
    call.exitCode = &code;
    ASSERT_EQ(media.Call(call), RETURN_SUCCESS);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(LogHas("lInstallRetVal=0"));
    EXPECT_TRUE(LogHas("ReturnCode=0"));
    EXPECT_TRUE(LogHas("System protection setting= "));
}

TEST_F(ModInstallerTest, BatchFilesRunUnderTheShellAndChildrenAreWaitedFor)
{
    auto bat = Module("300212");
    bat.setupFile = "Install.BAT";
    bat.cmdLineArgs = "/s";
    auto parent = Module("300213");
    parent.childSeconds = 3; // outlives the wait below
    PlanSettings settings;
    settings.waitForSetupDelay = "1";
    media.Make({bat, parent}, settings);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(media.Call(), RETURN_SUCCESS);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_EQ(media.RunIds(), (std::vector<std::string>{"300212", "300213"}));
    EXPECT_NE(media.Runs()[0].find("args=[/s]"), std::string::npos);
    EXPECT_TRUE(LogHas("Timed out while waiting for child process")) << media.LogText();
}

#if !defined(_WIN32) // the temporary folder of POSIX (TMPDIR)
TEST_F(ModInstallerTest, NoTemporaryFolderForTheImagingLibrary)
{
    media.Make({Module("300211")});
    {
        EnvScope noTemp("TMPDIR", dir.path() + "/no-such-folder");
        EXPECT_EQ(media.Call(), RETURN_GET_TEMP_PATH);
    }
    EXPECT_TRUE(LogHas("ERROR: unable to get a temporary WIMGAPI directory. (RETURN_GET_TEMP_PATH)"));
}
#endif

// Each imaging failure row: the code, the line, and what is left behind.
struct WimFailureRow {
    WimCall call;
    bool scrambled;
    uint64_t options;
    const char *message;
};

class ModInstallerWimFailureTest : public ModInstallerTest, public ::testing::WithParamInterface<WimFailureRow> {};

TEST_P(ModInstallerWimFailureTest, FailsWith41AndCleansUp)
{
    const WimFailureRow &row = GetParam();
    auto m = Module("300220");
    m.scrambled = row.scrambled;
    media.Make({m});
    auto real = support::wim::MakeWimlibApi();
    support::wim::FaultyWimApi faulty(*real);
    // A full disk, as the imaging layer reports it.
    faulty.FailOn(row.call, support::wim::WIM_ERROR_DISK_FULL);
    int32_t rc;
    {
        support::wim::ScopedWimApiOverride use(faulty);
        rc = media.Call(WithProgress(row.options));
    }
    EXPECT_EQ(rc, RETURN_WIMGAPI_ERROR);
    EXPECT_TRUE(LogHas(row.message)) << media.LogText();
    if (row.call != WimCall::UnmountImage) {
        EXPECT_TRUE(LogHas("GetLastError: 112")) << media.LogText();
    }
    if (row.call == WimCall::UnmountImage) {
        // The image is still mounted (a live mount cannot be deleted): end
        // it for real, as an operator would.
        real->UnmountImage(media.mount + "/300220/", media.mount + "/300220.mod", 1, false);
        fs::remove_all(media.mount + "/300220");
    }
    EXPECT_FALSE(fs::exists(media.mount + "/300220.mod")) << "temporary image left";
    if (row.call == WimCall::ApplyImage || row.call == WimCall::CloseImage || row.call == WimCall::CloseFile) {
        EXPECT_FALSE(fs::exists(media.mount + "/300220")) << "mount folder left";
    }
    EXPECT_TRUE(image::IsWimScrambled(ModuleFolder(m) + "/300220.mod") == row.scrambled);
    EXPECT_EQ(Mark("CurrentItemName"), "<absent>");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ModInstallerWimFailureTest,
    ::testing::Values(WimFailureRow{WimCall::CreateFile, true, 0, "ERROR: while trying to open WIM"},
                      WimFailureRow{WimCall::SetTemporaryPath, true, 0, "ERROR: while setting temporary folder."},
                      WimFailureRow{WimCall::LoadImage, true, 0, "ERROR: while loading image from WIM."},
                      WimFailureRow{WimCall::ApplyImage, true, 0, "ERROR: while trying to mount WIM."},
                      WimFailureRow{WimCall::CloseImage, false, 0, "ERROR: while closing handle to WIM Image."},
                      WimFailureRow{WimCall::CloseFile, true, 0, "ERROR: while closing handle to WIM file."},
                      WimFailureRow{WimCall::MountImage, true, modules::OPTION_MOUNT_WIM,
                                    "ERROR: while trying to mount WIM."},
                      WimFailureRow{WimCall::UnmountImage, true, modules::OPTION_MOUNT_WIM,
                                    "ERROR: while trying to unmount WIM"}));

TEST_F(ModInstallerTest, FileCopyPlacesTheFolderUnderDestDirWithoutItsManifest)
{
    MediaModule m = Module("300230");
    m.installerType = "FILE COPY";
    m.setupFile = "Tools\\Copied";
    m.files = {{"a.txt", "A"}, {"sub/b.txt", "B"}, {"_FS_SWRINFO/crc.info", "x"}};
    MediaModule drive = Module("300231");
    drive.installerType = "FILE COPY";
    drive.setupFile = "\"C:\\Program Files\\Copied\"";
    drive.files = {{"c.txt", "C"}};
    media.Make({m, drive});
    ASSERT_EQ(media.Call(WithProgress()), RETURN_SUCCESS);
    EXPECT_EQ(ReadFile(media.dest + "/Tools/Copied/sub/b.txt"), "B");
    EXPECT_FALSE(fs::exists(media.dest + "/Tools/Copied/_FS_SWRINFO"));
    EXPECT_EQ(ReadFile(platform::HostPath("C:\\Program Files\\Copied\\c.txt")), "C");
    EXPECT_EQ(Registration(m, "InstallMode"), "Factory");
}

TEST_F(ModInstallerTest, FileCopyFailureStopsOrIsReportedOnce)
{
    MediaModule m = Module("300232");
    m.installerType = "FILE COPY";
    m.setupFile = "Copied";
    m.buildMedia = false; // nothing to copy
    media.Make({m});
    EXPECT_EQ(media.Call(), RETURN_COPY_FOLDER);
    EXPECT_TRUE(LogHas("It is not recovery. (RETURN_COPY_FOLDER)"));

    ASSERT_EQ(media.Call(WithProgress(modules::OPTION_RECOVERY)), RETURN_SUCCESS);
    int reports = 0;
    for (const auto &c : progress.calls)
        if (c.index < 0) {
            ++reports;
            EXPECT_EQ(c.index, -2);
            EXPECT_EQ(c.total, RETURN_COPY_FOLDER);
        }
    EXPECT_EQ(reports, 1) << "the ReturnCode check does not report the copy a second time";
    EXPECT_EQ(Registration(m, "InstallMode"), "Recovery");
}

TEST(ModInstallerPieces, ShowCommandAndTargetPaths)
{
    using modules::InstallerShowCommand;
    EXPECT_EQ(InstallerShowCommand("setup.BAT"), 0);
    EXPECT_EQ(InstallerShowCommand("x.Cmd"), 0);
    EXPECT_EQ(InstallerShowCommand("setup.exe"), 5);
    EXPECT_EQ(InstallerShowCommand("bat"), 5);

    using modules::ResolveTargetPath;
    EXPECT_EQ(ResolveTargetPath("Tools\\X", "C:\\Dest\\"), "C:\\Dest\\Tools\\X");
    EXPECT_EQ(ResolveTargetPath("D:\\Apps", "C:\\Dest\\"), "D:\\Apps");
#if defined(_WIN32) // Wine spells the Windows folder C:\windows
    EXPECT_TRUE(platform::EqualsNoCase(ResolveTargetPath("\"%windir%\\Help\"", "C:\\Dest\\"), "C:\\Windows\\Help"));
#else
    EXPECT_EQ(ResolveTargetPath("\"%windir%\\Help\"", "C:\\Dest\\"), "C:\\Windows\\Help");
#endif
    EXPECT_EQ(ResolveTargetPath("%PROGRAMFILES64%\\App", "C:\\Dest\\"), "C:\\Program Files\\App");
    EXPECT_EQ(modules::PathRoot("\\\\server\\share\\x"), "\\\\server\\share");
    EXPECT_EQ(modules::PathRoot("relative\\x"), "");
}

} // namespace

} // namespace halcyon::test

// Which modules a call installs and how their results are judged: the
// caller's filters, "Data" and in-box modules, exit codes (3010 through the
// process layer's fake), tolerated releases, version checks and the reports
// of a recovery run.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/modules/installed_software_keys.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "tests/modules/mod_setup_fixture.h"

namespace halcyon::test {

namespace {

using V = std::vector<std::string>;

class ModSetupSelectionTest : public ModSetupFixture {
protected:
    void TearDown() override { platform::SetStartHook({}); }

    // Every start reports `code` once the real script has run.
    static void ReportExitCode(uint32_t code)
    {
        platform::SetStartHook([code](const platform::StartRequest &) -> std::optional<platform::FakeStart> {
            platform::FakeStart f;
            f.runReal = true;
            f.exitCode = code;
            return f;
        });
    }

    bool Reported(int32_t index, int32_t total, const std::string &label) const
    {
        for (const auto &c : progress.calls)
            if (c.index == index && c.total == total && c.label == label)
                return true;
        return false;
    }

    static void SetImageState(const char *state)
    {
        ASSERT_EQ(modules::WriteRegString(modules::kSetupStateKey, modules::kImageStateValue, state), 0);
    }
};

TEST_F(ModSetupSelectionTest, TemporaryFilterWithTwoAlternatives)
{
    auto mods = Modules(3);
    mods[0].temporary = "TRUE";
    mods[1].temporary = "FALSE";
    mods[2].temporary = "True_Fulfillment";
    media.Make(mods);
    ModSetupCall call;
    call.options = modules::OPTION_FILTER_TEMPORARY;
    call.temporary = "TRUE|true_fulfillment";
    ASSERT_EQ(media.Call(call), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300103"}));
    EXPECT_NE(media.Runs()[1].find(media.mount), std::string::npos);

    call.temporary = "false";
    ASSERT_EQ(media.Call(call), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300103", "300102"}));
}

TEST_F(ModSetupSelectionTest, RecoverableInstallerTypeAndBasePlusFilters)
{
    auto mods = Modules(4);
    mods[0].recoverable = "False";
    mods[1].installerType = "FILE COPY";
    mods[1].setupFile = "Copied";
    mods[2].basePlus = "False";
    media.Make(mods);
    ModSetupCall call;
    call.options = modules::OPTION_FILTER_RECOVERABLE | modules::OPTION_FILTER_INSTALLER_TYPE |
                   modules::OPTION_FILTER_BASE_PLUS;
    call.recoverable = "TRUE";
    call.installerType = "exe/batch";
    ASSERT_EQ(media.Call(call), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300104"}));
}

TEST_F(ModSetupSelectionTest, SourceTreeFollowsTheTemporaryValue)
{
    auto mods = Modules(1);
    mods[0].temporary = "Maybe";
    mods[0].buildMedia = false;
    media.Make(mods);
    EXPECT_EQ(media.Call(), RETURN_UNKNOWN_TEMPORARY_VALUE);
    EXPECT_TRUE(LogHas("Can not know the temporary node value. (RETURN_UNKNOWN_TEMPORARY_VALUE)"));
    EXPECT_TRUE(LogHas("temporary node value: Maybe"));

    mods[0].temporary = "FALSE";
    mods[0].installerType = "MSI";
    media.WritePlan(mods);
    EXPECT_EQ(media.Call(), RETURN_UNKNOWN_INSTALLER_TYPE);
    EXPECT_TRUE(LogHas("Unknown installer type. (RETURN_UNKNOWN_INSTALLER_TYPE)MSI"));
}

TEST_F(ModSetupSelectionTest, MissingFoldersAreReportedInOrder)
{
    media.Make(Modules(1));
    auto call = [&](std::string perm, std::string temp, std::string tf, std::string dest, std::string mount) {
        return ModSetupX(media.plan.c_str(), perm.c_str(), temp.c_str(), tf.c_str(), dest.c_str(), mount.c_str(),
                         "", "", "", "", media.log.c_str(), 1, 0, nullptr, 0, "", nullptr);
    };
    const std::string no = dir.path() + "/absent";
    EXPECT_EQ(call(no, no, no, no, no), RETURN_PERM_DIR_NOT_EXIST);
    EXPECT_TRUE(LogHas("sPermSourceDir: " + no + "\\"));
    EXPECT_EQ(call(media.perm, no, no, no, no), RETURN_TEMP_DIR_NOT_EXIST);
    EXPECT_EQ(call(media.perm, media.temp, no, no, no), RETURN_TEMP_DIR_NOT_EXIST);
    EXPECT_TRUE(LogHas("Can not find true_fulfillment modules path. (RETURN_TEMP_DIR_NOT_EXIST)"));
    EXPECT_EQ(call(media.perm, media.temp, media.trueFul, no, no), RETURN_DEST_DIR_NOT_EXIST);
    EXPECT_EQ(call(media.perm, media.temp, media.trueFul, media.dest, no), RETURN_MOUNT_DIR_NOT_EXIST);
    EXPECT_TRUE(media.Runs().empty());
    // An empty MountDir is allowed, but no image is applied relative to the
    // working folder.
    EXPECT_EQ(call(media.perm, media.temp, media.trueFul, "", ""), RETURN_MOUNT_DIR_NOT_EXIST);
    EXPECT_TRUE(media.Runs().empty());
}

TEST_F(ModSetupSelectionTest, ExitCode3010IsAcceptedLikeZero)
{
    media.Make(Modules(2));
    ReportExitCode(3010);
    uint32_t code = 0;
    auto call = WithProgress();
    call.exitCode = &code;
    ASSERT_EQ(media.Call(call), RETURN_SUCCESS);
    EXPECT_EQ(code, 3010u);
    EXPECT_EQ(media.RunIds().size(), 2u);
    EXPECT_TRUE(LogHas("ReturnCode=3010"));
}

TEST_F(ModSetupSelectionTest, OtherExitCodesAndLaunchFailuresStopUnlessTheReleaseIsTolerated)
{
    auto mods = Modules(1, 295919); // a tolerated release
    mods[0].exitCode = 9;
    media.Make(mods);
    EXPECT_EQ(media.Call(), RETURN_SUCCESS);

    mods = Modules(1, 295918);
    mods[0].exitCode = 9;
    media.Make(mods);
    EXPECT_EQ(media.Call(), RETURN_MODULE_NONZERO_RETURN);

    platform::SetStartHook([](const platform::StartRequest &) -> std::optional<platform::FakeStart> {
        platform::FakeStart f;
        f.shellError = platform::SE_ERR_FNF;
        return f;
    });
    EXPECT_EQ(media.Call(), RETURN_MODULE_EXE);
    EXPECT_TRUE(LogHas("It is not recovery. (RETURN_MODULE_EXE)"));
    media.Make(Modules(1, 302398)); // tolerated: a failed launch passes too
    EXPECT_EQ(media.Call(), RETURN_SUCCESS);
}

TEST_F(ModSetupSelectionTest, RecoveryRunReportsFailuresAndGoesOn)
{
    auto mods = Modules(3);
    mods[0].exitCode = 4;
    mods[2].verificationType = "VerCheckAfter";
    mods[2].verificationMode = "File";
    mods[2].versionPath = "Tools\\missing.exe";
    mods[2].verCheckAfter = "1.2.3.4";
    media.Make(mods);
    ASSERT_EQ(media.Call(WithProgress(modules::OPTION_RECOVERY)), RETURN_SUCCESS);
    EXPECT_TRUE(Reported(-3, 29, "Label 300101@_@4"));
    EXPECT_TRUE(Reported(-2, 77, "Label 300103"));
    EXPECT_TRUE(LogHas("VerifyDetails=Returned:'Label 300103'"));
    for (const auto &m : mods)
        EXPECT_EQ(Registration(m, "InstallMode"), "Recovery");

    platform::SetStartHook([](const platform::StartRequest &) -> std::optional<platform::FakeStart> {
        platform::FakeStart f;
        f.shellError = platform::SE_ERR_ACCESSDENIED;
        return f;
    });
    progress.calls.clear();
    ASSERT_EQ(media.Call(WithProgress(modules::OPTION_RECOVERY)), RETURN_SUCCESS);
    EXPECT_TRUE(Reported(-2, 11, "Label 300101"));
}

TEST_F(ModSetupSelectionTest, VersionMismatchStopsAFactoryRun)
{
    auto mods = Modules(1);
    mods[0].verificationType = "VerCheckAfter";
    mods[0].verificationMode = "File";
    mods[0].versionPath = "missing.exe";
    mods[0].verCheckAfter = "1.0";
    media.Make(mods);
    EXPECT_EQ(media.Call(), 77);
    EXPECT_EQ(Registration(mods[0], "InstallMode"), "<absent>");
    // VerificationType is compared case-sensitively: "vercheckafter" is refused.
    mods[0].verificationType = "vercheckafter";
    media.WritePlan(mods);
    EXPECT_EQ(media.Call(), RETURN_UNKNOWN_VERIFICATION_TYPE);
}

TEST_F(ModSetupSelectionTest, DataModulesAreNeverInstalledButRecordedInNrvinst)
{
    auto mods = Modules(3);
    mods[1].installerType = "Data";
    mods[1].pathToRelease.clear();
    mods[1].rebootAfter = "True";
    media.Make(mods);
    ASSERT_EQ(media.Call(WithProgress(modules::OPTION_WRITE_EPID)), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300103"}));
    EXPECT_EQ(Registration(mods[1], "InstallMode"), "<absent>");
    EXPECT_EQ(platform::GetPrivateProfileString("Module", "1", "", media.nrvinst), "EP0000300101");
    EXPECT_EQ(platform::GetPrivateProfileString("Module", "2", "", media.nrvinst), "EP0000300102");
    EXPECT_EQ(platform::GetPrivateProfileString("Module", "3", "", media.nrvinst), "EP0000300103");
    EXPECT_EQ(platform::GetPrivateProfileString("Module", "4", "", media.nrvinst), "End");

    // Without the option nothing is written.
    std::filesystem::remove(media.nrvinst);
    ASSERT_EQ(media.Call(), RETURN_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(media.nrvinst));
}

TEST_F(ModSetupSelectionTest, InBoxModulesBeforeWindowsSetupCompletes)
{
    auto mods = Modules(3);
    mods[0].installAfterOOBE = "Yes";
    mods[0].temporary = "True";
    mods[1].rebootAfter = "True";
    mods[2].installAfterOOBE = "yes";
    mods[2].temporary = "TRUE";
    media.Make(mods);
    SetImageState("IMAGE_STATE_UNDEPLOYABLE");
    ASSERT_EQ(media.Call(WithProgress()), RETURN_REBOOT_REQUIRED);
    ASSERT_EQ(media.Call(WithProgress()), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300102", "300103"}));
    // Each in-box module keeps its own value across the restart.
    std::string v;
    ASSERT_EQ(modules::ReadRegString(modules::kHddRecoveryKey, "InBoxCD1", v), 0);
    EXPECT_EQ(v, "Label 300101");
    ASSERT_EQ(modules::ReadRegString(modules::kHddRecoveryKey, "InBoxCD2", v), 0);
    EXPECT_EQ(v, "Label 300103");
    // Installed: announce, (0,0), done; then the in-box calls.
    ASSERT_GE(progress.calls.size(), 7u);
    EXPECT_EQ(progress.calls[3].index, 0);
    EXPECT_EQ(progress.calls[3].total, 3);
    EXPECT_EQ(progress.calls[5].index, 1);
}

TEST_F(ModSetupSelectionTest, InBoxModulesAfterWindowsSetupCompletesAreSkipped)
{
    auto mods = Modules(2);
    mods[1].installAfterOOBE = "Yes";
    mods[1].temporary = "True";
    media.Make(mods);
    SetImageState("IMAGE_STATE_COMPLETE");
    ASSERT_EQ(media.Call(WithProgress()), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101"}));
    std::vector<std::pair<int, int>> tail;
    for (size_t i = 3; i < progress.calls.size(); ++i)
        tail.emplace_back(progress.calls[i].index, progress.calls[i].total);
    EXPECT_EQ(tail, (std::vector<std::pair<int, int>>{{1, 2}, {0, 0}, {-1, 0}, {2, 2}}));
    std::string v;
    EXPECT_NE(modules::ReadRegString(modules::kHddRecoveryKey, "InBoxCD1", v), 0);
}

TEST_F(ModSetupSelectionTest, UnsafePlanValuesAreRefusedAndNothingOutsideIsTouched)
{
    const std::string outside = dir.path() + "/outside";
    std::filesystem::create_directories(outside + "/keep");
    test::WriteFile(outside + "/evil.sh", "#!/bin/sh\necho ran > " + outside + "/ran\n");

    struct Case {
        const char *key;
        std::function<void(MediaModule &)> set;
        uint64_t options;
    };
    const Case cases[] = {
        {"PathToRelease", [](MediaModule &m) { m.pathToRelease = "..\\outside"; }, 0},
        {"PathToRelease", [](MediaModule &m) { m.pathToRelease = "C:\\mods"; }, 0},
        {"SetupFile", [](MediaModule &m) { m.setupFile = "..\\..\\outside\\evil.sh"; }, 0},
        {"ReleaseID", [](MediaModule &m) { m.releaseId = ".."; }, 0},
        {"ReleaseID", [](MediaModule &m) { m.releaseId = ".\\"; }, 0},
        {"PathToRelease", [](MediaModule &m) { m.pathToRelease = "mods\\300301\\."; },
         modules::OPTION_COPY_MODULE_FOLDER},
    };
    for (const Case &c : cases) {
        auto m = Module("300301");
        m.pathToRelease = "mods\\300301";
        media.Build(m);
        c.set(m);
        media.WritePlan({m});
        EXPECT_EQ(media.Call(WithProgress(c.options)), RETURN_UNSAFE_PATH) << c.key;
        EXPECT_TRUE(LogHas(std::string("Error: the plan value ") + c.key + "=")) << c.key;
    }
    MediaModule copy = Module("300302");
    copy.installerType = "FILE COPY";
    copy.setupFile = "..\\outside\\keep";
    copy.files = {{"x.txt", "x"}};
    media.Make({copy});
    EXPECT_EQ(media.Call(), RETURN_UNSAFE_PATH);
    copy.setupFile = "C:\\..\\..\\outside";
    media.WritePlan({copy});
    EXPECT_EQ(media.Call(), RETURN_UNSAFE_PATH);

    EXPECT_TRUE(media.Runs().empty());
    EXPECT_FALSE(std::filesystem::exists(outside + "/ran"));
    EXPECT_TRUE(std::filesystem::exists(outside + "/keep"));
    EXPECT_FALSE(std::filesystem::exists(outside + "/keep/x.txt"));
    EXPECT_TRUE(std::filesystem::exists(media.mount));
}

} // namespace

} // namespace halcyon::test

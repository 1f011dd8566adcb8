// The restart-resume state machine of the module setup verb across calls.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/modules/last_module_recoverable.h"
#include "platform/profile.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "tests/modules/mod_setup_fixture.h"

namespace halcyon::test {

namespace {

using V = std::vector<std::string>;

class ModSetupStateTest : public ModSetupFixture {
protected:
    // The restart marks of `names`, in turn.
    static V Marks(std::initializer_list<const char *> names)
    {
        V values;
        for (const char *name : names)
            values.push_back(Mark(name));
        return values;
    }
    // The next call installs the rest: `runIds` ran in all, the marks are gone.
    void ExpectTheNextCallFinishes(const V &runIds)
    {
        ASSERT_EQ(media.Call(), RETURN_SUCCESS);
        EXPECT_EQ(media.RunIds(), runIds);
        EXPECT_FALSE(StatusKeyExists());
    }
};

TEST_F(ModSetupStateTest, FreshRunInstallsInOrderRegistersAndClearsTheMarks)
{
    auto mods = Modules(3);
    mods[1].cmdLineArgs = "/quiet \"two words\"";
    media.Make(mods);
    ASSERT_EQ(media.Call(WithProgress()), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300102", "300103"}));
    EXPECT_NE(media.Runs()[1].find("args=[/quiet][two words]"), std::string::npos) << media.Runs()[1];
    EXPECT_FALSE(StatusKeyExists());
    for (const auto &m : mods) {
        EXPECT_EQ(Registration(m, "DetailedVersion"), "1.0.0");
        EXPECT_EQ(Registration(m, "InstallMode"), "Factory");
    }
    // Announce (n-1, total), (0, 0), done (n, total) per module.
    ASSERT_EQ(progress.calls.size(), 9u);
    EXPECT_EQ(progress.calls[0].index, 0);
    EXPECT_EQ(progress.calls[0].total, 3);
    EXPECT_EQ(progress.calls[0].label, "Label 300101");
    EXPECT_EQ(progress.calls[1].index, 0);
    EXPECT_EQ(progress.calls[1].total, 0);
    EXPECT_EQ(progress.calls[2].index, 1);
    EXPECT_EQ(progress.calls[8].index, 3);
    EXPECT_TRUE(LogHas("ModSetupX Begin"));
    EXPECT_TRUE(LogHas("ModSetupX Success."));
    // The published arguments live only as long as the call.
    std::string v;
    EXPECT_NE(modules::ReadRegString(modules::kInstallerArgumentsKey, "IniFile", v), 0);
}

TEST_F(ModSetupStateTest, FreshRunNeverRestartsBeforeItsFirstModule)
{
    auto mods = Modules(2);
    mods[0].rebootBefore = "True";
    media.Make(mods);
    EXPECT_EQ(media.Call(), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300102"}));
}

TEST_F(ModSetupStateTest, RestartBeforeAModuleThenInstallsItWithoutAskingAgain)
{
    auto mods = Modules(3);
    mods[1].rebootBefore = "True";
    media.Make(mods);
    ASSERT_EQ(media.Call(), RETURN_REBOOT_REQUIRED);
    EXPECT_EQ(media.RunIds(), (V{"300101"}));
    EXPECT_EQ(Marks({"PreviousItemName", "CurrentItemName", "CurrentItemRebootBeforeArg"}), (V{"2", "2", "True"}));
    EXPECT_EQ(Registration(mods[1], "InstallMode"), "<absent>");

    ExpectTheNextCallFinishes(V{"300101", "300102", "300103"});
}

TEST_F(ModSetupStateTest, RestartAfterAModuleInTheMiddleResumesAtTheNext)
{
    auto mods = Modules(3);
    mods[1].rebootAfter = "True";
    media.Make(mods);
    ASSERT_EQ(media.Call(), RETURN_REBOOT_REQUIRED);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300102"}));
    EXPECT_EQ(Marks({"PreviousItemName", "PreviousItemResult", "PreviousItemRebootAfterArg", "CurrentItemName"}),
              (V{"2", "0", "True", "3"}));
    EXPECT_TRUE(LogHas("Rebooting"));

    ExpectTheNextCallFinishes(V{"300101", "300102", "300103"});
}

TEST_F(ModSetupStateTest, RestartAfterTheLastModuleIsNotAskedFor)
{
    auto mods = Modules(2);
    mods[1].rebootAfter = "True";
    media.Make(mods);
    EXPECT_EQ(media.Call(), RETURN_SUCCESS);
    EXPECT_FALSE(StatusKeyExists());
}

TEST_F(ModSetupStateTest, AFilteredModuleAsksForNoRestart)
{
    auto mods = Modules(3);
    mods[1].partType = "Driver";
    mods[1].rebootAfter = "True";
    mods[1].rebootBefore = "True";
    media.Make(mods);
    auto call = WithProgress(modules::OPTION_FILTER_PART_TYPE);
    call.partType = "module";
    EXPECT_EQ(media.Call(call), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300103"}));
    EXPECT_EQ(Registration(mods[1], "InstallMode"), "<absent>");
}

TEST_F(ModSetupStateTest, PeModulesResumeInThePeFamily)
{
    auto mods = Modules(3);
    mods[0].rebootAfter = "True";
    mods[2].rebootBefore = "True";
    PlanSettings pe;
    pe.peFamily = true;
    media.Make(mods, pe);
    auto call = WithProgress(modules::OPTION_PE_MODULES);
    ASSERT_EQ(media.Call(call), RETURN_REBOOT_REQUIRED);
    EXPECT_EQ(Mark("CurrentItemName"), "PE2");
    ASSERT_EQ(media.Call(call), RETURN_REBOOT_REQUIRED);
    EXPECT_EQ(Mark("PreviousItemName"), "PE3");
    EXPECT_EQ(Mark("CurrentItemName"), "PE3");
    ASSERT_EQ(media.Call(call), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300102", "300103"}));
}

TEST_F(ModSetupStateTest, IgnoreResumeOptionStartsAfreshAtStart)
{
    auto mods = Modules(3);
    mods[1].rebootAfter = "True";
    media.Make(mods);
    ASSERT_EQ(media.Call(), RETURN_REBOOT_REQUIRED);
    ModSetupCall call;
    call.options = modules::OPTION_IGNORE_RESUME;
    call.start = 2;
    ASSERT_EQ(media.Call(call), RETURN_REBOOT_REQUIRED);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300102", "300102"}));
    EXPECT_EQ(media.Call(), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300102", "300102", "300103"}));
}

TEST_F(ModSetupStateTest, AFailedModuleIsTriedAgainOnTheNextCall)
{
    auto mods = Modules(3);
    mods[1].exitCode = 7;
    media.Make(mods);
    ASSERT_EQ(media.Call(), RETURN_MODULE_NONZERO_RETURN);
    EXPECT_TRUE(LogHas("It is not recovery. (RETURN_MODULE_NONZERO_RETURN)"));
    EXPECT_EQ(Mark("CurrentItemName"), "2");
    EXPECT_EQ(Mark("PreviousItemName"), "1");

    mods[1].exitCode = 0;
    media.Build(mods[1]);
    ASSERT_EQ(media.Call(), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300102", "300102", "300103"}));
}

TEST_F(ModSetupStateTest, AFailureInTheFirstModuleOfAFreshRunLeavesNoCurrentMark)
{
    auto mods = Modules(2);
    mods[0].exitCode = 1;
    media.Make(mods);
    ASSERT_EQ(media.Call(), RETURN_MODULE_NONZERO_RETURN);
    EXPECT_EQ(Mark("CurrentItemName"), "<absent>");
    EXPECT_EQ(Mark("CurrentItemRebootBeforeArg"), "<absent>"); // written empty: reads as missing
}

TEST_F(ModSetupStateTest, StartNumberPicksTheFirstModuleOfAFreshRun)
{
    media.Make(Modules(3));
    ModSetupCall call = WithProgress();
    call.start = 2;
    EXPECT_EQ(media.Call(call), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300102", "300103"}));
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls[0].index, 1);
    EXPECT_EQ(progress.calls[0].total, 3);
}

TEST_F(ModSetupStateTest, PlanWhoseFirstSectionIsTheEnd)
{
    media.Make({});
    EXPECT_EQ(media.Call(WithProgress()), RETURN_SUCCESS);
    EXPECT_TRUE(progress.calls.empty());
    EXPECT_TRUE(LogHas("ModSetupX Success."));
}

TEST_F(ModSetupStateTest, PlanWithoutEndStopsBeforeInstallingAnything)
{
    PlanSettings noEnd;
    noEnd.endSection = false;
    media.Make(Modules(2), noEnd);
    EXPECT_EQ(media.Call(), RETURN_RECORD_INCOMPLETE);
    EXPECT_TRUE(LogHas("The end of modules was reached."));
    EXPECT_TRUE(media.Runs().empty());
}

TEST_F(ModSetupStateTest, AResumeMarkOfTheOtherFamilyStartsAfresh)
{
    media.Make(Modules(2));
    ASSERT_EQ(modules::WriteRegString(modules::kInstallerStatusKey, "CurrentItemName", "PE2"), 0);
    EXPECT_EQ(media.Call(), RETURN_SUCCESS);
    EXPECT_EQ(media.RunIds(), (V{"300101", "300102"}));
}

TEST_F(ModSetupStateTest, LastModuleRecoverableFollowsTheModuleLookedAtLast)
{
    auto mods = Modules(2);
    mods[0].recoverable = "TRUE";
    mods[1].recoverable = "true";
    mods[1].exitCode = 3;
    media.Make(mods);
    EXPECT_EQ(media.Call(), RETURN_MODULE_NONZERO_RETURN);
    EXPECT_EQ(IsLastModuleRecoverable(), 1);

    // A call that ends before reading a module leaves 0.
    std::string missing = media.plan + ".missing";
    EXPECT_EQ(ModSetupX(missing.c_str(), media.perm.c_str(), media.temp.c_str(), media.trueFul.c_str(), "", "", "",
                        "", "", "", media.log.c_str(), 1, 0, nullptr, 0, "", nullptr),
              RETURN_UNABLE_OPEN_INI);
    EXPECT_EQ(IsLastModuleRecoverable(), 0);
    EXPECT_TRUE(LogHas("Load halcyon.ini file failed. (RETURN_UNABLE_OPEN_INI)"));
}

// The emulated machine's drive folders (Linux only: the path mapping).
#if !defined(_WIN32)
TEST_F(ModSetupStateTest, WindowsPathsOnTheMachinesDrives)
{
    // Media on drive C: of the emulated machine, named the way the factory
    // tools name them, letter case differing from the files on disk.
    ModMedia onC(machine.root() + "/drives/c/Factory");
    auto mods = Modules(2);
    mods[0].pathToRelease = "Sources\\Data\\300101";
    mods[1].pathToRelease = "Sources\\Data\\300102";
    onC.Make(mods);
    mods[0].pathToRelease = "SOURCES\\DATA\\300101";
    onC.WritePlan(mods);
    std::filesystem::create_directories(machine.root() + "/drives/c/Windows/System32");
    ProgressLog log;
    EXPECT_EQ(ModSetupX("C:\\Factory\\HALCYON.INI", "C:\\Factory\\perm", "C:\\Factory\\temp",
                        "C:\\Factory\\truefulfill", "C:\\Factory\\dest", "C:\\FACTORY\\Mount", "", "", "", "",
                        "C:\\Factory\\setup.log", 1, modules::OPTION_WRITE_EPID, &ProgressLog::Callback,
                        reinterpret_cast<uintptr_t>(&log), "C:\\Windows\\System32\\nrvinst.oem", nullptr),
              RETURN_SUCCESS)
        << onC.LogText();
    EXPECT_EQ(onC.RunIds(), (V{"300101", "300102"}));
    EXPECT_NE(onC.Runs()[0].find("cwd=" + onC.mount + "/300101"), std::string::npos) << onC.Runs()[0];
    EXPECT_TRUE(std::filesystem::is_empty(onC.mount));
    EXPECT_EQ(platform::GetPrivateProfileString("Module", "2", "", "C:\\Windows\\System32\\nrvinst.oem"),
              "EP0000300102");
    EXPECT_EQ(log.calls.size(), 6u);
}
#endif

TEST_F(ModSetupStateTest, AnUnwritableLogEndsTheRunAtTheFirstGuardedLine)
{
    media.Make(Modules(1));
    const std::string log = dir.path() + "/no-such-folder/setup.log";
    EXPECT_EQ(ModSetupX(media.plan.c_str(), media.perm.c_str(), media.temp.c_str(), media.trueFul.c_str(),
                        media.dest.c_str(), media.mount.c_str(), "", "", "", "", log.c_str(), 1, 0, nullptr, 0, "",
                        nullptr),
              RETURN_LOG_OPEN_FAILED);
    EXPECT_TRUE(media.Runs().empty());
}

TEST_F(ModSetupStateTest, IsCleanSweepReadsThePlan)
{
    PlanSettings s;
    s.cleanSweep = "  tRUE ";
    media.Make({}, s);
    EXPECT_TRUE(IsCleanSweep(media.plan.c_str()));
    s.cleanSweep = "False";
    media.WritePlan({}, s);
    EXPECT_FALSE(IsCleanSweep(media.plan.c_str()));
    std::string missing = media.plan + ".missing";
    EXPECT_FALSE(IsCleanSweep(missing.c_str()));
    EXPECT_FALSE(IsCleanSweep(nullptr));
}

} // namespace

} // namespace halcyon::test

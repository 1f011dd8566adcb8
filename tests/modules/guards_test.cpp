// The machine-state guards restore (or keep) the machine's state on every
// path, including when the guarded work fails; the two small queries.
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

#include "engine/modules/machine_guards.h"
#include "platform/machine.h"
#include "platform/power_request.h"
#include "platform/power_state.h"
#include "platform/registry.h"
#include "support/wdmi/wdmi.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using namespace halcyon::modules;
using platform::MachineSetting;
using platform::SetMachineSetting;

namespace {

constexpr uint64_t kKeepSystemRestore = 0x400000;
constexpr uint64_t kKeepHibernation = 0x2000000;

class GuardsTest : public ::testing::Test {
protected:
    void SetUp() override { test::SetEnv("HALCYON_NO_INHIBIT", "1"); }
    void TearDown() override
    {
        platform::SetPowerRequestFault(std::nullopt);
        test::SetEnv("HALCYON_NO_INHIBIT", nullptr);
    }
    std::optional<std::string> Power(const char *key) { return MachineSetting("Power", key); }
    int Requests(platform::PowerRequestType t) { return platform::ActivePowerRequests(t); }

    test::MachineScope machine_;
};

// Runs `work` inside the four guards in the installation verb's order and
// lets its exception out after they are gone.
template <typename Work>
void UnderAllGuards(uint64_t options, const std::string &log, Work work)
{
    ScreenSaverGuard screen;
    PowerRequestGuard power;
    SystemRestoreGuard restore(options, log);
    HibernationGuard hibernation(options);
    work();
}

} // namespace

#if !defined(_WIN32) // the emulated machine's power settings (machine.ini)
TEST_F(GuardsTest, ScreenSaverIsOffDuringAndOnAfter)
{
    for (const char *before : {"True", "False"}) {
        ASSERT_TRUE(SetMachineSetting("Power", "ScreenSaverActive", before));
        {
            ScreenSaverGuard guard;
            EXPECT_EQ(Power("ScreenSaverActive"), "False");
        }
        EXPECT_EQ(Power("ScreenSaverActive"), "True") << "before: " << before;
    }
}
#endif

TEST_F(GuardsTest, MachineWithoutTheSettingsIsLeftAlone)
{
    ASSERT_TRUE(SetMachineSetting("Identity", "BLID", "X"));
    const std::string ini = machine_.root() + "/machine.ini";
    const std::string before = test::ReadFile(ini);
    {
        ScreenSaverGuard screen;
        HibernationGuard hibernation(0);
    }
    EXPECT_EQ(test::ReadFile(ini), before);
    // A value that is no boolean cannot be read either.
    ASSERT_TRUE(SetMachineSetting("Power", "HiberFilePresent", "maybe"));
    { HibernationGuard hibernation(0); }
    EXPECT_EQ(Power("HiberFilePresent"), "maybe");
}

#if !defined(_WIN32) // the emulated machine's power settings (machine.ini)
TEST_F(GuardsTest, HibernationFileRemovedAndRecreated)
{
    ASSERT_TRUE(SetMachineSetting("Power", "HiberFilePresent", "True"));
    {
        HibernationGuard guard(0);
        EXPECT_EQ(Power("HiberFilePresent"), "False");
    }
    EXPECT_EQ(Power("HiberFilePresent"), "True");
    {
        HibernationGuard guard(kKeepHibernation);
        EXPECT_EQ(Power("HiberFilePresent"), "True");
    }
    ASSERT_TRUE(SetMachineSetting("Power", "HiberFilePresent", "False"));
    { HibernationGuard guard(0); }
    EXPECT_EQ(Power("HiberFilePresent"), "False"); // nothing to re-create
}
#endif

TEST_F(GuardsTest, PowerRequestsHeldWhileAliveAndClearedAfter)
{
    using namespace platform;
    {
        PowerRequestGuard guard;
        EXPECT_EQ(Requests(PowerRequestSystemRequired), 1);
        EXPECT_EQ(Requests(PowerRequestDisplayRequired), 1);
        EXPECT_EQ(Requests(PowerRequestAwayModeRequired), 1);
    }
    EXPECT_EQ(Requests(PowerRequestSystemRequired), 0);
    EXPECT_EQ(Requests(PowerRequestDisplayRequired), 0);
    EXPECT_EQ(Requests(PowerRequestAwayModeRequired), 0);

    // The second request fails: the setting stops there, and the clearing
    // (which stops at the same request) still leaves nothing behind.
    SetPowerRequestFault(PowerRequestDisplayRequired);
    {
        PowerRequestGuard guard;
        EXPECT_EQ(Requests(PowerRequestSystemRequired), 1);
        EXPECT_EQ(Requests(PowerRequestDisplayRequired), 0);
        EXPECT_EQ(Requests(PowerRequestAwayModeRequired), 0);
    }
    EXPECT_EQ(Requests(PowerRequestSystemRequired), 0);
}

TEST_F(GuardsTest, SleepInhibitorNeverOutlivesTheGuard)
{
    test::SetEnv("HALCYON_NO_INHIBIT", nullptr); // taken where the machine offers it
    { PowerRequestGuard guard; }
    EXPECT_FALSE(platform::SystemSleepInhibited());
}

TEST_F(GuardsTest, SystemRestoreSwitchedOffAndKeptOff)
{
    ASSERT_TRUE(support::SetSystemRestore(true));
    { SystemRestoreGuard guard(kKeepSystemRestore, ""); }
    EXPECT_TRUE(support::IsSystemRestoreEnabled());
    { SystemRestoreGuard guard(0, ""); }
    EXPECT_FALSE(support::IsSystemRestoreEnabled());
}

TEST_F(GuardsTest, SystemRestoreFailureIsLogged)
{
    test::TempDir logs("halcyon-guard-log");
    const std::string log = logs / "guard.log";
    // A machine folder below a plain file cannot be written.
    test::WriteFile(logs / "blocker", "file");
    test::SetEnv("HALCYON_MACHINE", (logs / "blocker/machine").c_str());
    { SystemRestoreGuard guard(0, log); }
    EXPECT_NE(test::ReadFile(log).find("SetSystemRestore failed."), std::string::npos);
}

#if !defined(_WIN32) // the emulated machine's power settings (machine.ini)
TEST_F(GuardsTest, EveryGuardRestoresWhenTheWorkFails)
{
    ASSERT_TRUE(SetMachineSetting("Power", "ScreenSaverActive", "True"));
    ASSERT_TRUE(SetMachineSetting("Power", "HiberFilePresent", "True"));
    ASSERT_TRUE(support::SetSystemRestore(true));
    EXPECT_THROW(UnderAllGuards(0, "",
                                [&] {
                                    EXPECT_EQ(Power("ScreenSaverActive"), "False");
                                    EXPECT_EQ(Power("HiberFilePresent"), "False");
                                    EXPECT_EQ(Requests(platform::PowerRequestSystemRequired), 1);
                                    throw std::runtime_error("installer failed");
                                }),
                 std::runtime_error);
    EXPECT_EQ(Power("ScreenSaverActive"), "True");
    EXPECT_EQ(Power("HiberFilePresent"), "True");
    EXPECT_EQ(Requests(platform::PowerRequestSystemRequired), 0);
    EXPECT_FALSE(support::IsSystemRestoreEnabled());
}
#endif

TEST_F(GuardsTest, SystemProtectionFromTheRegistry)
{
    namespace reg = platform::reg;
    const char *key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SPP\\Clients";
    const char *value = "{09F7EDC5-294E-4180-AF6A-FB0E6A0E9513}";
    EXPECT_TRUE(IsSystemProtectionOff()); // no key
    ASSERT_EQ(reg::SetString(reg::HKEY_LOCAL_MACHINE, key, "other", "x"), reg::ERROR_SUCCESS);
    EXPECT_TRUE(IsSystemProtectionOff()); // key without the value
    ASSERT_EQ(reg::SetString(reg::HKEY_LOCAL_MACHINE, key, value, "C:", reg::REG_MULTI_SZ), reg::ERROR_SUCCESS);
    EXPECT_FALSE(IsSystemProtectionOff());
}

TEST(ToleratedRelease, FixedList)
{
    for (const char *id : {"295919", "302398", "302384", "307933"})
        EXPECT_TRUE(IsToleratedRelease(id)) << id;
    for (const char *id : {"295918", "395919", "30239", "3023988", "", " 295919"})
        EXPECT_FALSE(IsToleratedRelease(id)) << id;
}

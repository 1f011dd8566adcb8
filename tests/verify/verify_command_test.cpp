// halcyon verify crc / registry: the verbs from the command line.
#include <gtest/gtest.h>

#include <string>

#include "engine/frame/plan_records.h"
#include "engine/modules/module_registration.h"
#include "tests/common/halcyon_command.h"
#include "tests/verify/verify_fixture.h"

using namespace halcyon;
using namespace halcyon::test;

namespace {

std::string Quoted(const std::string &s)
{
    return "'" + s + "'";
}

TEST(VerifyCommand, CrcExitStatusFollowsTheCheck)
{
    MachineScope machine;
    TempDir dir("verify-cli");
    const std::string src = dir / "src";
    const std::string ini = dir / "halcyon.ini";
    const std::string log = dir / "v.log";
    MakeModuleFolder(src + "/mods/a", "a");
    WriteFile(ini, PlanText().Module("1", {.path = "mods\\a"}).End("2").End("PE1").str());
    const std::string args = "verify crc --ini " + Quoted(ini) + " --source " + Quoted(src) + " --log " + Quoted(log);

    std::string out;
    EXPECT_EQ(0, RunHalcyon(args, out)) << out;
    EXPECT_NE(std::string::npos, out.find("Checking 1: " + src + "\\mods\\a")) << out;
    EXPECT_NE(std::string::npos, out.find("all module folders intact")) << out;
    EXPECT_TRUE(LogHas(log, "EpicCrcCheck End"));
    EXPECT_EQ(0, RunHalcyon(args + " --options 0x80000", out)) << out;

    WriteFile(src + "/mods/a/new.txt", "x");
    EXPECT_EQ(1, RunHalcyon(args, out));
    EXPECT_NE(std::string::npos, out.find("CRC Error: 1")) << out;
    EXPECT_NE(std::string::npos, out.find("returned 112")) << out;

    EXPECT_EQ(3, RunHalcyon("verify crc --ini " + Quoted(dir / "none.ini") + " --source " + Quoted(src), out));
    EXPECT_NE(std::string::npos, out.find("EpicCrcCheck returned 2")) << out;

    EXPECT_EQ(2, RunHalcyon("verify crc --ini " + Quoted(ini), out));
    EXPECT_EQ(2, RunHalcyon(args + " --options many", out));
    EXPECT_EQ(2, RunHalcyon("verify", out));
    EXPECT_EQ(2, RunHalcyon("verify everything", out));
}

TEST(VerifyCommand, RegistryExitStatusFollowsTheKeys)
{
    MachineScope machine;
    TempDir dir("verify-cli");
    const std::string plan = dir / "halcyon.ini";
    const PlanModule alpha{.name = "Alpha", .partId = "P100"};
    const PlanModule beta{.name = "Beta", .partId = "P200"};
    WriteFile(plan, PlanText().Module("1", alpha).Module("2", beta).End("3").str());
    ModuleRecord r;
    r.CustomerLabel = alpha.label;
    r.PartId = alpha.partId;
    ASSERT_EQ(0, modules::RegisterInstalledModule(r, "1", false, ""));

    std::string out;
    EXPECT_EQ(1, RunHalcyon("verify registry --plan " + Quoted(plan), out));
    EXPECT_NE(std::string::npos, out.find("PASSED: 'Alpha'")) << out;
    EXPECT_NE(std::string::npos, out.find("FAILED: 'Beta'")) << out;
    EXPECT_NE(std::string::npos, out.find("registration keys missing")) << out;

    r.PartId = beta.partId;
    ASSERT_EQ(0, modules::RegisterInstalledModule(r, "2", false, ""));
    EXPECT_EQ(0, RunHalcyon("verify registry --plan " + Quoted(plan) + " --root HKEY_LOCAL_MACHINE", out)) << out;
    EXPECT_EQ(1, RunHalcyon("verify registry --plan " + Quoted(plan) + " --root hkcu", out));
    EXPECT_EQ(1, RunHalcyon("verify registry --plan " + Quoted(plan) + " --prefix Other", out));
    EXPECT_EQ(3, RunHalcyon("verify registry --plan " + Quoted(dir / "none.ini"), out));
    EXPECT_EQ(2, RunHalcyon("verify registry --plan " + Quoted(plan) + " --root HKXX", out));
    EXPECT_EQ(2, RunHalcyon("verify registry", out));
}

} // namespace

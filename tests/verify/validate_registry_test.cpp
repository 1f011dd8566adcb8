// ValidateRegistry against registration keys written by the module
// installation's own writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/frame/plan_records.h"
#include "engine/modules/installed_software_keys.h"
#include "engine/modules/module_registration.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/registry.h"
#include "tests/common/scratch_fixture.h"
#include "tests/verify/verify_fixture.h"

using namespace halcyon;
using namespace halcyon::test;
namespace reg = halcyon::platform::reg;

namespace {

class ValidateRegistryTest : public ScratchTest {
protected:

    static void Register(const PlanModule &m)
    {
        ModuleRecord r;
        r.ReleaseName = m.name;
        r.CustomerLabel = m.label;
        r.PartId = m.partId;
        ASSERT_EQ(0, modules::RegisterInstalledModule(r, "1", false, ""));
    }

    int32_t Validate(const std::string &prefix = "SOFTWARE", uintptr_t root = reg::HKEY_LOCAL_MACHINE)
    {
        return ValidateRegistry(prefix.c_str(), plan.c_str(), log.c_str(), root);
    }

    std::vector<std::string> Verdicts() const
    {
        std::vector<std::string> out;
        for (const std::string &l : LogTexts(log))
            if (l.rfind("ValidateRegistry", 0) != 0)
                out.push_back(l);
        return out;
    }
};

const PlanModule kAlpha{.name = "Alpha", .label = "Norv", .partId = "P100"};
const PlanModule kBeta{.name = "Beta", .label = "Norv", .partId = "P200"};
const PlanModule kGamma{.name = "Gamma", .label = "Acme Tools", .partId = "P300"};

TEST_F(ValidateRegistryTest, EveryModuleIsCheckedAndLogged)
{
    WriteFile(plan, PlanText().Module("1", kAlpha).Module("2", kBeta).Module("3", kGamma).End("4").str());
    Register(kAlpha);
    Register(kGamma);
    EXPECT_EQ(RETURN_FAILED_MATCH, Validate()) << "a missing key does not stop the walk";
    EXPECT_EQ((std::vector<std::string>{"PASSED: 'Alpha'", "FAILED: 'Beta'", "PASSED: 'Gamma'"}), Verdicts());
    EXPECT_EQ("ValidateRegistry Return RETURN_FAILED_MATCH", LogTexts(log).back());

    Register(kBeta);
    std::filesystem::remove(log);
    EXPECT_EQ(RETURN_SUCCESS, Validate());
    EXPECT_EQ("ValidateRegistry Return RETURN_SUCCESS", LogTexts(log).back());
}

TEST_F(ValidateRegistryTest, KeyPathFromPrefixLabelAndPartId)
{
    const PlanModule noLabel{.name = "NoLabel", .label = "", .partId = "P400"};
    WriteFile(plan, PlanText().Module("1", kAlpha).Module("2", noLabel).End("3").str());
    Register(kAlpha);
    Register(noLabel);
    ASSERT_TRUE(reg::KeyExists(reg::HKEY_LOCAL_MACHINE, std::string(modules::kModulesKey) + " P400"));
    for (const char *prefix : {"SOFTWARE", "SOFTWARE\\", "software\\\\\\"}) {
        SCOPED_TRACE(prefix);
        std::filesystem::remove(log);
        EXPECT_EQ(RETURN_SUCCESS, Validate(prefix));
    }
    // Another root or prefix holds no registration keys.
    EXPECT_EQ(RETURN_FAILED_MATCH, Validate("SOFTWARE", reg::HKEY_CURRENT_USER));
    EXPECT_EQ(RETURN_FAILED_MATCH, Validate("SOFTWARE\\WOW6432Node"));
    EXPECT_EQ(RETURN_FAILED_MATCH, Validate("SOFTWARE", 0));
    // The label and part are one key name: a key for the part alone does
    // not count.
    reg::RegDeleteTree(reg::HKEY_LOCAL_MACHINE, std::string(modules::kModulesKey) + "Norv P100");
    ASSERT_EQ(reg::ERROR_SUCCESS,
              reg::SetString(reg::HKEY_LOCAL_MACHINE, std::string(modules::kModulesKey) + "P100", "x", "y"));
    EXPECT_EQ(RETURN_FAILED_MATCH, Validate());
}

TEST_F(ValidateRegistryTest, DataAndCleanSweepModules)
{
    const PlanModule data{.name = "Sweep", .path = "", .installerType = "DATA", .partId = "P500"};
    const PlanModule nonBasePlus{.name = "Extra", .label = "Norv", .partId = "P600", .basePlus = "FALSE"};
    PlanText p;
    p.Module("1", kAlpha).Module("2", data).Module("3", nonBasePlus).End("4");
    Register(kAlpha);

    // Clean sweep off: the non-base-plus module is checked.
    WriteFile(plan, p.str());
    EXPECT_EQ(RETURN_FAILED_MATCH, Validate());
    EXPECT_EQ((std::vector<std::string>{"PASSED: 'Alpha'", "SKIPPING DATA MODULE: 'Sweep'", "FAILED: 'Extra'"}),
              Verdicts());

    // Clean sweep on, in any letter case: it is skipped.
    for (const char *value : {"True", "true", "TRUE"}) {
        SCOPED_TRACE(value);
        WriteFile(plan, PlanText(p).Raw(std::string("[CleanSweep]\r\nCleanSweep=") + value + "\r\n").str());
        std::filesystem::remove(log);
        EXPECT_EQ(RETURN_SUCCESS, Validate());
        EXPECT_EQ((std::vector<std::string>{"PASSED: 'Alpha'", "SKIPPING DATA MODULE: 'Sweep'",
                                            "SKIPPING NON BASE PLUS MODULE: 'Extra'"}),
                  Verdicts());
    }
    WriteFile(plan, PlanText(p).Raw("[CleanSweep]\r\nCleanSweep=False\r\n").str());
    EXPECT_EQ(RETURN_FAILED_MATCH, Validate());
}

TEST_F(ValidateRegistryTest, PlanFailures)
{
    EXPECT_EQ(RETURN_UNABLE_OPEN_INI, Validate());
    EXPECT_EQ((std::vector<std::string>{"ERROR: Load ini file error.", "sIniFile" + plan}), LogTexts(log));

    // The reader's code ends the walk, without an end line.
    WriteFile(plan, PlanText().End("PE1").str());
    std::filesystem::remove(log);
    EXPECT_EQ(RETURN_RECORD_INCOMPLETE, Validate());
    EXPECT_TRUE(LogTexts(log).empty());

    Register(kAlpha);
    WriteFile(plan, PlanText().Module("1", kAlpha).Raw("[2]\r\nReleaseName=B\r\n").End("3").str());
    EXPECT_EQ(RETURN_RECORD_INCOMPLETE, Validate());
    EXPECT_EQ(std::vector<std::string>{"PASSED: 'Alpha'"}, LogTexts(log));

    EXPECT_EQ(RETURN_UNABLE_OPEN_INI, ValidateRegistry(nullptr, nullptr, nullptr, reg::HKEY_LOCAL_MACHINE));
    EXPECT_EQ(RETURN_UNABLE_OPEN_INI,
              ValidateRegistry("SOFTWARE", dir.path().c_str(), nullptr, reg::HKEY_LOCAL_MACHINE))
        << "a folder is no plan";
}

TEST_F(ValidateRegistryTest, AnUnwritableLogEndsTheWalk)
{
    WriteFile(plan, PlanText().Module("1", kAlpha).End("2").str());
    Register(kAlpha);
    const std::string folderAsLog = dir.path();
    EXPECT_EQ(RETURN_LOG_OPEN_FAILED,
              ValidateRegistry("SOFTWARE", plan.c_str(), folderAsLog.c_str(), reg::HKEY_LOCAL_MACHINE));
    // With no module there is no guarded line.
    WriteFile(plan, PlanText().End("1").str());
    EXPECT_EQ(RETURN_SUCCESS, ValidateRegistry("SOFTWARE", plan.c_str(), folderAsLog.c_str(), reg::HKEY_LOCAL_MACHINE));
}

} // namespace

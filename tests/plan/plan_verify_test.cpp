// The plan check on plans held in an INI store.
#include <gtest/gtest.h>

#include "engine/plan/verify_ini.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/ini/ini_store.h"
#include "tests/common/test_env.h"

namespace halcyon {
namespace {

constexpr uint64_t kAllowNoRecovery = 0x4000000000ULL;

const char *kModule = "ReleaseName=Module\nReleaseID=301\nPathToRelease=sources\\data\\301\nSetupFile=setup.sh\n"
                      "Temporary=False\nRecoverable=True\nPartType=Module\nInstallerType=EXE/BATCH\nMajorVersion=1\n"
                      "DetailedVersion=1.0\nBasePlus=True\nPartId=P301\nTotalSize=1024\nVerificationType=ReturnCode\n";

std::string ImageSection(const char *name, const char *releaseName = "Image", const char *releaseId = "100",
                         const char *path = "sources\\data\\100")
{
    return std::string("[") + name + "]\nReleaseName=" + releaseName + "\nReleaseID=" + releaseId +
           "\nPathToRelease=" + path + "\n";
}

// A sound plan: both images, one module, one PE module, one application.
std::string SoundPlan()
{
    return ImageSection("Image") + "[Image App1]\n" + kModule + "[Image App2]\nEnd=True\n" +
           ImageSection("RecoveryImage", "Recovery", "200", "sources\\data\\200") + "[1]\n" + kModule +
           "[2]\nEnd=True\n[PE1]\n" + kModule + "[PE2]\nEnd=True\n";
}

int32_t Check(const std::string &text, uint64_t options = 0)
{
    support::CMemoryIniIO store;
    store.LoadText(text);
    return VerifyIni(store, "", options);
}

TEST(VerifyIni, SoundPlanPasses) { EXPECT_EQ(0, Check(SoundPlan())); }

TEST(VerifyIni, ImageKeysAbsentOrTooShort)
{
    struct Case {
        std::string image;
        int32_t code;
    } cases[] = {
        {ImageSection("Image", "A"), 12},
        {ImageSection("Image", "Image", "1"), 13},
        {ImageSection("Image", "Image", "100", "s"), 14},
        {"[Image]\nReleaseID=100\nPathToRelease=sources\n", 19},
        {"[Image]\nReleaseName=Image\nPathToRelease=sources\n", 20},
        {"[Image]\nReleaseName=Image\nReleaseID=100\n", 21},
        // A stored value equal to the read default counts as absent.
        {"[Image]\nReleaseName=INI READ ERROR!\nReleaseID=100\nPathToRelease=sources\n", 19},
    };
    for (const Case &c : cases) {
        std::string plan = SoundPlan();
        plan.replace(0, ImageSection("Image").size(), c.image);
        EXPECT_EQ(c.code, Check(plan)) << c.image;
    }
    // The same codes come from a bad [RecoveryImage].
    std::string plan = SoundPlan();
    std::string recovery = ImageSection("RecoveryImage", "Recovery", "200", "sources\\data\\200");
    plan.replace(plan.find(recovery), recovery.size(), ImageSection("RecoveryImage", "R"));
    EXPECT_EQ(12, Check(plan));
}

TEST(VerifyIni, MissingImageSectionsDoNotStopTheCheck)
{
    std::string recovery = ImageSection("RecoveryImage", "Recovery", "200", "sources\\data\\200");
    std::string noRecovery = SoundPlan();
    noRecovery.erase(noRecovery.find(recovery), recovery.size());
    EXPECT_EQ(90, Check(noRecovery));
    EXPECT_EQ(0, Check(noRecovery, kAllowNoRecovery));

    std::string noImage = SoundPlan();
    noImage.erase(0, ImageSection("Image").size());
    EXPECT_EQ(89, Check(noImage));

    std::string neither = noImage;
    neither.erase(neither.find(recovery), recovery.size());
    EXPECT_EQ(90, Check(neither));
    EXPECT_EQ(89, Check(neither, kAllowNoRecovery));

    // A bad module wins over a missing image section.
    std::string badModule = noImage;
    badModule.replace(badModule.find("[1]\nReleaseName=Module"), 22, "[1]\nReleaseName=M");
    EXPECT_EQ(98, Check(badModule));
}

TEST(VerifyIni, FamiliesReadUpToTheirEnd)
{
    std::string images = ImageSection("Image") + ImageSection("RecoveryImage", "Recovery", "200", "s2");
    std::string apps = std::string("[Image App1]\n") + kModule + "[Image App2]\nEnd=True\n";
    std::string modules = std::string("[1]\n") + kModule + "[2]\nEnd=True\n";

    // No PE module at all, but the terminator: passes.
    EXPECT_EQ(0, Check(images + apps + modules + "[PE1]\nEnd=True\n"));
    // A family with neither members nor terminator reads as a bad member.
    EXPECT_EQ(98, Check(images + apps + modules));
    EXPECT_EQ(98, Check(images + modules + "[PE1]\nEnd=True\n"));
    EXPECT_EQ(98, Check(images + apps + "[PE1]\nEnd=True\n"));
    // A member with a missing required key; a terminator with module keys
    // still ends the family.
    std::string noPartId = std::string(kModule);
    noPartId.erase(noPartId.find("PartId=P301\n"), 12);
    EXPECT_EQ(98, Check(images + apps + "[1]\n" + noPartId + "[2]\nEnd=True\n[PE1]\nEnd=True\n"));
    EXPECT_EQ(0, Check(images + apps + "[1]\nEnd=True\n" + noPartId + "[PE1]\nEnd=True\n"));
}

} // namespace
} // namespace halcyon

// A module's VerificationType must be one of the exact words, and a value
// the plan file cannot hold is named by its key.
namespace halcyon::test {
namespace {

std::string Plan(const std::string &family, const std::string &verificationLine)
{
    return "[Image]\nReleaseName=Found\nReleaseID=100\nPathToRelease=rel\\os\n"
           "[RecoveryImage]\nReleaseName=Rcv\nReleaseID=200\nPathToRelease=rel\\rcv\n"
           "[" + family + "1]\nReleaseName=Mod\nReleaseID=300\nPathToRelease=mods\\300\nSetupFile=setup.exe\n"
           "Temporary=FALSE\nRecoverable=True\nPartType=Module\nModuleType=Module\nInstallerType=EXE/BATCH\n"
           "MajorVersion=1\nDetailedVersion=1.0\nCustomerLabel=Mod\nBasePlus=True\nPartId=P300\nTotalSize=1\n" +
           verificationLine + "[" + family + "2]\nEnd=True\n" + (family.empty() ? "[PE1]\nEnd=True\n" : "[1]\nEnd=True\n") +
           "[Image App1]\nEnd=True\n";
}

TEST(PlanVerify, VerificationTypeWordsAreExact)
{
    struct Row {
        const char *line; // the VerificationType line of module [1] / [PE1]
        int32_t want;
    } rows[] = {
        {"VerificationType=ReturnCode\n", 0},
        {"VerificationType=VerCheckAfter\n", 0},
        {"VerificationType=None\n", 0},
        {"VerificationType=returncode\n", RETURN_UNKNOWN_VERIFICATION_TYPE},
        {"VerificationType=RETURNCODE\n", RETURN_UNKNOWN_VERIFICATION_TYPE},
        {"VerificationType=Checksum\n", RETURN_UNKNOWN_VERIFICATION_TYPE},
        {"VerificationType=\n", RETURN_UNKNOWN_VERIFICATION_TYPE},
        {"", RETURN_UNKNOWN_VERIFICATION_TYPE},
    };
    TempDir dir("plan-verify");
    for (const std::string family : {"", "PE"}) {
        for (const Row &row : rows) {
            SCOPED_TRACE(family + ": " + row.line);
            WriteFile(dir / "halcyon.ini", Plan(family, row.line));
            support::CMemoryIniIO store(false);
            ASSERT_TRUE(store.LoadFile(dir / "halcyon.ini"));
            std::remove((dir / "check.log").c_str());
            EXPECT_EQ(VerifyIni(store, dir / "check.log", 0), row.want);
            if (row.want != 0) {
                EXPECT_NE(ReadFile(dir / "check.log").find("[" + family + "1] VerificationType="), std::string::npos);
            }
        }
    }
}

} // namespace
} // namespace halcyon::test

namespace halcyon::test {
namespace {

// A value the plan file cannot hold is named by its section and key.
TEST(PlanVerify, LineBreakInAnIdfValueNamesTheKey)
{
    MachineScope machine;
    TempDir dir("plan-linebreak");
    const std::string sample = std::string(HALCYON_SOURCE_DIR) + "/tests/plan/data/";
    std::string idf = ReadFile(sample + "nx500.xml");
    const std::string label = "CustomerLabel=\"Card Reader\"";
    ASSERT_NE(idf.find(label), std::string::npos);
    idf.replace(idf.find(label), label.size(), "CustomerLabel=\"Card&#10;Reader\"");
    WriteFile(dir / "idf.xml", idf);
    testing::internal::CaptureStdout();
    const uint32_t rc = MakeIniX((dir / "idf.xml").c_str(), (sample + "nx500.bom").c_str(),
                                 (dir / "halcyon.ini").c_str(), (dir / "plan.log").c_str(), 1000, 0);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(rc, 0u);
    EXPECT_NE(console.find("] CustomerLabel can not be written to the plan: its value holds a line break"),
              std::string::npos)
        << console;
}

} // namespace
} // namespace halcyon::test

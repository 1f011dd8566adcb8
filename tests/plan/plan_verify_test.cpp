// The plan check on plans held in an INI store.
#include <gtest/gtest.h>

#include "engine/plan/verify_ini.h"
#include "support/ini/ini_store.h"

namespace halcyon {
namespace {

constexpr uint64_t kAllowNoRecovery = 0x4000000000ULL;

const char *kModule = "ReleaseName=Module\nReleaseID=301\nPathToRelease=sources\\data\\301\nSetupFile=setup.sh\n"
                      "Temporary=False\nRecoverable=True\nPartType=Module\nInstallerType=EXE/BATCH\nMajorVersion=1\n"
                      "DetailedVersion=1.0\nBasePlus=True\nPartId=P301\nTotalSize=1024\n";

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

// The plan check refuses a module whose VerificationType is not one of the
// exact words, with a line that names the section and the value.
#include <gtest/gtest.h>

#include "engine/plan/verify_ini.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/ini/ini_store.h"
#include "tests/common/test_env.h"

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

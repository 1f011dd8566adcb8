// Module records in nrvinst.oem.
#include <cstdlib>
#include <gtest/gtest.h>

#include "engine/staging/nrvinst_oem.h"
#include "platform/machine_prefix.h"
#include "platform/profile.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using namespace halcyon::modules;

namespace {

ModuleRecord Module(const std::string &id, const std::string &partType = "Module", const std::string &moduleType = "")
{
    ModuleRecord r;
    r.ReleaseID = id;
    r.PartType = partType;
    r.ModuleType = moduleType;
    return r;
}

class NrvinstTest : public ::testing::Test {
protected:
    std::string Get(const char *section, const std::string &key)
    {
        return platform::GetPrivateProfileString(section, key, "<absent>", file_);
    }
    test::TempDir dir_{"halcyon-nrvinst"};
    std::string file_ = dir_ / "nrvinst.oem";
};

} // namespace

TEST(EPID, PaddedToTenCharacters)
{
    const char *const cases[][2] = {
        {"300100", "EP0000300100"}, {"1234567890", "EP1234567890"}, {"123456789012", "EP123456789012"},
        {"A1", "EP00000000A1"},
    };
    for (const auto &[releaseId, epid] : cases)
        EXPECT_EQ(MakeEPID(releaseId), epid) << releaseId;
}

TEST_F(NrvinstTest, MissingFileGetsSkeletonAndFirstModule)
{
    ModuleRecord m = Module("300100");
    ASSERT_EQ(WriteEPIDToNrvinstFile(&m, file_, ""), 0);
    EXPECT_EQ(Get("FI", "FI"), "");
    EXPECT_EQ(Get("Module", "1"), "EP0000300100");
    EXPECT_EQ(Get("Module", "2"), "End");
    EXPECT_EQ(Get("Module", "3"), "<absent>");
}

TEST_F(NrvinstTest, ModulesAppendInOrderAndOnlyOnce)
{
    ModuleRecord a = Module("300100"), b = Module("123456789012");
    ASSERT_EQ(WriteEPIDToNrvinstFile(&a, file_, ""), 0);
    ASSERT_EQ(WriteEPIDToNrvinstFile(&b, file_, ""), 0);
    const std::string once = test::ReadFile(file_);
    ASSERT_EQ(WriteEPIDToNrvinstFile(&b, file_, ""), 0);
    ASSERT_EQ(WriteEPIDToNrvinstFile(&a, file_, ""), 0);
    EXPECT_EQ(test::ReadFile(file_), once);
    EXPECT_EQ(Get("Module", "1"), "EP0000300100");
    EXPECT_EQ(Get("Module", "2"), "EP123456789012");
    EXPECT_EQ(Get("Module", "3"), "End");
}

TEST_F(NrvinstTest, WalkStopsAtAGapAndMatchesWithoutCase)
{
    test::WriteFile(file_, "[FI]\r\nFI=EP0000999999\r\n[Module]\r\n1=ep0000300100\r\n3=End\r\n");
    ModuleRecord known = Module("300100"), fresh = Module("300200");
    ASSERT_EQ(WriteEPIDToNrvinstFile(&known, file_, ""), 0);
    EXPECT_EQ(Get("Module", "2"), "<absent>");
    ASSERT_EQ(WriteEPIDToNrvinstFile(&fresh, file_, ""), 0);
    EXPECT_EQ(Get("Module", "2"), "EP0000300200");
    EXPECT_EQ(Get("Module", "3"), "End");
    EXPECT_EQ(Get("FI", "FI"), "EP0000999999"); // the image's record is kept
}

TEST_F(NrvinstTest, OnlyModulesAreRecorded)
{
    ModuleRecord app = Module("300100", "Application"), pe = Module("300200", "module", "pe-module");
    EXPECT_EQ(WriteEPIDToNrvinstFile(&app, file_, ""), 0);
    EXPECT_EQ(WriteEPIDToNrvinstFile(&pe, file_, ""), 0);
    EXPECT_EQ(Get("Module", "1"), "End"); // the skeleton only
    ModuleRecord lower = Module("300300", "MODULE", "Driver");
    EXPECT_EQ(WriteEPIDToNrvinstFile(&lower, file_, ""), 0);
    EXPECT_EQ(Get("Module", "1"), "EP0000300300");
}

TEST_F(NrvinstTest, NoRecordOrNoReleaseId)
{
    EXPECT_EQ(WriteEPIDToNrvinstFile(nullptr, file_, ""), -1);
    EXPECT_FALSE(test::ReadFile(file_).size());
    ModuleRecord empty = Module("");
    EXPECT_EQ(WriteEPIDToNrvinstFile(&empty, file_, ""), -1);
    EXPECT_EQ(Get("Module", "1"), "End"); // the skeleton is written first
}

// The emulated machine's default Windows folder (Linux only: the path mapping).
#if !defined(_WIN32)
TEST_F(NrvinstTest, DefaultPathIsTheMachinesSystemFolder)
{
    test::MachineScope machine;
    ::unsetenv("windir");
    ::unsetenv("WINDIR");
    EXPECT_EQ(DefaultNrvinstPath(), "C:\\Windows\\system32\\nrvinst.oem");
    ModuleRecord m = Module("300100");
    ASSERT_EQ(WriteEPIDToNrvinstFile(&m, "", ""), 0);
    const std::string host = platform::DriveFolder('C') + "/Windows/system32/nrvinst.oem";
    EXPECT_EQ(platform::GetPrivateProfileString("Module", "1", "", host), "EP0000300100");
}
#endif

// A run stopped after the skeleton's first write left [FI] alone: the next
// record gives the same file as an uninterrupted run, list in key order.
TEST_F(NrvinstTest, SkeletonCutShortEndsLikeAnUninterruptedRun)
{
    ModuleRecord m = Module("300100");
    ASSERT_EQ(WriteEPIDToNrvinstFile(&m, file_, ""), 0);
    const std::string uninterrupted = test::ReadFile(file_);

    test::TempDir other("halcyon-nrvinst-cut");
    const std::string cut = other / "nrvinst.oem";
    ASSERT_TRUE(platform::WritePrivateProfileString("FI", "FI", std::string_view(), cut));
    ASSERT_EQ(WriteEPIDToNrvinstFile(&m, cut, ""), 0);
    EXPECT_EQ(uninterrupted, test::ReadFile(cut));
}

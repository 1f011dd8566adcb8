// GetMiniCDriveSize: fixed and calculated C: sizes from the plan, the
// machine's memory and the C-drive settings file.
#include <gtest/gtest.h>

#include <string>

#include "halcyon/HalcyonDLL.h"
#include "platform/machine.h"
#include "tests/common/test_env.h"

using namespace halcyon;

namespace {

struct Result {
    int32_t code;
    uint8_t warning;
    int32_t size;
    int32_t sizeNoRecovery;
};

class CDriveSizeTest : public ::testing::Test {
protected:
    void Memory(const std::string &mb) { ASSERT_TRUE(platform::SetMachineSetting("Identity", "PhysicalMemoryMB", mb)); }
    void Plan(int image, int permanent, int temporary, const std::string &os)
    {
        test::WriteFile(plan_, "[Image]\nOS=" + os + "\n[PartitionInformation]\nImageSize=" + std::to_string(image) +
                                   "MB\nPermanentModuleSize=" + std::to_string(permanent) +
                                   "MB\nTemporaryModuleSize=" + std::to_string(temporary) + "MB\n");
    }
    void Settings(const std::string &keys) { test::WriteFile(settings_, "[CDrive]\n" + keys); }
    Result Run(const std::string &plan, const std::string &settings)
    {
        Result r{0, 7, -1, -1}; // sentinels a failure must leave alone
        r.code = GetMiniCDriveSize(plan.c_str(), settings.c_str(), "ignored", &r.warning, &r.size, &r.sizeNoRecovery);
        return r;
    }
    Result Run() { return Run(plan_, settings_); }

    test::MachineScope machine_;
    test::TempDir dir_{"cdrive"};
    std::string plan_ = dir_ / "halcyon.ini";
    std::string settings_ = dir_ / "cdrive.ini";
};

const char *const kAuto = "Default=AutoCalculation\nMultiplierP1=1.5\nMultiplierMemory=0.5\nBuffer=10\n";

TEST_F(CDriveSizeTest, FixedSize)
{
    Settings("Default=Fixed\nUsed=20000\nWarning=Yes\n");
    Result r = Run("", settings_); // the plan is not read in fixed mode
    EXPECT_EQ(0, r.code);
    EXPECT_EQ(20000, r.size);
    EXPECT_EQ(20000, r.sizeNoRecovery);
    EXPECT_EQ(0, r.warning);

    for (const char *keys : {"Used=0\n", "", "Default=Fixed\nUsed=-5\n"}) {
        SCOPED_TRACE(keys);
        Settings(keys);
        r = Run();
        EXPECT_EQ(120, r.code);
        EXPECT_EQ(-1, r.size);
        EXPECT_EQ(7, r.warning);
    }
}

TEST_F(CDriveSizeTest, CalculatedSizeCutsFractions)
{
    Memory("301");
    Plan(101, 0, 0, "Win11 x64");
    Settings(std::string(kAuto) + "Warning=yes\n");
    Result r = Run();
    ASSERT_EQ(0, r.code);
    EXPECT_EQ(151 + 150 + 10, r.size);
    EXPECT_EQ(r.size, r.sizeNoRecovery);
    EXPECT_EQ(1, r.warning);

    // Not 64-bit: memory counts at most 4096 MB. "64" anywhere is 64-bit.
    Memory("8192");
    Plan(100, 0, 0, "Win10 x86");
    Settings(std::string(kAuto) + "Warning=No\n");
    r = Run();
    EXPECT_EQ(150 + 2048 + 10, r.size);
    EXPECT_EQ(0, r.warning);
    Plan(100, 0, 0, "W64");
    EXPECT_EQ(150 + 4096 + 10, Run().size);
}

TEST_F(CDriveSizeTest, SizeWithoutRecoveryPartition)
{
    const std::string noRecv = "MultiplierP1ForNoRecvPrt=2\nMultiplierMemoryForNoRecvPrt=1\n";
    // Modules 2048 MB in all, memory 2047 MB: the larger (modules) is added.
    Memory("2047");
    Plan(1000, 1024, 1024, "x64");
    Settings(std::string(kAuto) + noRecv + "BufferForNoRecvPrt=5\n");
    Result r = Run();
    ASSERT_EQ(0, r.code);
    EXPECT_EQ(4572 + 1023 + 10, r.size); // S = 3048
    EXPECT_EQ(6096 + 2047 + 5 + 2048, r.sizeNoRecovery);

    Memory("4096");
    EXPECT_EQ(6096 + 4096 + 5 + 4096, Run().sizeNoRecovery);

    // Without its buffer the second size is the first.
    Settings(std::string(kAuto) + noRecv + "BufferForNoRecvPrt=0\n");
    r = Run();
    EXPECT_EQ(r.size, r.sizeNoRecovery);
}

TEST_F(CDriveSizeTest, Failures)
{
    Memory("4096");
    Plan(100, 0, 0, "x64");
    Settings(kAuto);
    struct Case {
        const char *name;
        std::string plan, settings, settingsText, planOs;
        int32_t code;
    } cases[] = {
        {"no settings path", plan_, "", kAuto, "x64", 12},
        {"settings missing", plan_, dir_ / "none.ini", kAuto, "x64", 26},
        {"no plan path", "", settings_, kAuto, "x64", 12},
        {"plan missing", dir_ / "none.ini", settings_, kAuto, "x64", 26},
        {"no OS", plan_, settings_, kAuto, "", 122},
        {"no buffer", plan_, settings_, "Default=autocalculation\nMultiplierP1=1\nMultiplierMemory=1\n", "x64", 122},
        {"zero multiplier", plan_, settings_, "Default=AutoCalculation\nMultiplierP1=0\nMultiplierMemory=1\nBuffer=1\n",
         "x64", 122},
        {"multiplier not a number", plan_, settings_,
         "Default=AutoCalculation\nMultiplierP1=nan\nMultiplierMemory=1\nBuffer=1\n", "x64", 122},
        {"product beyond 32 bits", plan_, settings_,
         "Default=AutoCalculation\nMultiplierP1=1e12\nMultiplierMemory=1\nBuffer=1\n", "x64", 122},
        {"sum beyond 32 bits", plan_, settings_,
         "Default=AutoCalculation\nMultiplierP1=1\nMultiplierMemory=1\nBuffer=2147483647\n", "x64", 122},
        {"second size beyond 32 bits", plan_, settings_,
         std::string(kAuto) + "MultiplierP1ForNoRecvPrt=inf\nMultiplierMemoryForNoRecvPrt=1\nBufferForNoRecvPrt=1\n",
         "x64", 0},
        {"second buffer beyond 32 bits", plan_, settings_,
         std::string(kAuto) + "MultiplierP1ForNoRecvPrt=1\nMultiplierMemoryForNoRecvPrt=1\nBufferForNoRecvPrt=2147483647\n",
         "x64", 122},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Settings(c.settingsText);
        Plan(100, 0, 0, c.planOs);
        Result r = Run(c.plan, c.settings);
        EXPECT_EQ(c.code, r.code);
        if (c.code != 0) {
            EXPECT_EQ(-1, r.size);
            EXPECT_EQ(-1, r.sizeNoRecovery);
            EXPECT_EQ(7, r.warning);
        }
    }

    // Memory size unknown.
    Settings(kAuto);
    Memory("0");
    EXPECT_EQ(121, Run().code);
}

} // namespace

// Message pump hook and memory size of the support library.
#include <gtest/gtest.h>

#include "platform/machine.h"
#include "support/general/general.h"
#include "tests/common/test_env.h"

using namespace halcyon;

TEST(General, DoEventsRunsTheRegisteredPumpOnly)
{
    support::DoEvents(); // none registered: returns at once
    int pumped = 0;
    support::SetMessagePump([&] { ++pumped; });
    support::DoEvents();
    support::DoEvents();
    support::SetMessagePump({});
    support::DoEvents();
    EXPECT_EQ(pumped, 2);
}

TEST(General, PhysicalMemoryInBytes)
{
    test::MachineScope machine;
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "PhysicalMemoryMB", "2048"));
    int64_t bytes = 0;
    ASSERT_TRUE(support::GetPhysicalMemorySize(bytes));
    EXPECT_EQ(bytes, 2048ll << 20);
    // Too large for a signed 64-bit byte count.
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "PhysicalMemoryMB", "18446744073709551615"));
    EXPECT_FALSE(support::GetPhysicalMemorySize(bytes));
    // Without a setting the real machine answers.
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "PhysicalMemoryMB", "none"));
    ASSERT_TRUE(support::GetPhysicalMemorySize(bytes));
    EXPECT_GT(bytes, 0);
}

// An image applied into a module folder deeper than MAX_PATH: LoadImgX
// reaches it through the file layer's long form.
#include <gtest/gtest.h>

#include <string>

#include "halcyon/HalcyonDLL.h"
#include "platform/machine.h"
#include "support/files/file_ops.h"
#include "support/wim/wim_builder.h"
#include "tests/common/test_env.h"

using namespace halcyon;

namespace {

constexpr uint64_t kDirect = 0x8;

TEST(WindowsLongPaths, ImageAppliesIntoAFolderBeyondMaxPath)
{
    test::MachineScope machine;
    platform::SetMachineSetting("Identity", "BLID", "ABC1234567Z");
    test::TempDir dir("long-apply");
    std::string deep = dir.path();
    while (deep.size() < 300)
        deep += "\\folder-of-a-module-" + std::to_string(deep.size());
    const std::string src = dir.path() + "\\src", dst = deep + "\\dst", content = dir.path() + "\\content";
    test::WriteFile(content + "\\found.txt", "image found\n");
    test::WriteFile(content + "\\Windows\\system32\\drivers\\etc\\hosts", "127.0.0.1 localhost\n");
    ASSERT_TRUE(support::RecursiveFolderCreate(src + "\\"));
    ASSERT_TRUE(support::RecursiveFolderCreate(dst + "\\"));
    support::wim::WimImageSpec image;
    image.sourceFolder = content;
    image.description = "FOUNDATION IMAGE 1";
    std::string error;
    ASSERT_EQ(support::wim::CreateWim(src + "\\img.wim", {image}, support::wim::WimCompression::Xpress, &error), 0)
        << error;
    const std::string plan = dir.path() + "\\halcyon.ini", log = dir.path() + "\\load.log";
    test::WriteFile(plan, "[Image]\nReleaseName=Foundation\nReleaseID=12345\nPathToRelease=rel\\os\n"
                          "BLID=ABC1234567Z\n[1]\nEnd=True\n[PE1]\nEnd=True\n[Image App1]\nEnd=True\n");
    ASSERT_EQ(LoadImgX(plan.c_str(), src.c_str(), dst.c_str(), "", "img.wim", log.c_str(), kDirect,
                       [](uint32_t, uintptr_t, intptr_t, void *) -> uint32_t { return 0; }, nullptr, "", ""),
              0)
        << test::ReadFile(log);
    EXPECT_EQ(test::ReadFile(dst + "\\found.txt"), "image found\n");
    EXPECT_TRUE(support::FileExist(dst + "\\Windows\\system32\\drivers\\etc\\hosts"));
}

} // namespace

// LoadImgX never writes its working copy through a symbolic link in the
// caller's temporary folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/wim/wim_builder.h"
#include "tests/common/link_escape.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;

TEST(LoadImgXLinkEscape, TemporaryFolder)
{
    test::MachineScope machine;
    struct Row {
        const char *wimName;
        const char *joined;
        bool toFile;
    } rows[] = {{"img.wim", "img.wim", true}, {"sub\\img.wim", "sub/img.wim", false}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.wimName);
        auto results = test::ExpectNoLinkEscape(
            row.joined,
            [&](const std::string &scratch) {
                for (const char *d : {"src", "dst", "tmp", "content"})
                    fs::create_directories(scratch + "/" + d);
                test::WriteFile(scratch + "/content/a.txt", "a");
                test::WriteFile(scratch + "/halcyon.ini", "[IDF]\n");
                support::wim::WimImageSpec spec;
                spec.sourceFolder = scratch + "/content";
                spec.description = "FOUNDATION IMAGE 1";
                std::string source = scratch + "/src/" + std::string(row.joined);
                fs::create_directories(fs::path(source).parent_path());
                std::string error;
                EXPECT_EQ(support::wim::CreateWim(source, {spec}, support::wim::WimCompression::Xpress, &error), 0);
                return test::LinkEscapeScene{scratch + "/tmp", [scratch, name = std::string(row.wimName)] {
                    return LoadImgX((scratch + "/halcyon.ini").c_str(), (scratch + "/src").c_str(),
                                    (scratch + "/dst").c_str(), (scratch + "/tmp").c_str(), name.c_str(),
                                    (scratch + "/load.log").c_str(), 0x8 | 0x1000000000ull, nullptr, nullptr,
                                    (scratch + "/nrvinst.oem").c_str(), "");
                }};
            },
            row.toFile);
        for (const auto &r : results)
            EXPECT_EQ(r.rc, RETURN_UNSAFE_PATH) << r.linkAt;
    }
}

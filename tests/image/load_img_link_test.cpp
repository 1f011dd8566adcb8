// LoadImgX never writes through a symbolic link: its working copy in the
// caller's temporary folder, the machine's records below the applied image.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/image/wim_scramble.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/path_map.h"
#include "support/wim/wim_builder.h"
#include "tests/common/link_escape.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;

namespace {

constexpr uint64_t kDirectWithoutBlidCheck = 0x8 | 0x1000000000ull;

// Captures `scratch`/content as a foundation image into `wimPath`; the
// description of a failure goes to `error`.
int32_t CaptureFoundation(const std::string &scratch, const std::string &wimPath, std::string *error = nullptr)
{
    support::wim::WimImageSpec spec;
    spec.sourceFolder = scratch + "/content";
    spec.description = "FOUNDATION IMAGE 1";
    fs::create_directories(fs::path(wimPath).parent_path());
    return support::wim::CreateWim(wimPath, spec, support::wim::WimCompression::Xpress, error);
}

uint32_t Silent(uint32_t, uintptr_t, intptr_t, void *) { return WIM_MSG_SUCCESS; }

// LoadImgX of `scratch`/src/img.wim into `dest` without a temporary folder.
int32_t LoadWithoutTemp(const std::string &scratch, const std::string &dest, uint64_t options)
{
    return LoadImgX((scratch + "/halcyon.ini").c_str(), (scratch + "/src").c_str(), dest.c_str(), "", "img.wim",
                    (scratch + "/load.log").c_str(), options, &Silent, nullptr, "", "");
}

void ExpectAllRefused(const std::vector<test::LinkEscapeResult> &results)
{
    for (const auto &r : results)
        EXPECT_EQ(r.rc, RETURN_UNSAFE_PATH) << r.linkAt;
}

} // namespace

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
                std::string error;
                EXPECT_EQ(CaptureFoundation(scratch, scratch + "/src/" + std::string(row.joined), &error), 0) << error;
                return test::LinkEscapeScene{scratch + "/tmp", [scratch, name = std::string(row.wimName)] {
                    return LoadImgX((scratch + "/halcyon.ini").c_str(), (scratch + "/src").c_str(),
                                    (scratch + "/dst").c_str(), (scratch + "/tmp").c_str(), name.c_str(),
                                    (scratch + "/load.log").c_str(), kDirectWithoutBlidCheck, nullptr, nullptr,
                                    (scratch + "/nrvinst.oem").c_str(), "");
                }};
            },
            row.toFile);
        ExpectAllRefused(results);
    }
}

// An image that carries a link on the way to the machine's nrvinst.oem: the
// records are refused (and the load with them), never written through it.
TEST(LoadImgXLinkEscape, RecordsBelowTheAppliedImage)
{
    test::MachineScope machine;
    const std::string driveC = platform::MapPathText("C:\\");
    struct Row {
        const char *joined;
        bool toFile;
    } rows[] = {{"Windows/System32", false}, {"Windows/System32/nrvinst.oem", true}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.joined);
        auto results = test::ExpectNoLinkEscape(
            row.joined,
            [&](const std::string &scratch) {
                std::error_code ec;
                fs::remove_all(driveC, ec);
                fs::create_directories(driveC);
                fs::create_directories(scratch + "/src");
                test::WriteFile(scratch + "/content/Windows/System32/drivers/etc/hosts", "127.0.0.1 localhost\n");
                test::WriteFile(scratch + "/halcyon.ini", "[IDF]\nBomSnapshotID=SNAP77\n");
                // The link is planted in the folder the image is captured from.
                return test::LinkEscapeScene{scratch + "/content", [scratch, driveC] {
                    if (CaptureFoundation(scratch, scratch + "/src/img.wim") != 0)
                        return -1;
                    return LoadWithoutTemp(scratch, driveC, 0x80000000ull | kDirectWithoutBlidCheck);
                }};
            },
            row.toFile);
        ExpectAllRefused(results);
    }
}

// A link an earlier image or run left in the destination, where this image
// puts a folder or a file: nothing is extracted through it.
TEST(LoadImgXLinkEscape, LinksAlreadyInTheDestination)
{
    test::MachineScope machine;
    for (bool toFile : {false, true}) {
        auto results = test::ExpectNoLinkEscape(
            toFile ? "Windows/System32/drivers/etc/hosts" : "Windows/System32/drivers",
            [&](const std::string &scratch) {
                test::WriteFile(scratch + "/content/Windows/System32/drivers/etc/hosts", "127.0.0.1 localhost\n");
                test::WriteFile(scratch + "/halcyon.ini", "[IDF]\n");
                EXPECT_EQ(CaptureFoundation(scratch, scratch + "/src/img.wim"), 0);
                return test::LinkEscapeScene{scratch + "/dst", [scratch] {
                    return LoadWithoutTemp(scratch, scratch + "/dst", kDirectWithoutBlidCheck);
                }};
            },
            toFile);
        ExpectAllRefused(results);
    }
}

// Without a temporary folder the source image is unscrambled in place: a
// source image that is a link to a scrambled image outside is refused.
TEST(LoadImgXLinkEscape, ScrambledSourceImageThatIsALink)
{
    test::MachineScope machine;
    auto results = test::ExpectNoLinkEscape(
        "img.wim",
        [&](const std::string &scratch) {
            test::WriteFile(scratch + "/content/a.txt", "a");
            test::WriteFile(scratch + "/halcyon.ini", "[IDF]\n");
            const std::string outside = scratch + "/canary/outside.wim";
            EXPECT_EQ(CaptureFoundation(scratch, outside), 0);
            EXPECT_TRUE(image::EncryptDecryptWim(outside));
            fs::create_directories(scratch + "/src");
            fs::create_directories(scratch + "/dst");
            return test::LinkEscapeScene{
                scratch + "/src", [scratch] { return LoadWithoutTemp(scratch, scratch + "/dst", kDirectWithoutBlidCheck); },
                outside};
        },
        true);
    ExpectAllRefused(results);
}

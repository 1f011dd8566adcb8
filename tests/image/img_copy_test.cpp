// ImgCopyX: the plan's image release folder (or a custom folder named by the
// caller) copied from a source tree to a destination tree.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <unistd.h>

#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "tests/common/file_layer_recorder.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/link_escape.h"
#include "tests/common/scratch_fixture.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

namespace {

constexpr uint64_t kRecovery = 0x4;
constexpr uint64_t kDirect = 0x8;
constexpr uint64_t kSystemImage = 0x200000;

const char *const kFamilies = "[1]\nEnd=True\n[PE1]\nEnd=True\n[Image App1]\nEnd=True\n";

class ImgCopyTest : public ScratchTest {
protected:
    std::string src = dir / "src";
    std::string dst = dir / "dst";

    void SetUp() override
    {
        fs::create_directories(src + "/rel/os/sub");
        fs::create_directories(src + "/rel/rcv");
        fs::create_directories(dst);
        WriteFile(src + "/rel/os/Norv1.nr2", "part one");
        WriteFile(src + "/rel/os/Norv2.nr2", "part two");
        WriteFile(src + "/rel/os/sub/extra.txt", "extra");
        WriteFile(src + "/rel/rcv/recovery.wim", "recovery");
        WritePlan("rel\\os");
    }

    void WritePlan(const std::string &imagePath, const std::string &imageName = "Foundation")
    {
        WriteFile(plan, "[Image]\nReleaseName=" + imageName + "\nReleaseID=12345\nPathToRelease=" + imagePath +
                            "\nBLID=X1\n[RecoveryImage]\nReleaseName=Recovery\nReleaseID=R100\n"
                            "PathToRelease=rel\\rcv\n" +
                            kFamilies);
    }

    int32_t Copy(uint64_t options = 0, const std::string &custom = "", const std::string &planPath = "") const
    {
        const std::string p = planPath.empty() ? plan : planPath;
        return ImgCopyX(p.c_str(), src.c_str(), dst.c_str(), custom.c_str(), log.c_str(), options, 0);
    }
    std::string LogText() const { return fs::exists(log) ? ReadFile(log) : ""; }
    bool LogHas(const std::string &text) const { return LogText().find(text) != std::string::npos; }
    bool DstEmpty() const { return fs::is_empty(dst); }
};

TEST_F(ImgCopyTest, PlanModeCopiesTheReleaseFolderWhole)
{
    ASSERT_EQ(Copy(), RETURN_SUCCESS) << LogText();
    EXPECT_EQ(ReadFile(dst + "/rel/os/Norv1.nr2"), "part one");
    EXPECT_EQ(ReadFile(dst + "/rel/os/Norv2.nr2"), "part two");
    EXPECT_EQ(ReadFile(dst + "/rel/os/sub/extra.txt"), "extra");
    EXPECT_FALSE(fs::exists(dst + "/rel/rcv"));
    for (const char *line : {"ImgCopyX Start", "Verifying INI", "Copying Foundation", "ImgCopyX End"})
        EXPECT_TRUE(LogHas(line)) << line;
}

TEST_F(ImgCopyTest, TheCopyIsOnDiskBeforeSuccess)
{
    FileLayerRecorder rec;
    ASSERT_EQ(Copy(), RETURN_SUCCESS) << LogText();
    EXPECT_TRUE(rec.Durable(dst + "/rel/os"));
}

TEST_F(ImgCopyTest, LinksAtJoinedPathsAreRefused)
{
    const struct {
        const char *joined;
        bool onDest;
        uint64_t options;
        const char *custom;
    } rows[] = {{"rel/os", false, 0, ""}, {"rel/os", true, 0, ""}, {"rel/rcv", false, kDirect, "rel\\rcv"}};
    for (const auto &row : rows) {
        const auto results = ExpectNoLinkEscape(row.joined, [&](const std::string &scratch) {
            const std::string s = scratch + "/src", d = scratch + "/dst", p = scratch + "/halcyon.ini";
            fs::copy(src, s, fs::copy_options::recursive);
            fs::create_directories(d);
            fs::copy_file(plan, p);
            const std::string logPath = log, custom = row.custom;
            const uint64_t options = row.options;
            return LinkEscapeScene{row.onDest ? d : s, [s, d, p, logPath, custom, options] {
                                       return ImgCopyX(p.c_str(), s.c_str(), d.c_str(), custom.c_str(),
                                                       logPath.c_str(), options, 0);
                                   }};
        });
        for (const auto &r : results)
            EXPECT_NE(r.rc, 0) << r.linkAt;
    }
}

TEST_F(ImgCopyTest, PlanModeNeedsTheImageFileItsOptionsName)
{
    fs::remove(src + "/rel/os/Norv1.nr2");
    EXPECT_EQ(Copy(), RETURN_ERROR_LOAD_GENERIC_IMAGE);
    EXPECT_TRUE(LogHas("Error: while calling LoadGenericImage function.(RETURN_ERROR_LOAD_GENERIC_IMAGE)"));
    EXPECT_TRUE(DstEmpty());

    // 0x200000: a "system.*" file instead of the split parts.
    EXPECT_EQ(Copy(kSystemImage), RETURN_ERROR_LOAD_GENERIC_IMAGE);
    WriteFile(src + "/rel/os/system.wim", "whole");
    ASSERT_EQ(Copy(kSystemImage), RETURN_SUCCESS) << LogText();
    EXPECT_EQ(ReadFile(dst + "/rel/os/system.wim"), "whole");

    // 0x4: the recovery image's folder, which must hold a "*.wim".
    ASSERT_EQ(Copy(kRecovery), RETURN_SUCCESS) << LogText();
    EXPECT_EQ(ReadFile(dst + "/rel/rcv/recovery.wim"), "recovery");
    EXPECT_TRUE(LogHas("Copying Recovery"));
}

TEST_F(ImgCopyTest, PlanFailures)
{
    fs::remove(plan);
    EXPECT_EQ(Copy(), 26);
    EXPECT_TRUE(LogHas("Error: Can not find the ini file."));
    EXPECT_TRUE(LogHas("ini file: " + plan));

    WriteFile(plan, "[Image]\nReleaseName=A\nReleaseID=12345\nPathToRelease=rel\\os\nBLID=X1\n" + std::string(kFamilies));
    EXPECT_EQ(Copy(), 12);
    EXPECT_TRUE(LogHas("Error: Verify the ini file error."));

    // [RecoveryImage] is required by the check.
    WriteFile(plan, "[Image]\nReleaseName=Foundation\nReleaseID=12345\nPathToRelease=rel\\os\nBLID=X1\n" +
                        std::string(kFamilies));
    EXPECT_EQ(Copy(), 90);

    // [Image] without the machine ID passes the check but not the image read.
    WriteFile(plan, "[Image]\nReleaseName=Foundation\nReleaseID=12345\nPathToRelease=rel\\os\n[RecoveryImage]\n"
                    "ReleaseName=Recovery\nReleaseID=R100\nPathToRelease=rel\\rcv\n" +
                        std::string(kFamilies));
    EXPECT_EQ(Copy(), RETURN_ERROR_LOAD_GENERIC_IMAGE);
    EXPECT_TRUE(DstEmpty());
}

TEST_F(ImgCopyTest, RootsMustExist)
{
    fs::remove_all(dst);
    EXPECT_EQ(Copy(), RETURN_DEST_DIR_NOT_EXIST);
    EXPECT_TRUE(LogHas("Error: Can not find the dest path for image"));
    EXPECT_TRUE(LogHas("sDestDir: " + dst + "\\"));
    fs::remove_all(src);
    EXPECT_EQ(Copy(), RETURN_SOURCE_DIR_NOT_EXIST);
    EXPECT_TRUE(LogHas("Error: Can not find the source path for image"));
    EXPECT_TRUE(LogHas("sSourceDir: " + src + "\\"));
}

TEST_F(ImgCopyTest, DirectModeNeedsNoPlan)
{
    fs::remove(plan);
    ASSERT_EQ(Copy(kDirect, "rel\\rcv", dir / "no-such-plan.ini"), RETURN_SUCCESS) << LogText();
    EXPECT_EQ(ReadFile(dst + "/rel/rcv/recovery.wim"), "recovery");
    EXPECT_TRUE(LogHas("Copying custom image..."));
    EXPECT_FALSE(LogHas("Verifying INI"));
}

TEST_F(ImgCopyTest, BareFileNamePlanIsLookedUpInTheCurrentFolder)
{
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    int32_t bare = Copy(0, "", "halcyon.ini");
    fs::current_path(previous);
    EXPECT_EQ(bare, RETURN_SUCCESS) << LogText();
    // A host path without backslashes is taken as it is, not below ".".
    fs::remove_all(dst + "/rel");
    EXPECT_EQ(Copy(0, "", plan), RETURN_SUCCESS) << LogText();
}

TEST_F(ImgCopyTest, CopyFailuresReturn117ForAFullDiskAnd64Otherwise)
{
    fs::create_directories(dst + "/rel/os");
    {
        FileLayerRecorder full;
        full.failWritesWith = ENOSPC;
        EXPECT_EQ(Copy(), 117);
        EXPECT_FALSE(LogHas("ImgCopyX End"));
    }
    // A link where a file goes is replaced, never written through.
    fs::create_symlink("/dev/full", dst + "/rel/os/Norv1.nr2");
    EXPECT_EQ(Copy(), RETURN_SUCCESS);
    EXPECT_EQ(ReadFile(dst + "/rel/os/Norv1.nr2"), "part one");
    fs::remove(dst + "/rel/os/Norv1.nr2");
    fs::create_directories(dst + "/rel/os/Norv1.nr2");
    EXPECT_EQ(Copy(), RETURN_COPY_FOLDER);
}

TEST_F(ImgCopyTest, CopyOntoItselfIsRefused)
{
    int32_t rc = ImgCopyX(plan.c_str(), src.c_str(), (src + "/").c_str(), "", log.c_str(), 0, 0);
    EXPECT_EQ(rc, RETURN_COPY_FOLDER);
    EXPECT_EQ(ReadFile(src + "/rel/os/Norv1.nr2"), "part one");
}

TEST_F(ImgCopyTest, UnsafePathToReleaseIsRefusedUntouched)
{
    fs::create_directories(dir / "outside");
    WriteFile(dir / "outside/Norv1.nr2", "not ours");
    WritePlan("..\\outside");
    EXPECT_EQ(Copy(), RETURN_UNSAFE_PATH);
    EXPECT_TRUE(LogHas("PathToRelease='..\\outside'"));
    EXPECT_TRUE(DstEmpty());
}

TEST_F(ImgCopyTest, UnwritableLogEndsTheCopyWith27)
{
    const std::string badLog = dir / "no/such/folder/img.log";
    int32_t rc = ImgCopyX("", src.c_str(), dst.c_str(), "rel", badLog.c_str(), kDirect, 0);
    EXPECT_EQ(rc, 27);
    EXPECT_TRUE(DstEmpty());
}

TEST_F(ImgCopyTest, CommandCopiesPlanAndCustomImages)
{
    std::string out;
    EXPECT_EQ(RunHalcyon("img-copy --plan '" + plan + "' --source '" + src + "' --dest '" + dst + "'", out), 0) << out;
    EXPECT_TRUE(fs::exists(dst + "/rel/os/Norv1.nr2"));
    EXPECT_EQ(RunHalcyon("img-copy --custom rel --source '" + src + "' --dest '" + dst + "/'", out), 0) << out;
    EXPECT_TRUE(fs::exists(dst + "/rel/rcv/recovery.wim"));
    EXPECT_EQ(RunHalcyon("img-copy --source '" + src + "' --dest '" + dst + "'", out), 2) << out;
    fs::remove(plan);
    EXPECT_EQ(RunHalcyon("img-copy --plan '" + plan + "' --source '" + src + "' --dest '" + dst + "'", out), 1);
    EXPECT_NE(out.find("ImgCopyX returned 26"), std::string::npos) << out;
}

} // namespace

} // namespace halcyon::test

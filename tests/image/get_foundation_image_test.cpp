// GetFoundationImage against recovery media laid out by the tests: WIMs
// built here, cut into ".nr2" pieces, discs swapped by the callback.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/courier/courier_faults.h"
#include "support/wim/wim_builder.h"
#include "tests/common/found_parts.h"
#include "tests/common/file_layer_recorder.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/link_escape.h"
#include "tests/common/scratch_fixture.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;
namespace courier = halcyon::support::courier;
namespace wim = halcyon::support::wim;

namespace {

constexpr uint32_t kInsertDisc = 1004;

struct Front {
    std::vector<int64_t> discRequests;
    int progress = 0;
    std::function<void(int)> insertDisc; // lays disc n into the drive
};

void OnMessage(uint32_t message, int64_t param, void *opaque)
{
    auto *front = static_cast<Front *>(opaque);
    if (message == kInsertDisc) {
        front->discRequests.push_back(param);
        if (front->insertDisc)
            front->insertDisc(static_cast<int>(param));
        else
            ADD_FAILURE() << "disc " << param << " asked for, but no disc can be inserted";
    } else if (message == WIM_MSG_PROGRESS) {
        ++front->progress;
    }
}

class GetFoundationImageTest : public test::ScratchTest {
protected:
    void SetUp() override
    {
        fs::create_directories(src);
        test::WriteFile(plan, "[Image]\nReleaseName=Foundation\nPathToRelease=fi\\os1\n");
        WriteMedia("");
    }
    void WriteMedia(const std::string &body) { test::WriteFile(media, body); }

    // A WIM whose foundation image is called `marker`, with a second image
    // before it.
    std::string MakeWim(const std::string &marker)
    {
        const std::string folder = dir / ("content/" + marker);
        test::WriteFile(folder + "/" + marker + ".txt", marker);
        test::WriteFile(folder + "/Windows/big.txt", std::string(30000, static_cast<char>('a' + marker.size() % 20)));
        wim::WimImageSpec other;
        other.sourceFolder = folder;
        other.name = "other";
        other.description = "BASE PLUS IMAGE";
        wim::WimImageSpec found = other;
        found.name = marker;
        found.description = "FOUNDATION IMAGE 1";
        const std::string path = dir / ("wims/" + marker + ".wim");
        fs::create_directories(dir / "wims");
        std::string error;
        EXPECT_EQ(wim::CreateWim(path, {other, found}, wim::WimCompression::Xpress, &error), 0) << error;
        return path;
    }
    int32_t Run(const std::string &source, const std::string &dest, const std::string &exportArg = "")
    {
        return GetFoundationImage(source.c_str(), dest.c_str(), plan.c_str(), media.c_str(), "RDVD", 0x80000,
                                  exportArg.c_str(), &OnMessage, &front, log.c_str());
    }
    int32_t Run() { return Run(src, dst); }
    bool Logged(const std::string &line) const { return Log().find(line) != std::string::npos; }
    std::vector<std::string> Result() const { return test::WimImageNames(dst + "/Norv.wim"); }
    bool NoLeftovers() const
    {
        return !fs::exists(dst + "/FIFILEFOLDER") && !fs::exists(dst + "/Norv.wim.partial");
    }
    // Runs and expects `whole` joined at the destination after only disc 2
    // was asked for, with the `logged` lines and nothing left behind.
    void ExpectJoinedAskingForDisc2(const std::string &whole, std::initializer_list<const char *> logged)
    {
        ASSERT_EQ(Run(), 0) << Log();
        EXPECT_EQ(test::ReadFile(dst + "/Norv.wim"), test::ReadFile(whole));
        EXPECT_EQ(front.discRequests, std::vector<int64_t>{2});
        for (const char *line : logged)
            EXPECT_TRUE(Logged(line)) << line;
        EXPECT_TRUE(NoLeftovers());
    }

    std::string src = dir / "media/sources";
    std::string dst = dir / "dest";
    std::string media = dir / "nrvhdrcv.ini";
    Front front;
};

TEST_F(GetFoundationImageTest, ShapesAreTakenInOrderOfPrecedence)
{
    fs::copy_file(MakeWim("full"), src + "/INSTALL.WIM");
    const std::string split = MakeWim("split");
    ASSERT_EQ(wim::SplitWim(split, src + "/Install.swm", 16 * 1024, nullptr, nullptr), 0);
    fs::copy_file(MakeWim("ready"), src + "/Norv.wim");
    test::CutIntoParts(MakeWim("parts"), src, 3);

    ASSERT_EQ(Run(), 0) << Log();
    EXPECT_EQ(Result(), std::vector<std::string>{"full"});
    EXPECT_TRUE(Logged("After Expend FI from INSTALL.WIM. From: "));
    EXPECT_TRUE(Logged("GetImageIndex :strSource: "));
    EXPECT_GT(front.progress, 0);

    fs::remove(src + "/INSTALL.WIM");
    ASSERT_EQ(Run(), 0) << Log();
    EXPECT_EQ(Result(), std::vector<std::string>{"split"});

    for (const auto &entry : fs::directory_iterator(src))
        if (entry.path().extension() == ".swm")
            fs::remove(entry.path());
    ASSERT_EQ(Run(), 0) << Log();
    EXPECT_EQ(test::WimImageNames(dst + "/Norv.wim"), (std::vector<std::string>{"other", "ready"}));

    fs::remove(src + "/Norv.wim");
    ASSERT_EQ(Run(), 0) << Log();
    EXPECT_EQ(test::WimImageNames(dst + "/Norv.wim"), (std::vector<std::string>{"other", "parts"}));
    EXPECT_TRUE(Logged("Combine Nr2 files. From: "));
    EXPECT_TRUE(Logged("CGetFoundationImage::GetFoundationImage Return: 0"));
    EXPECT_TRUE(NoLeftovers());
    EXPECT_TRUE(front.discRequests.empty());
}

TEST_F(GetFoundationImageTest, TheImageIsOnDiskBeforeSuccessInEveryShape)
{
    const struct {
        const char *shape;
        std::function<void()> lay;
    } shapes[] = {
        {"full", [&] { fs::copy_file(MakeWim("full"), src + "/INSTALL.WIM"); }},
        {"ready", [&] { fs::copy_file(MakeWim("ready"), src + "/Norv.wim"); }},
        {"parts", [&] { test::CutIntoParts(MakeWim("parts"), src, 3); }},
    };
    for (const auto &s : shapes) {
        fs::remove_all(src);
        fs::remove_all(dst);
        fs::create_directories(src);
        s.lay();
        test::FileLayerRecorder rec;
        ASSERT_EQ(Run(), 0) << s.shape << Log();
        EXPECT_TRUE(rec.Durable(dst + "/Norv.wim")) << s.shape;
    }
}

TEST_F(GetFoundationImageTest, LinksAtJoinedPathsAreRefused)
{
    const std::string whole = MakeWim("parts");
    const struct {
        const char *joined;
        bool onDest, toFile, inReleaseFolder;
    } rows[] = {
        {"Norv1.nr2", false, true, false},   {"Norv2.nr2", false, true, false},
        {"FIFILEFOLDER", true, false, false}, {"Norv.wim", true, true, false},
        {"fi/os1", false, false, true},
    };
    for (const auto &row : rows) {
        const auto results = test::ExpectNoLinkEscape(
            row.joined,
            [&](const std::string &) {
                fs::remove_all(src);
                fs::remove_all(dst);
                fs::create_directories(src);
                test::CutIntoParts(whole, row.inReleaseFolder ? src + "/fi/os1" : src, 3);
                test::WriteFile(src + "/RDVD1", "");
                WriteMedia(row.inReleaseFolder ? "[MEDIA:RDVD]\nRDVD1=sources\\fi\\os1\n" : "");
                return test::LinkEscapeScene{row.onDest ? dst : src, [&] { return Run(); }};
            },
            row.toFile);
        for (const auto &r : results)
            EXPECT_NE(r.rc, 0) << r.linkAt;
    }
}

TEST_F(GetFoundationImageTest, ReadyImageInTheDestinationIsLeftAlone)
{
    const std::string ready = MakeWim("ready");
    fs::copy_file(ready, src + "/Norv.wim");
    ASSERT_EQ(Run(src, src), 0) << Log();
    EXPECT_EQ(test::ReadFile(src + "/Norv.wim"), test::ReadFile(ready));
    // The same folder named another way is still the same file: it is not
    // copied over itself (which would empty it).
    ASSERT_EQ(Run(src, dir / "media/./sources/"), 0) << Log();
    fs::create_directory_symlink(src, dir / "link");
    ASSERT_EQ(Run(dir / "link", src), 0) << Log();
    EXPECT_EQ(test::ReadFile(src + "/Norv.wim"), test::ReadFile(ready));
}

TEST_F(GetFoundationImageTest, ReadyImageThatCannotBeCopiedGives43)
{
    fs::copy_file(MakeWim("ready"), src + "/Norv.wim");
    fs::create_directories(dst + "/Norv.wim/busy");
    EXPECT_EQ(Run(), RETURN_COPY_TEMP_WIM);
    EXPECT_TRUE(Logged("Copy File error. (RETURN_COPY_TEMP_WIM)"));
    EXPECT_FALSE(fs::exists(dst + "/Norv.wim.partial"));

    // An image of an earlier run does not survive a failed copy.
    fs::remove_all(dst);
    test::WriteFile(dst + "/Norv.wim", "earlier");
    fs::create_directories(dst + "/Norv.wim.partial/blocked");
    EXPECT_EQ(Run(), RETURN_COPY_TEMP_WIM);
    EXPECT_FALSE(fs::exists(dst + "/Norv.wim"));
}

TEST_F(GetFoundationImageTest, PartsOnTheMediumAreJoinedInPlaceInNumericOrder)
{
    const std::string whole = MakeWim("parts");
    test::CutIntoParts(whole, src, 12);
    WriteMedia("[SOURCE]\nFIPart=Norv1.nr2,Norv2.nr2,Norv3.nr2,Norv4.nr2\n");
    ASSERT_EQ(Run(), 0) << Log();
    EXPECT_EQ(test::ReadFile(dst + "/Norv.wim"), test::ReadFile(whole));
    EXPECT_TRUE(front.discRequests.empty());
}

TEST_F(GetFoundationImageTest, ListedPartsOnSeveralDiscsAreGatheredAndJoined)
{
    const std::string whole = MakeWim("parts");
    const auto parts = test::CutIntoParts(whole, dir / "cut", 4);
    WriteMedia("[SOURCE]\nFIPart=sources\\Norv1.nr2,sources\\Norv2.nr2,sources\\Norv3.nr2,sources\\Norv4.nr2,"
               "sources\\readme.txt\n"
               "[MEDIA:RDVD]\nRDVD1=sources\\Norv1.nr2,sources\\Norv2.nr2,sources\\boot\n"
               "RDVD2=sources\\Norv3.nr2,sources\\Norv4.nr2\n");
    // Disc n carries its marker and its two parts.
    auto insert = [&](int n) {
        for (const auto &entry : fs::directory_iterator(src))
            fs::remove_all(entry.path());
        test::WriteFile(src + "/RDVD" + std::to_string(n), "");
        for (int i = 2 * n - 1; i <= 2 * n; ++i)
            fs::copy_file(parts[static_cast<size_t>(i - 1)], src + "/Norv" + std::to_string(i) + ".nr2");
    };
    front.insertDisc = insert;
    insert(1);
    // A stale part of an earlier run in the gathering folder is not joined.
    test::WriteFile(dst + "/FIFILEFOLDER/Norv5.nr2", "stale");

    ASSERT_EQ(Run(), 0) << Log();
    EXPECT_EQ(test::ReadFile(dst + "/Norv.wim"), test::ReadFile(whole));
    EXPECT_EQ(front.discRequests, std::vector<int64_t>{2});
    EXPECT_TRUE(Logged("sMedia: RDVD2"));
    EXPECT_TRUE(NoLeftovers());
}

TEST_F(GetFoundationImageTest, ReleaseFolderNamedOnceIsJoinedFromTheMedium)
{
    const std::string whole = MakeWim("rel");
    test::CutIntoParts(whole, src + "/fi/os1", 3);
    test::WriteFile(src + "/RDVD1", "");
    WriteMedia("[MEDIA:RDVD]\nRDVD1=sources\\data\\app1\n"
               "RDVD2=sources\\fi\\os1\n"
               "RDVD3=sources\\other\n");
    front.insertDisc = [&](int n) { test::WriteFile(src + "/RDVD" + std::to_string(n), ""); };
    // Only the disc that names the release folder is asked for.
    ExpectJoinedAskingForDisc2(whole, {"Info: CheckFIFolderInNrvhdrcvIniFile bCopy is false strNR2FilePath: ",
                                       "It has insert the right disc"});
}

TEST_F(GetFoundationImageTest, ReleaseFolderOnTwoDiscsIsGatheredDiscByDisc)
{
    const std::string whole = MakeWim("rel");
    const auto parts = test::CutIntoParts(whole, dir / "cut", 4);
    WriteMedia("[MEDIA:RDVD]\nRDVD1=sources\\fi\\os1\n"
               "RDVD2=sources\\fi\\os1,sources\\data\\app\n");
    auto insert = [&](int n) {
        fs::remove_all(src);
        fs::create_directories(src + "/fi/os1");
        test::WriteFile(src + "/RDVD" + std::to_string(n), "");
        for (int i = 2 * n - 1; i <= 2 * n; ++i)
            fs::copy_file(parts[static_cast<size_t>(i - 1)], src + "/fi/os1/Norv" + std::to_string(i) + ".nr2");
    };
    front.insertDisc = insert;
    insert(1);
    ExpectJoinedAskingForDisc2(
        whole, {"bCopy = TRUE", "Info: CheckFIFolderInNrvhdrcvIniFile bCopy is true strNR2FilePath: "});
}

TEST_F(GetFoundationImageTest, MissingFirstPartGives9)
{
    test::WriteFile(src + "/RDVD1", "");
    test::WriteFile(src + "/fi/os1/Norv2.nr2", "piece");
    WriteMedia("[MEDIA:RDVD]\nRDVD1=sources\\fi\\os1\n");
    EXPECT_EQ(Run(), RETURN_IMAGE_NOTEXIST);
    EXPECT_TRUE(Logged("Error: Can not find the image file. Path: "));
    EXPECT_FALSE(fs::exists(dst + "/Norv.wim"));

    // Without a release folder in the plan nothing on the media names it.
    test::WriteFile(plan, "[Image]\nReleaseName=Foundation\n");
    EXPECT_EQ(Run(), RETURN_IMAGE_NOTEXIST);
    EXPECT_TRUE(Logged("Error: PathToRelease failed."));
    EXPECT_TRUE(front.discRequests.empty());
}

TEST_F(GetFoundationImageTest, JoinThatDoesNotOpenGives125AndLeavesNothing)
{
    const auto parts = test::CutIntoParts(MakeWim("bad"), dir / "cut", 4);
    WriteMedia("[SOURCE]\nFIPart=Norv1.nr2,Norv2.nr2,Norv3.nr2,Norv4.nr2\n"
               "[MEDIA:RDVD]\nRDVD1=sources\\Norv1.nr2,sources\\Norv2.nr2\nRDVD2=sources\\Norv3.nr2\n");
    fs::copy_file(parts[0], src + "/Norv1.nr2");
    fs::copy_file(parts[1], src + "/Norv2.nr2");
    test::WriteFile(src + "/RDVD1", "");
    front.insertDisc = [&](int n) {
        test::WriteFile(src + "/RDVD" + std::to_string(n), "");
        fs::copy_file(parts[2], src + "/Norv3.nr2", fs::copy_options::overwrite_existing);
    };
    EXPECT_EQ(Run(), 125);
    EXPECT_TRUE(Logged("WimCourier Error: the joined file does not open as a WIM"));
    EXPECT_FALSE(fs::exists(dst + "/Norv.wim"));
    EXPECT_TRUE(NoLeftovers());
}

TEST_F(GetFoundationImageTest, ExportFailuresGive126AndKeepNoTarget)
{
    fs::copy_file(MakeWim("full"), src + "/INSTALL.WIM");
    for (courier::CourierStep step :
         {courier::CourierStep::OpenSource, courier::CourierStep::ExportImage, courier::CourierStep::WriteTarget}) {
        courier::ScopedCourierFault fault(step);
        EXPECT_EQ(Run(), 126);
        EXPECT_TRUE(NoLeftovers());
        EXPECT_FALSE(fs::exists(dst + "/Norv.wim"));
    }
    // A WIM without a foundation image cannot be exported either.
    const std::string folder = dir / "content/plain";
    test::WriteFile(folder + "/a.txt", "a");
    wim::WimImageSpec spec;
    spec.sourceFolder = folder;
    spec.description = "SOMETHING ELSE";
    fs::remove(src + "/INSTALL.WIM");
    ASSERT_EQ(wim::CreateWim(src + "/install.wim", spec), 0);
    EXPECT_EQ(Run(), 126);
    EXPECT_TRUE(Logged("CGetFoundationImage::GetFoundationImage Return: 126"));
}

TEST_F(GetFoundationImageTest, UnsafeMediaEntriesAndReleaseFoldersAreRefused)
{
    test::CutIntoParts(MakeWim("parts"), src, 1);
    test::WriteFile(src + "/RDVD1", "");
    WriteMedia("[SOURCE]\nFIPart=Norv1.nr2,Norv2.nr2\n"
               "[MEDIA:RDVD]\nRDVD1=sources\\Norv1.nr2,sources\\../../../outside/Norv2.nr2\n");
    EXPECT_EQ(Run(), RETURN_UNSAFE_PATH);
    EXPECT_TRUE(Logged("(RETURN_UNSAFE_PATH)"));
    EXPECT_TRUE(NoLeftovers());

    fs::remove(src + "/Norv1.nr2");
    test::WriteFile(plan, "[Image]\nPathToRelease=..\\..\\elsewhere\n");
    WriteMedia("[MEDIA:RDVD]\nRDVD1=sources\\..\\..\\elsewhere\n");
    EXPECT_EQ(Run(), RETURN_UNSAFE_PATH);
    EXPECT_TRUE(front.discRequests.empty());
}

TEST_F(GetFoundationImageTest, WithoutCallbackAMissingDiscIsNotWaitedForever)
{
    const auto parts = test::CutIntoParts(MakeWim("parts"), dir / "cut", 2);
    fs::copy_file(parts[0], src + "/Norv1.nr2");
    test::WriteFile(src + "/RDVD1", "");
    WriteMedia("[SOURCE]\nFIPart=Norv1.nr2,Norv2.nr2\n"
               "[MEDIA:RDVD]\nRDVD1=sources\\Norv1.nr2\nRDVD2=sources\\Norv2.nr2\n");
    const int32_t result = GetFoundationImage(src.c_str(), dst.c_str(), plan.c_str(), media.c_str(), "RDVD", 0, "",
                                              nullptr, nullptr, log.c_str());
    EXPECT_EQ(result, 125);
    EXPECT_TRUE(Logged("Error: no callback to ask for disc 2."));
    EXPECT_TRUE(NoLeftovers());
}

TEST_F(GetFoundationImageTest, ArgumentAndFileFailures)
{
    EXPECT_EQ(Run(dir / "nowhere", dst), RETURN_SOURCE_DIR_NOT_EXIST);
    EXPECT_TRUE(Logged("Error: Can not find the source path. (RETURN_SOURCE_DIR_NOT_EXIST)"));
    test::WriteFile(dir / "afile", "x");
    EXPECT_EQ(Run(src, dir / "afile/sub"), RETURN_DEST_DIR_NOT_EXIST);
    EXPECT_TRUE(Logged("Error: Can not create the dest path. (RETURN_DEST_DIR_NOT_EXIST)"));

    // The destination is made when missing.
    const std::string newDest = dir / "made/here";
    fs::remove(plan);
    EXPECT_EQ(Run(src, newDest), RETURN_HALINI_NOEXIST);
    EXPECT_TRUE(fs::is_directory(newDest));
    EXPECT_TRUE(Logged("Error: Can not find the halcyon.ini file. (RETURN_HALINI_NOEXIST)"));

    test::WriteFile(plan, "[Image]\nPathToRelease=fi\\os1\n");
    fs::remove(media);
    EXPECT_EQ(Run(), RETURN_RCVINI_NOEXIST);
    EXPECT_TRUE(Logged("Error: Can not find the nrvhdrcv.ini file. (RETURN_RCVINI_NOEXIST)"));

    // Empty media: no shape at all.
    WriteMedia("");
    EXPECT_EQ(Run(), RETURN_IMAGE_NOTEXIST);
    EXPECT_TRUE(Logged("GetFoundationImage Start"));
}

TEST_F(GetFoundationImageTest, CommandShowsProgressAndTheResult)
{
    fs::copy_file(MakeWim("full"), src + "/INSTALL.WIM");
    std::string output;
    const std::string common = " --plan '" + plan + "' --media-ini '" + media + "' --log '" + log + "' --plain";
    ASSERT_EQ(test::RunHalcyon("foundation-image --source '" + src + "' --dest '" + dst + "'" + common, output), 0)
        << output;
    EXPECT_NE(output.find("100%"), std::string::npos) << output;
    EXPECT_NE(output.find("Foundation image ready: "), std::string::npos) << output;
    EXPECT_EQ(Result(), std::vector<std::string>{"full"});

    EXPECT_EQ(test::RunHalcyon("foundation-image --source '" + dir / "none" + "' --dest '" + dst + "'" + common, output), 1);
    EXPECT_NE(output.find("GetFoundationImage failed: 34"), std::string::npos) << output;

    // A disc that never comes, without input: --wait bounds the wait.
    fs::remove(src + "/INSTALL.WIM");
    test::CutIntoParts(MakeWim("rel"), src + "/fi/os1", 3);
    test::WriteFile(src + "/RDVD1", "");
    WriteMedia("[MEDIA:RDVD]\nRDVD1=sources\\data\\app1\nRDVD2=sources\\fi\\os1\n");
    EXPECT_EQ(test::RunHalcyon("foundation-image --source '" + src + "' --dest '" + dst + "'" + common + " --wait 1",
                               output),
              1);
    EXPECT_NE(output.find("disc 2 (marker file " + src + "/RDVD2) did not come within 1 s"), std::string::npos)
        << output;
}

} // namespace

// LoadImgX against real WIM files made by the tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/image/image_choice.h"
#include "engine/image/nrvinst_image_records.h"
#include "engine/image/split_parts.h"
#include "engine/image/wim_scramble.h"
#include "engine/image/wim_tags.h"
#include "engine/staging/nrvinst_oem.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/file_attributes.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "support/wim/faulty_wim_api.h"
#include "support/wim/wim_builder.h"
#include "tests/common/file_layer_recorder.h"
#include "tests/common/scratch_fixture.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;
namespace wim = halcyon::support::wim;

namespace {

constexpr uint64_t kDirect = 0x8;
constexpr uint64_t kBasePlus = 0x100000;
constexpr uint64_t kPushButtonReset = 0x800000000ull;
constexpr uint64_t kSkipBlid = 0x1000000000ull;
constexpr uint64_t kRecords = 0x80000000ull;
constexpr const char *kMachineBlid = "ABC1234567Z";

struct Messages {
    int progress = 0;
    unsigned lastPercent = 0;
    std::string copyPath; // checked while the apply runs
    bool copySeenHidden = false;
};

uint32_t Record(uint32_t message, uintptr_t wparam, intptr_t, void *user)
{
    auto *m = static_cast<Messages *>(user);
    if (message == WIM_MSG_PROGRESS) {
        ++m->progress;
        m->lastPercent = static_cast<unsigned>(wparam);
        if (!m->copyPath.empty() &&
            (platform::GetFileAttributes(m->copyPath) & platform::FILE_ATTRIBUTE_HIDDEN) != 0)
            m->copySeenHidden = true;
    }
    return WIM_MSG_SUCCESS;
}

class LoadImgXTest : public test::ScratchTest {
protected:
    void SetUp() override
    {
        platform::SetMachineSetting("Identity", "BLID", kMachineBlid);
        platform::SetMachineSetting("Identity", "RMIDOnOEMString1", "False");
        for (const char *d : {"src", "dst", "tmp", "content"})
            fs::create_directories(dir / d);
        WritePlan("");
    }
    void TearDown() override { platform::SetFreeDiskSpaceOverride(std::nullopt); }

    // A folder to capture holding `marker` (so the applied image can be told).
    std::string Content(const std::string &marker)
    {
        const std::string folder = dir / ("content/" + marker);
        test::WriteFile(folder + "/" + marker + ".txt", "image " + marker + "\n");
        test::WriteFile(folder + "/Windows/system32/drivers/etc/hosts", "127.0.0.1 localhost\n");
        return folder;
    }
    wim::WimImageSpec Image(const std::string &marker, const std::string &description, const std::string &blid = "")
    {
        wim::WimImageSpec spec;
        spec.sourceFolder = Content(marker);
        spec.description = description;
        spec.blid = blid;
        return spec;
    }
    void MakeWim(const std::string &path, const std::vector<wim::WimImageSpec> &images)
    {
        std::string error;
        ASSERT_EQ(wim::CreateWim(path, images, wim::WimCompression::Xpress, &error), 0) << error;
    }
    void WritePlan(const std::string &extra)
    {
        test::WriteFile(plan, "[Image]\nReleaseName=Foundation\nReleaseID=12345\nPathToRelease=rel\\os\n"
                              "BLID=" + std::string(kMachineBlid) + "\n"
                              "[RecoveryImage]\nReleaseName=Recovery\nReleaseID=54321\nPathToRelease=rel\\rcv\n"
                              "[1]\nEnd=True\n[PE1]\nEnd=True\n[Image App1]\nEnd=True\n"
                              "[IDF]\nBomSnapshotID=SNAP77\n" + extra);
    }
    int32_t Load(uint64_t options, const std::string &wimName = "img.wim", const std::string &temp = "",
                 const std::string &suffix = "")
    {
        return LoadImgX(plan.c_str(), (dir / "src").c_str(), (dir / "dst").c_str(), temp.c_str(), wimName.c_str(),
                        log.c_str(), options, &Record, &messages, nrvinst.c_str(), suffix.c_str());
    }
    bool Applied(const std::string &marker) const { return fs::exists(dir / ("dst/" + marker + ".txt")); }
    bool Empty(const std::string &folder) const { return fs::is_empty(dir / folder); }

    std::string nrvinst = dir / "nrvinst.oem";
    std::string src = dir / "src";
    Messages messages;
};

TEST_F(LoadImgXTest, DirectModeAppliesTheFoundationImageAndReportsProgress)
{
    MakeWim(src + "/img.wim", {Image("base", "BASE PLUS IMAGE"), Image("found", "FOUNDATION IMAGE 1")});
    ASSERT_EQ(Load(kDirect | kRecords), 0) << Log();
    EXPECT_TRUE(Applied("found"));
    EXPECT_FALSE(Applied("base"));
    EXPECT_TRUE(fs::exists(dir / "dst/Windows/system32/drivers/etc/hosts"));
    EXPECT_GT(messages.progress, 0);
    EXPECT_EQ(messages.lastPercent, 100u);
    const std::string text = Log();
    for (const char *line : {"LoadImgX Begin", "Source WIM: ", "Destination: ", "Loading WIM...", "BASE PLUS IMAGE",
                             "INFO: image index is: 1", "FOUNDATION IMAGE 1", "Applying Image...", "LoadImgX End"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    // Direct mode with another name than "Norv.wim": no release, so no FI
    // record; the plan's snapshot is still recorded.
    EXPECT_EQ(platform::GetPrivateProfileString("FI", "FI", "none", nrvinst), "none");
    EXPECT_EQ(platform::GetPrivateProfileString("SSINFO", "SSNPID", "", nrvinst), "SNAP77");
}

TEST_F(LoadImgXTest, AppliedImageIsOnDiskBeforeSuccess)
{
    MakeWim(src + "/img.wim", {Image("found", "FOUNDATION IMAGE 1")});
    test::FileLayerRecorder rec;
    ASSERT_EQ(Load(kDirect), 0) << Log();
    EXPECT_TRUE(rec.Durable(dir / "dst"));
}

struct ChoiceCase {
    uint64_t options;
    const char *suffix;
    const char *expected;
};

class LoadImgXChoiceTest : public LoadImgXTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(LoadImgXChoiceTest, ChoosesByDescription)
{
    MakeWim(src + "/img.wim", {Image("plain", ""), Image("found", "foundation image 1"),
                               Image("base", "BASE PLUS IMAGE"), Image("pbr", "PUSHBUTTONRESET IMAGE"),
                               Image("pbrx", "PUSHBUTTONRESET IMAGE X1")});
    const ChoiceCase &c = GetParam();
    ASSERT_EQ(Load(kDirect | c.options, "img.wim", "", c.suffix), 0) << Log();
    for (const char *marker : {"plain", "found", "base", "pbr", "pbrx"})
        EXPECT_EQ(Applied(marker), std::string(marker) == c.expected) << marker;
}

INSTANTIATE_TEST_SUITE_P(Rules, LoadImgXChoiceTest,
                         ::testing::Values(ChoiceCase{0, "", "found"}, ChoiceCase{kBasePlus, "", "base"},
                                           ChoiceCase{kPushButtonReset, "", "pbr"},
                                           ChoiceCase{kPushButtonReset, "X1", "pbrx"},
                                           // Neither rule matches: image 1, never "FOUNDATION IMAGE 1".
                                           ChoiceCase{kPushButtonReset, "nope", "plain"},
                                           ChoiceCase{kBasePlus | kPushButtonReset, "X1", "base"}));

TEST_F(LoadImgXTest, NoDescriptionMatchAppliesImageOne)
{
    MakeWim(src + "/img.wim", {Image("one", ""), Image("two", "SOMETHING ELSE")});
    ASSERT_EQ(Load(kDirect | kBasePlus), 0) << Log();
    EXPECT_TRUE(Applied("one"));
    EXPECT_FALSE(Applied("two"));
}

TEST_F(LoadImgXTest, ScrambledSourceWithoutTemporaryFolderIsLeftUnscrambled)
{
    MakeWim(src + "/img.wim", {Image("found", "FOUNDATION IMAGE 1")});
    ASSERT_TRUE(image::EncryptDecryptWim(src + "/img.wim"));
    ASSERT_TRUE(image::IsWimScrambled(src + "/img.wim"));
    ASSERT_EQ(Load(kDirect), 0) << Log();
    EXPECT_TRUE(Applied("found"));
    EXPECT_FALSE(image::IsWimScrambled(src + "/img.wim"));
    EXPECT_NE(Log().find("Decrypting WIM: " + src + "\\img.wim"), std::string::npos);
}

TEST_F(LoadImgXTest, TemporaryCopyIsHiddenUnscrambledAndRemoved)
{
    MakeWim(src + "/img.wim", {Image("found", "FOUNDATION IMAGE 1")});
    ASSERT_TRUE(image::EncryptDecryptWim(src + "/img.wim"));
    const std::string before = test::ReadFile(src + "/img.wim");
    messages.copyPath = dir / "tmp/img.wim";
    ASSERT_EQ(Load(kDirect, "img.wim", dir / "tmp"), 0) << Log();
    EXPECT_TRUE(Applied("found"));
    EXPECT_TRUE(messages.copySeenHidden);
    EXPECT_TRUE(Empty("tmp"));
    EXPECT_EQ(test::ReadFile(src + "/img.wim"), before); // the source stays as it was
}

TEST_F(LoadImgXTest, TemporaryFolderThatIsTheSourceFolderNeverLosesTheSource)
{
    MakeWim(src + "/img.wim", {Image("found", "FOUNDATION IMAGE 1")});
    EXPECT_EQ(Load(kDirect, "img.wim", src), RETURN_COPY_TEMP_WIM);
    EXPECT_TRUE(fs::exists(src + "/img.wim"));
}

TEST_F(LoadImgXTest, NormalAttributeOptionMakesTheSourceWritable)
{
    MakeWim(src + "/img.wim", {Image("found", "FOUNDATION IMAGE 1")});
    ASSERT_TRUE(platform::SetFileAttributes(src + "/img.wim",
                                            platform::FILE_ATTRIBUTE_READONLY | platform::FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(Load(kDirect | 0x20), 0) << Log();
#if defined(_WIN32) // Wine reports a file left without attributes as archive
    EXPECT_EQ(platform::GetFileAttributes(src + "/img.wim") &
                  (platform::FILE_ATTRIBUTE_READONLY | platform::FILE_ATTRIBUTE_HIDDEN),
              0u);
#else
    EXPECT_EQ(platform::GetFileAttributes(src + "/img.wim"), platform::FILE_ATTRIBUTE_NORMAL);
#endif
}

TEST_F(LoadImgXTest, BlidCheck)
{
    MakeWim(src + "/match.wim", {Image("a", "FOUNDATION IMAGE 1", "XYZ0000000,ABC1234567")});
    MakeWim(src + "/other.wim", {Image("b", "FOUNDATION IMAGE 1", "XYZ0000000")});
    MakeWim(src + "/none.wim", {Image("c", "FOUNDATION IMAGE 1")});
    wim::WimImageSpec empty = Image("d", "FOUNDATION IMAGE 1");
    empty.emptyBlid = true;
    MakeWim(src + "/empty.wim", {empty});

    EXPECT_EQ(Load(kDirect, "match.wim"), 0) << Log(); // 10-character piece, 11-character machine BLID
    EXPECT_EQ(Load(kDirect, "none.wim"), 0) << Log();  // no BLID element: no restriction
    EXPECT_EQ(Load(kDirect, "other.wim"), 44);
    EXPECT_NE(Log().find("It is not same between wim blid and dmi blid."), std::string::npos);
    EXPECT_EQ(Load(kDirect, "empty.wim"), 119);
    EXPECT_EQ(Load(kDirect | kSkipBlid, "other.wim"), 0) << Log();
    EXPECT_EQ(Load(kDirect | kSkipBlid, "empty.wim"), 0) << Log();
    EXPECT_EQ(Load(kDirect | kPushButtonReset, "empty.wim"), 0) << Log();
}

TEST_F(LoadImgXTest, FreeSpaceEqualToTotalBytesIsEnough)
{
    MakeWim(src + "/img.wim", {Image("found", "FOUNDATION IMAGE 1")});
    std::string total;
    ASSERT_EQ(image::ReadWimTagValue(src + "/img.wim", "TOTALBYTES", total), 0);
    const uint64_t bytes = std::stoull(total);
    ASSERT_GT(bytes, 0u);

    platform::SetFreeDiskSpaceOverride(bytes - 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Load(kDirect), 45);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ERROR: Destination directory is too small"),
              std::string::npos);
    EXPECT_FALSE(Applied("found"));

    platform::SetFreeDiskSpaceOverride(bytes);
    EXPECT_EQ(Load(kDirect), 0) << Log();
    EXPECT_TRUE(Applied("found"));
}

TEST_F(LoadImgXTest, FreeSpaceIsCheckedAgainstTheChosenImage)
{
    wim::WimImageSpec big = Image("big", "FOUNDATION IMAGE 1");
    test::WriteFile(big.sourceFolder + "/big.bin", std::string(1 << 20, 'x'));
    MakeWim(src + "/img.wim", {Image("small", ""), big});
    std::string first;
    ASSERT_EQ(image::ReadWimTagValue(src + "/img.wim", "TOTALBYTES", first), 0);
    platform::SetFreeDiskSpaceOverride(std::stoull(first));
    EXPECT_EQ(Load(kDirect), 45);
}

TEST_F(LoadImgXTest, NorvWimRecordsTheReleaseAndSnapshot)
{
    MakeWim(src + "/Norv.wim", {Image("found", "FOUNDATION IMAGE 1")});
    ASSERT_EQ(Load(kDirect | kRecords, "Norv.wim"), 0) << Log();
    EXPECT_EQ(platform::GetPrivateProfileString("FI", "FI", "", nrvinst), "EP0000012345");
    EXPECT_EQ(platform::GetPrivateProfileString("SSINFO", "SSNPID", "", nrvinst), "SNAP77");

    // Without a release ID in [Image]: 13 and nothing logged for it.
    test::WriteFile(plan, "[Image]\nReleaseName=Foundation\n[IDF]\nBomSnapshotID=SNAP77\n");
    EXPECT_EQ(Load(kDirect | kRecords, "norv.WIM"), 13);
}

TEST_F(LoadImgXTest, EpidPadding)
{
    EXPECT_EQ(modules::MakeEPID("12345"), "EP0000012345");
    EXPECT_EQ(modules::MakeEPID("1234567890"), "EP1234567890");
    EXPECT_EQ(modules::MakeEPID("ABCDEFGHIJKL"), "EPABCDEFGHIJKL");
    EXPECT_EQ(image::WriteFIEPIDToNrvinstFile("", nrvinst, log), -1);
    EXPECT_EQ(image::WriteSSINFOToNrvinstFile("", nrvinst, log), -1);
    EXPECT_FALSE(fs::exists(nrvinst));
}

TEST_F(LoadImgXTest, PlanModeFindsTheRecoveryWim)
{
    fs::create_directories(src + "/rel/rcv");
    MakeWim(src + "/rel/rcv/recovery.wim", {Image("found", "FOUNDATION IMAGE 1")});
    ASSERT_EQ(Load(0x4 | kRecords, ""), 0) << Log();
    EXPECT_TRUE(Applied("found"));
    EXPECT_EQ(platform::GetPrivateProfileString("FI", "FI", "", nrvinst), "EP0000054321");
}

TEST_F(LoadImgXTest, PlanModeRefusesSplitFoundationPartsAndUnsafeReleasePaths)
{
    fs::create_directories(src + "/rel/os");
    test::WriteFile(src + "/rel/os/Norv1.nr2", "part");
    EXPECT_EQ(Load(0), RETURN_IMAGE_DIR_NOT_EXIST);
    EXPECT_NE(Log().find("It does not export the nr2 file. (RETURN_IMAGE_DIR_NOT_EXIST)"), std::string::npos);

    test::WriteFile(plan, "[Image]\nReleaseName=Foundation\nReleaseID=12345\nPathToRelease=..\\..\\etc\n"
                          "BLID=X1\n[RecoveryImage]\nReleaseName=R1\nReleaseID=R1\nPathToRelease=..\\up\n"
                          "[1]\nEnd=True\n[PE1]\nEnd=True\n[Image App1]\nEnd=True\n");
    EXPECT_EQ(Load(0), RETURN_UNSAFE_PATH);
    EXPECT_EQ(Load(0x4), RETURN_UNSAFE_PATH);
    EXPECT_EQ(Load(kDirect, "..\\escape.wim"), RETURN_UNSAFE_PATH);
}

TEST_F(LoadImgXTest, PlainFailuresBeforeTheImageIsOpened)
{
    MakeWim(src + "/img.wim", {Image("found", "FOUNDATION IMAGE 1")});
    const std::string srcArg = src, dst = dir / "dst", tmp = dir / "tmp";
    auto load = [&](const std::string &p, const std::string &s, const std::string &d, const std::string &t,
                    uint64_t options) {
        return LoadImgX(p.c_str(), s.c_str(), d.c_str(), t.c_str(), "img.wim", log.c_str(), options, &Record,
                        &messages, "", "");
    };
    EXPECT_EQ(load(dir / "missing.ini", srcArg, dst, "", kDirect), RETURN_UNABLE_OPEN_INI);
    EXPECT_NE(Log().find("Halcyon.ini" + (dir / "missing.ini")), std::string::npos);
    EXPECT_EQ(load(plan, dir / "nosrc", dst, "", kDirect), RETURN_IMAGE_DIR_NOT_EXIST);
    EXPECT_EQ(load(plan, srcArg, dir / "nodst", "", kDirect), RETURN_DEST_DIR_NOT_EXIST);
    EXPECT_EQ(load(plan, srcArg, dst, dir / "notmp", kDirect), RETURN_TEMP_DIR_NOT_EXIST);
    EXPECT_EQ(LoadImgX(plan.c_str(), srcArg.c_str(), dst.c_str(), "", "gone.wim", log.c_str(), kDirect, &Record,
                       &messages, "", ""),
              RETURN_IMAGE_NOTEXIST);
    // Plan mode checks the plan first: no [RecoveryImage] gives 90.
    test::WriteFile(plan, "[Image]\nReleaseName=Foundation\nReleaseID=12345\nPathToRelease=rel\\os\nBLID=X1\n"
                          "[1]\nEnd=True\n[PE1]\nEnd=True\n[Image App1]\nEnd=True\n");
    EXPECT_EQ(load(plan, srcArg, dst, "", 0), 90);
    // A log that cannot be opened ends the verb at its first line.
    EXPECT_EQ(LoadImgX(plan.c_str(), srcArg.c_str(), dst.c_str(), "", "img.wim", (dir / "no/such.log").c_str(),
                       kDirect, &Record, &messages, "", ""),
              27);
}

TEST(SplitPartNamesTest, TakesTheImagesOtherPartsOnly)
{
    test::TempDir dir("split-names");
    for (const char *name : {"X.nrv", "X2.nrv", "x3.NRV", "Y.nrv", "X.wim", "notes.txt"})
        test::WriteFile(dir / name, "p");
    fs::create_directories(dir / "X4.nrv");
    EXPECT_EQ(image::SplitPartNames(dir.path() + "\\", "X.nrv", "X.nrv"),
              (std::vector<std::string>{"X2.nrv", "x3.NRV"}));
    EXPECT_EQ(image::SplitPartNames(dir.path() + "\\", "X.nrv", "X2.nrv"), (std::vector<std::string>{"x3.NRV"}));
}

TEST(ImageChoiceTest, DescriptionNeedsBothTags)
{
    EXPECT_EQ(image::ImageDescription("<IMAGE><DESCRIPTION>A B</DESCRIPTION></IMAGE>"), "A B");
    EXPECT_EQ(image::ImageDescription("<IMAGE><DESCRIPTION></DESCRIPTION></IMAGE>"), "");
    EXPECT_FALSE(image::ImageDescription("<IMAGE><DESCRIPTION>A</IMAGE>"));
    EXPECT_FALSE(image::ImageDescription("<IMAGE><NAME>A</NAME></IMAGE>"));
    EXPECT_EQ(image::PushButtonResetDescription(""), "PUSHBUTTONRESET IMAGE");
    EXPECT_EQ(image::PushButtonResetDescription("W11"), "PUSHBUTTONRESET IMAGE W11");
}

// Split images: the first part is opened, the others are referenced.
class LoadImgXSplitTest : public LoadImgXTest {
protected:
    void SetUp() override
    {
        LoadImgXTest::SetUp();
        wim::WimImageSpec spec = Image("found", "FOUNDATION IMAGE 1");
        // Content that does not compress, so that the parts stay apart.
        std::string noise(3 << 20, '\0');
        uint32_t x = 12345;
        for (char &c : noise) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        test::WriteFile(spec.sourceFolder + "/noise.bin", noise);
        test::WriteFile(spec.sourceFolder + "/noise2.bin", noise.substr(1));
        test::WriteFile(spec.sourceFolder + "/noise3.bin", noise.substr(2));
        MakeWim(dir / "whole.wim", {spec});
        ASSERT_EQ(wim::SplitWim(dir / "whole.wim", src + "/X.nrv", 4 << 20, &parts), 0);
        ASSERT_GE(parts.size(), 3u);
        MakeWim(src + "/Y.nrv", {Image("other", "FOUNDATION IMAGE 1")});
    }
    std::vector<std::string> parts;
};

TEST_F(LoadImgXSplitTest, ReferencesTheOtherPartsAndApplies)
{
    auto real = wim::MakeWimlibApi();
    wim::FaultyWimApi counting(*real);
    wim::ScopedWimApiOverride use(counting);
    ASSERT_EQ(Load(kDirect, "X.nrv", dir / "tmp"), 0) << Log();
    EXPECT_TRUE(Applied("found"));
    EXPECT_TRUE(fs::exists(dir / "dst/noise3.bin"));
    EXPECT_EQ(counting.Calls(wim::WimCall::SetReferenceFile), static_cast<int>(parts.size()) - 1);
    EXPECT_TRUE(Empty("tmp"));
}

// Every failing imaging call: code 41, the console line, no temporary copy
// left, every handle that was opened closed exactly once.
struct FaultCase {
    wim::WimCall call;
    int occurrence;
    const char *console;
    const char *logLine;
};

class LoadImgXFaultTest : public LoadImgXSplitTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(LoadImgXFaultTest, FailsCleanly)
{
    const FaultCase &c = GetParam();
    auto real = wim::MakeWimlibApi();
    wim::FaultyWimApi faulty(*real);
    faulty.FailOn(c.call, wim::WIM_ERROR_GEN_FAILURE, c.occurrence);
    wim::ScopedWimApiOverride use(faulty);

    testing::internal::CaptureStdout();
    const int32_t result = Load(kDirect | 0x10, "X.nrv", dir / "tmp");
    const std::string console = testing::internal::GetCapturedStdout();

    EXPECT_EQ(result, RETURN_WIMGAPI_ERROR);
    EXPECT_NE(console.find(c.console), std::string::npos) << console;
    EXPECT_NE(Log().find(c.logLine), std::string::npos) << Log();
    EXPECT_TRUE(Empty("tmp"));
    const bool opened = c.call != wim::WimCall::CreateFile;
    EXPECT_EQ(faulty.Calls(wim::WimCall::CloseFile), opened ? 1 : 0);
    const int loadFailures = c.call == wim::WimCall::LoadImage ? 1 : 0;
    EXPECT_EQ(faulty.Calls(wim::WimCall::CloseImage), faulty.Calls(wim::WimCall::LoadImage) - loadFailures);
    // A registered callback is unregistered once, on every path.
    const int registered = faulty.Calls(wim::WimCall::RegisterMessageCallback) -
                           (c.call == wim::WimCall::RegisterMessageCallback ? 1 : 0);
    EXPECT_EQ(faulty.Calls(wim::WimCall::UnregisterMessageCallback), registered);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LoadImgXFaultTest,
    ::testing::Values(
        FaultCase{wim::WimCall::CreateFile, 0, "ERROR: while trying to open WIM",
                  "Error: WIMCreateFile function error. (RETURN_WIMGAPI_ERROR)"},
        FaultCase{wim::WimCall::SetTemporaryPath, 0, "ERROR: while setting temporary folder",
                  "Error: WIMSetTemporaryPath function error. (RETURN_WIMGAPI_ERROR)"},
        FaultCase{wim::WimCall::SetReferenceFile, 2, "ERROR: while adding reference SWM",
                  "Error: WIMSetReferenceFile function error. (RETURN_WIMGAPI_ERROR)"},
        FaultCase{wim::WimCall::LoadImage, 1, "ERROR: while calling WIMLoadImage",
                  "ERROR: while calling WIMLoadImage. (RETURN_WIMGAPI_ERROR)"},
        FaultCase{wim::WimCall::GetImageInformation, 1, "ERROR: while calling WIMGetImageInformation",
                  "ERROR: while calling WIMGetImageInformation. (RETURN_WIMGAPI_ERROR)"},
        FaultCase{wim::WimCall::LoadImage, 2, "ERROR: while loading image from WIM",
                  "ERROR: while calling WIMLoadImage. (RETURN_WIMGAPI_ERROR)"},
        FaultCase{wim::WimCall::RegisterMessageCallback, 0, "ERROR: while registering callback function",
                  "ERROR: while registering callback function"},
        FaultCase{wim::WimCall::ApplyImage, 0, "ERROR: while applying image", "dwApplyFlags: 2"},
        FaultCase{wim::WimCall::UnregisterMessageCallback, 0, "ERROR: while tyring to unregister callback function",
                  "ERROR: while tyring to unregister callback function"},
        FaultCase{wim::WimCall::CloseImage, 2, "ERROR: while closing handle to WIM Image",
                  "ERROR: while closing handle to WIM Image"},
        FaultCase{wim::WimCall::CloseFile, 0, "ERROR: while closing handle to WIM file",
                  "ERROR: while closing handle to WIM file"}));

TEST_F(LoadImgXSplitTest, ApplyFailureLogsTheLastError)
{
    auto real = wim::MakeWimlibApi();
    wim::FaultyWimApi faulty(*real);
    faulty.FailOn(wim::WimCall::ApplyImage, 112);
    wim::ScopedWimApiOverride use(faulty);
    EXPECT_EQ(Load(kDirect, "X.nrv"), RETURN_WIMGAPI_ERROR);
    EXPECT_NE(Log().find("GetLastError: 112"), std::string::npos);
    EXPECT_NE(Log().find("dwApplyFlags: 0"), std::string::npos);
}

} // namespace

// CopyDiscToDisk on recovery discs and flash media that the tests build as
// folders; the drive is a symbolic link the test's callback repoints when
// the verb asks for the next medium.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/image/media_description.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/machine.h"
#include "tests/common/file_layer_recorder.h"
#include "tests/common/link_escape.h"
#include "tests/common/media_fixture.h"
#include "tests/common/media_set.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;

namespace {

// The option bits that choose what is copied.
enum CopyChoice : uint64_t {
    kRecovery = 0x1000, kModules = 0x2000, kPeModules = 0x4000,
    kOther = 0x8000,    kAll = 0x10000,    kApp = 0x20000,
};

// The operator: inserts medium n (the n-th disc folder) when asked, or
// refuses after `refuseAfter` requests; answers 0 without inserting while
// `stubborn` is above 0.
struct Operator {
    std::string drive;
    std::vector<std::string> discs;
    std::vector<intptr_t> requests;
    int progress = 0;
    unsigned lastPercent = 0;
    int stubborn = 0;
    bool refuse = false;

    void Insert(size_t n)
    {
        fs::remove(drive);
        fs::create_directory_symlink(discs.at(n - 1), drive);
    }
    static uint32_t Callback(uint32_t message, uintptr_t wparam, intptr_t lparam, void *user)
    {
        auto *op = static_cast<Operator *>(user);
        if (message == WIM_MSG_PROGRESS) {
            ++op->progress;
            op->lastPercent = static_cast<unsigned>(wparam);
            return 0;
        }
        EXPECT_EQ(message, 0u);
        EXPECT_EQ(wparam, 0u);
        op->requests.push_back(lparam);
        if (op->refuse)
            return 1;
        if (op->stubborn > 0) {
            --op->stubborn;
            return 0;
        }
        if (static_cast<size_t>(lparam) > op->discs.size())
            return 1;
        op->Insert(static_cast<size_t>(lparam));
        return 0;
    }
};

class CopyDiscTest : public test::MediaTest {
protected:
    void SetUp() override
    {
        MediaTest::SetUp();
        dest = dir / "dest";
        fs::create_directories(dest);
        op.drive = dir / "drive";
        plan.modules[1].totalSize = "300";
        plan.peModules = {{"400100"}};
        plan.peModules[0].totalSize = "50";
    }

    // Disc 1: recovery environment, the recovery image (with an app file),
    // module 300100; disc 2: module 300200, PE module 400100, a split
    // image part, an unlisted module and other files.
    void MakeTwoDiscs()
    {
        const std::string d1 = dir / "disc1", d2 = dir / "disc2";
        test::MakeMedium(d1, "RDVD", 1,
                         {{"bootmgr", "boot"},
                          {"sources\\Boot\\bcd", "bcd"},
                          {"sources\\winre\\boot.wim", "winre"},
                          {"sources\\data\\P1\\recovery.wim", "wim"},
                          {"sources\\data\\P1\\tools.app", "app"},
                          {"sources\\data\\300100\\setup.exe", "m1"},
                          {"sources\\data\\300100\\sub\\a.txt", "m1a"}});
        test::MakeMedium(d2, "RDVD", 2,
                         {{"sources\\data\\300200\\setup.exe", "m2"},
                          {"sources\\data\\400100\\setup.exe", "pe"},
                          {"sources\\data\\999999\\setup.exe", "unlisted"},
                          {"sources\\Norv1.nr2", "part"},
                          {"sources\\readme.txt", "readme"},
                          {"Recovery\\WindowsRE\\winre.wim", "re"}});
        op.discs = {d1, d2};
        op.Insert(1);
        media.winrePart = "sources\\winre\\boot.wim";
        media.fiPart = "Norv1.nr2";
        media.media = {{"bootmgr", "sources\\Boot", "sources\\winre\\boot.wim", "sources\\data\\P1",
                        "sources\\data\\300100"},
                       {"sources\\data\\300200", "sources\\data\\400100", "sources\\data\\999999",
                        "sources\\Norv1.nr2", "sources\\readme.txt", "Recovery\\WindowsRE\\winre.wim"}};
    }

    int32_t Copy(uint64_t options, const std::string &type = "RDVD", const std::string &installerType = "",
                 const std::string &temporary = "", WimMessageCallback cb = &Operator::Callback)
    {
        plan.Write(planPath);
        media.mediaType = type;
        EXPECT_TRUE(media.Save(mediaIni));
        return CopyDiscToDisk(op.drive.c_str(), dest.c_str(), planPath.c_str(), mediaIni.c_str(), type.c_str(),
                              installerType.c_str(), options, cb, &op, temporary.c_str(), log.c_str());
    }

    bool Copied(const std::string &relative) const { return fs::exists(test::Below(dest, relative)); }
    void ExpectCopied(bool copied, std::initializer_list<const char *> relatives) const
    {
        for (const char *relative : relatives)
            EXPECT_EQ(Copied(relative), copied) << relative;
    }
    std::string Log() const { return fs::exists(log) ? test::ReadFile(log) : std::string(); }

    std::string dest, log = dir / "copy.log";
    Operator op;
};

TEST_F(CopyDiscTest, CopiesSelectedFoldersAcrossTwoDiscsAskingForTheSecond)
{
    MakeTwoDiscs();
    ASSERT_EQ(Copy(kRecovery | kModules | kPeModules), 0) << Log();
    EXPECT_EQ(op.requests, std::vector<intptr_t>{2});
    EXPECT_EQ(test::ReadFile(test::Below(dest, "sources\\data\\300100\\sub\\a.txt")), "m1a");
    ExpectCopied(true, {"sources\\data\\P1\\recovery.wim", "sources\\data\\300200\\setup.exe",
                        "sources\\data\\400100\\setup.exe"});
    // Not wanted: an unlisted module, and without 0x8000 every other entry.
    ExpectCopied(false, {"sources\\data\\999999", "sources\\readme.txt", "bootmgr"});
    EXPECT_GT(op.progress, 0);

    const std::string text = Log();
    EXPECT_NE(text.find("CopyDiscToDisk Start"), std::string::npos);
    EXPECT_NE(text.find("Add the P1 Wim module path to pHalIniFolders: sources\\data\\P1"), std::string::npos);
    EXPECT_NE(text.find("add the module: sources\\data\\300200"), std::string::npos);
    EXPECT_NE(text.find("add the PE module: sources\\data\\400100"), std::string::npos);
    EXPECT_NE(text.find("First Pass: we do not found it, do not copy!"), std::string::npos);
    EXPECT_NE(text.find("SMedia: " + op.drive + "\\sources\\RDVD2"), std::string::npos);
    // The recovery image counts from the start and again for its entry.
    EXPECT_NE(text.find("TotalSize: 4546 "), std::string::npos) << text; // 2 * 2048 + 100 + 300 + 50
    EXPECT_NE(text.find("Second Pass: Error: INI_READ_ERROR"), std::string::npos);
    EXPECT_NE(text.find("CopyDiscToDisk End."), std::string::npos);
}

TEST_F(CopyDiscTest, CopiedMediaAreOnDiskBeforeSuccess)
{
    MakeTwoDiscs();
    test::FileLayerRecorder rec;
    ASSERT_EQ(Copy(kRecovery | kModules | kPeModules), 0) << Log();
    EXPECT_TRUE(rec.Durable(test::Below(dest, "sources")));
}

// An operator who gives up after a few requests: a link that hides the
// medium's marker makes the verb ask again and again.
uint32_t PatientCallback(uint32_t message, uintptr_t wparam, intptr_t lparam, void *user)
{
    auto *op = static_cast<Operator *>(user);
    if (message != WIM_MSG_PROGRESS && op->requests.size() >= 4)
        return 1;
    return Operator::Callback(message, wparam, lparam, user);
}

TEST_F(CopyDiscTest, LinksAtJoinedPathsAreRefusedAndLinksInsideAFolderCopiedAsLinks)
{
    auto scene = [&](const std::string &root) {
        return [&, root](const std::string &) {
            for (const char *disc : {"disc1", "disc2"})
                fs::remove_all(dir / disc);
            fs::remove_all(dest);
            fs::create_directories(dest);
            MakeTwoDiscs();
            return test::LinkEscapeScene{root, [&] {
                                             op.Insert(1);
                                             op.requests.clear();
                                             return Copy(kModules, "RDVD", "", "", &PatientCallback);
                                         }};
        };
    };
    for (const auto &r : test::ExpectNoLinkEscape("sources/data/300100", scene(dest)))
        EXPECT_NE(r.rc, 0) << r.linkAt;
    const auto medium = test::ExpectNoLinkEscape("sources/data/300100/sub", scene(dir / "disc1"));
    ASSERT_EQ(medium.size(), 4u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NE(medium[i].rc, 0) << medium[i].linkAt;
    // The last run: a link inside the copied folder, copied as a link.
    EXPECT_EQ(medium[3].rc, 0) << Log();
    EXPECT_TRUE(fs::is_symlink(test::Below(dest, "sources\\data\\300100\\sub")));
    EXPECT_FALSE(fs::exists(test::Below(dest, "sources\\data\\300100\\sub\\a.txt")));
}

TEST_F(CopyDiscTest, OtherEntriesLeaveOutTheRecoveryEnvironmentMediaFilesAndSplitParts)
{
    MakeTwoDiscs();
    media.winrePart = "Sources\\WinRE\\Boot.wim,sources\\data\\999999";
    ASSERT_EQ(Copy(kOther), 0) << Log();
    EXPECT_EQ(test::ReadFile(test::Below(dest, "sources\\readme.txt")), "readme");
    ExpectCopied(false, {"bootmgr", "sources\\Boot", "sources\\winre", "Recovery\\WindowsRE\\winre.wim",
                         "sources\\Norv1.nr2"});
    // Module folders are not "other" entries, and none was selected.
    ExpectCopied(false, {"sources\\data\\P1", "sources\\data\\999999"});
    const std::string text = Log();
    EXPECT_NE(text.find("Second Pass: It will be not copy .nr2: .nr2"), std::string::npos);
    EXPECT_NE(text.find("First Pass: It will not be copied bootmgr"), std::string::npos);
    EXPECT_NE(text.find("TotalSize: 0 "), std::string::npos);

    // With every group, split parts still stay on the media.
    fs::remove_all(dest);
    fs::create_directories(dest);
    op.Insert(1);
    ASSERT_EQ(Copy(kAll), 0) << Log();
    EXPECT_TRUE(Copied("sources\\readme.txt"));
    EXPECT_TRUE(Copied("sources\\data\\400100\\setup.exe"));
    EXPECT_FALSE(Copied("sources\\Norv1.nr2"));
}

TEST_F(CopyDiscTest, ModuleFiltersSelectByInstallerTypeTemporaryAndBasePlus)
{
    MakeTwoDiscs();
    plan.modules[0].installerType = "MSI";
    plan.modules[1].temporary = "True";
    ASSERT_EQ(Copy(kModules | 0x100, "RDVD", "msi"), 0) << Log();
    EXPECT_TRUE(Copied("sources\\data\\300100"));
    EXPECT_FALSE(Copied("sources\\data\\300200"));
    // Only disc 1 held something wanted, so disc 2 was never asked for.
    EXPECT_TRUE(op.requests.empty());

    fs::remove_all(dest);
    fs::create_directories(dest);
    ASSERT_EQ(Copy(kModules | 0x200, "RDVD", "", "TRUE"), 0) << Log();
    EXPECT_FALSE(Copied("sources\\data\\300100"));
    EXPECT_TRUE(Copied("sources\\data\\300200"));

    // Data modules never; BasePlus "False" not with 0x100000.
    fs::remove_all(dest);
    fs::create_directories(dest);
    op.Insert(1);
    plan.modules[0].installerType = "Data";
    plan.modules[1].basePlus = "False";
    ASSERT_EQ(Copy(kModules | 0x100000), 0) << Log();
    EXPECT_FALSE(Copied("sources\\data\\300100"));
    EXPECT_FALSE(Copied("sources\\data\\300200"));
}

TEST_F(CopyDiscTest, ModuleFolderMatchesOnlyWholeFolderNames)
{
    MakeTwoDiscs();
    plan.modules = {{"9999"}};
    ASSERT_EQ(Copy(kModules), 0) << Log();
    EXPECT_FALSE(Copied("sources\\data\\999999")); // "9999" is not "999999"
}

TEST_F(CopyDiscTest, MediumRequestsRepeatUntilTheMarkerIsThereAndStopWhenRefused)
{
    MakeTwoDiscs();
    op.stubborn = 2;
    ASSERT_EQ(Copy(kModules), 0) << Log();
    EXPECT_EQ(op.requests, (std::vector<intptr_t>{2, 2, 2}));

    fs::remove_all(dest);
    fs::create_directories(dest);
    op.Insert(1);
    op.requests.clear();
    op.refuse = true;
    EXPECT_EQ(Copy(kModules), RETURN_INSERT_DISC);
    EXPECT_EQ(op.requests, std::vector<intptr_t>{2});
    EXPECT_NE(Log().find("Error: RETURN_INSERT_DISC"), std::string::npos);
    // What disc 1 gave stays.
    EXPECT_TRUE(Copied("sources\\data\\300100\\setup.exe"));
    EXPECT_FALSE(Copied("sources\\data\\300200"));

    // Nobody to ask: the missing medium ends the run instead of a wait.
    fs::remove_all(dest);
    fs::create_directories(dest);
    EXPECT_EQ(Copy(kModules, "RDVD", "", "", nullptr), RETURN_INSERT_DISC);
}

TEST_F(CopyDiscTest, CopyFailuresEndTheRunExceptForAutorunEntries)
{
    MakeTwoDiscs();
    {
        // A full disk: the system's code for it and the file not written.
        test::FileLayerRecorder full;
        full.failWritesWith = ENOSPC;
        EXPECT_EQ(Copy(kOther), RETURN_COPY_FILE);
        EXPECT_NE(Log().find("Return: 112"), std::string::npos) << Log();
        EXPECT_NE(Log().find("Error: the disk is full: cannot write " + dest), std::string::npos) << Log();
        op.Insert(1);
    }
    media.media[0].push_back("autorun.inf"); // listed but not on the disc
    ASSERT_EQ(Copy(kOther), 0) << Log();

    media.media[1].push_back("sources\\missing.txt");
    EXPECT_EQ(Copy(kOther), RETURN_COPY_FILE);
    EXPECT_NE(Log().find("Error: fail to copy if it is not related to autorun. Return: 2"), std::string::npos);

    // A module folder that is listed but absent.
    media.media[1].pop_back();
    plan.modules.push_back({"300300"});
    media.media[1].push_back("sources\\data\\300300");
    op.Insert(1);
    EXPECT_EQ(Copy(kModules), RETURN_COPY_FILE);
}

TEST_F(CopyDiscTest, AppOptionCopiesOnlyTheRecoveryImagesAppFiles)
{
    MakeTwoDiscs();
    ASSERT_EQ(Copy(kRecovery | kApp), 0) << Log();
    EXPECT_TRUE(Copied("sources\\data\\P1\\tools.app"));
    EXPECT_FALSE(Copied("sources\\data\\P1\\recovery.wim"));
    EXPECT_FALSE(Copied("sources\\data\\300100"));
    EXPECT_NE(Log().find("First Pass: It will be copy: sources\\data\\P1"), std::string::npos);

    // No folder selected: nothing to take the app files from.
    fs::remove_all(dest);
    fs::create_directories(dest);
    ASSERT_EQ(Copy(kOther | kApp), 0) << Log();
    EXPECT_TRUE(fs::is_empty(dest + "/sources"));
}

TEST_F(CopyDiscTest, FlashMediumUsesItsOwnSectionAndMarker)
{
    const std::string ufd = dir / "ufd";
    test::MakeMedium(ufd, "RUFD", 1, {{"sources\\data\\300100\\setup.exe", "m1"}});
    op.discs = {ufd};
    op.Insert(1);
    // Module folders match without regard to case; an empty medium is
    // passed over.
    media.media = {{}, {"Sources\\Data\\300100"}};
    test::MakeMedium(ufd, "RUFD", 2, {});
    ASSERT_EQ(Copy(kModules, "RUFD"), 0) << Log();
    EXPECT_TRUE(Copied("sources\\Data\\300100\\setup.exe"));
    EXPECT_TRUE(op.requests.empty());
}

TEST_F(CopyDiscTest, UnsafeEntriesAndPlanPathsAreRefusedBeforeAnythingIsCopied)
{
    MakeTwoDiscs();
    test::WriteFile(dir / "secret.txt", "secret");
    media.media[0].insert(media.media[0].begin(), "sources\\data\\300100\\..\\..\\..\\..\\secret.txt");
    EXPECT_EQ(Copy(kModules), RETURN_UNSAFE_PATH);
    EXPECT_TRUE(fs::is_empty(dest + "/sources"));
    EXPECT_NE(Log().find("RETURN_UNSAFE_PATH"), std::string::npos);

    media.media[0].erase(media.media[0].begin());
    media.media[0].push_back("\\etc");
    EXPECT_EQ(Copy(kOther), RETURN_UNSAFE_PATH);

    media.media[0].pop_back();
    plan.recoveryPath = "..\\..";
    EXPECT_EQ(Copy(kRecovery | kModules | kApp), RETURN_UNSAFE_PATH);
    EXPECT_EQ(Copy(kModules, "..\\RDVD"), RETURN_UNSAFE_PATH);
    EXPECT_TRUE(fs::is_empty(dest + "/sources"));
}

TEST_F(CopyDiscTest, SetUpFailures)
{
    MakeTwoDiscs();
    const std::string drive = op.drive;
    op.drive = dir / "nodrive";
    EXPECT_EQ(Copy(kModules), RETURN_SOURCE_DIR_NOT_EXIST);
    op.drive = drive;
    const std::string realDest = dest;
    dest = dir / "nodest";
    EXPECT_EQ(Copy(kModules), RETURN_DEST_DIR_NOT_EXIST);
    dest = realDest;

    plan.Write(planPath);
    ASSERT_TRUE(media.Save(mediaIni));
    EXPECT_EQ(CopyDiscToDisk(op.drive.c_str(), dest.c_str(), (dir / "none.ini").c_str(), mediaIni.c_str(), "RDVD",
                             "", kModules, nullptr, nullptr, "", log.c_str()),
              RETURN_HALINI_NOEXIST);
    EXPECT_EQ(CopyDiscToDisk(op.drive.c_str(), dest.c_str(), planPath.c_str(), (dir / "none.ini").c_str(), "RDVD",
                             "", kModules, nullptr, nullptr, "", log.c_str()),
              RETURN_RCVINI_NOEXIST);
    EXPECT_NE(Log().find("Error: Can not find the nrvhdrcv.ini file. (RETURN_RCVINI_NOEXIST)"), std::string::npos);

    plan.recoveryImage = false;
    EXPECT_EQ(Copy(kRecovery), RETURN_ERROR_LOAD_GENERIC_IMAGE);
    EXPECT_EQ(Copy(kModules), 0) << Log();

    plan.endSections = false;
    EXPECT_EQ(Copy(kModules), RETURN_RECORD_INCOMPLETE);
    EXPECT_NE(Log().find("Error: it does not hit the end of the mod section."), std::string::npos);
}

} // namespace

// EpicCrcCheck against real module folders with manifests.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "platform/machine_prefix.h"
#include "tests/common/scratch_fixture.h"
#include "tests/verify/verify_fixture.h"

using namespace halcyon;
using namespace halcyon::test;

namespace {

constexpr int32_t kCrcFailed = 112;

class EpicCrcCheckTest : public ScratchTest {
protected:
    std::string src = dir / "src";

    void SetUp() override
    {
        MakeModuleFolder(src + "/mods/a", "a");
        MakeModuleFolder(src + "/mods/b", "b");
        MakeModuleFolder(src + "/pe/tools", "tools");
    }

    // The plan the builders write: "%d" and "PE%d" lists, no image lists.
    static PlanText BuilderPlan()
    {
        PlanText p;
        p.Module("1", {.name = "Alpha", .path = "mods\\a"});
        p.Module("2", {.name = "Beta", .path = "mods\\b"});
        p.End("3");
        p.Module("PE1", {.name = "Tools", .path = "pe\\tools"});
        p.End("PE2");
        return p;
    }

    int32_t Check(const std::string &source, uint64_t options = 0)
    {
        return EpicCrcCheck(plan.c_str(), source.c_str(), "ignored", log.c_str(), options);
    }

    std::vector<std::string> Checked() const { return LogLinesStarting(log, "Checking "); }
};

TEST_F(EpicCrcCheckTest, IntactFoldersOfABuilderPlanPass)
{
    WriteFile(plan, BuilderPlan().str());
    ASSERT_EQ(RETURN_SUCCESS, Check(src));
    const std::vector<std::string> expected = {"Checking 1: " + src + "\\mods\\a", "Checking 2: " + src + "\\mods\\b",
                                               "Checking PE1: " + src + "\\pe\\tools"};
    EXPECT_EQ(expected, Checked());
    const auto lines = LogTexts(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("EpicCrcCheck Start", lines.front());
    EXPECT_EQ("EpicCrcCheck End", lines.back());

    // The same folder paths whatever separator ends the source folder.
    std::filesystem::remove(log);
    ASSERT_EQ(RETURN_SUCCESS, Check(src + "\\"));
    EXPECT_EQ(expected, Checked());
    std::filesystem::remove(log);
    ASSERT_EQ(RETURN_SUCCESS, Check(src + "/"));
    EXPECT_EQ("Checking 1: " + src + "/mods\\a", Checked().front());
}

TEST_F(EpicCrcCheckTest, FolderPathsSpelledDifferently)
{
    PlanText p;
    p.Module("1", {.path = "mods\\a\\"}).Module("2", {.path = ".\\mods\\.\\b"});
    p.Module("3", {.path = "MODS\\A"}).Module("4", {.path = "mods\\\\b"}).End("5").End("PE1");
    WriteFile(plan, p.str());
    EXPECT_EQ(RETURN_SUCCESS, Check(src + "/./"));
    EXPECT_EQ(4u, Checked().size());
}

TEST_F(EpicCrcCheckTest, AllFourListsAreWalkedInOrder)
{
    MakeModuleFolder(src + "/img/one", "one");
    MakeModuleFolder(src + "/rcv/one", "rcv");
    PlanText p = BuilderPlan();
    p.Module("Image1", {.path = "img\\one"}).End("Image2");
    p.Module("RecoveryImage1", {.path = "rcv\\one"}).End("RecoveryImage2");
    WriteFile(plan, p.str());
    ASSERT_EQ(RETURN_SUCCESS, Check(src));
    const auto checked = Checked();
    ASSERT_EQ(5u, checked.size());
    EXPECT_EQ("Checking Image1: " + src + "\\img\\one", checked[3]);
    EXPECT_EQ("Checking RecoveryImage1: " + src + "\\rcv\\one", checked[4]);
}

TEST_F(EpicCrcCheckTest, StopsAtTheFirstFolderThatFails)
{
    WriteFile(plan, BuilderPlan().str());
    WriteFile(src + "/mods/a/data/a.bin", "A"); // same size, other content
    EXPECT_EQ(kCrcFailed, Check(src));
    EXPECT_EQ(std::vector<std::string>{"Checking 1: " + src + "\\mods\\a"}, Checked()) << "later folders not checked";
    EXPECT_TRUE(LogHas(log, "CRC Error: 1"));
    EXPECT_FALSE(LogHas(log, "EpicCrcCheck End"));
}

TEST_F(EpicCrcCheckTest, TamperedFoldersGiveTheCheckResultInTheLog)
{
    WriteFile(plan, BuilderPlan().str());
    struct Case {
        const char *what;
        std::function<void()> tamper;
        const char *line;
    };
    const std::string b = src + "/mods/b";
    const std::vector<Case> cases = {
        {"file added", [&] { WriteFile(b + "/extra.txt", "x"); }, "CRC Error: 1"},
        {"empty folder added", [&] { std::filesystem::create_directories(b + "/empty"); }, "CRC Error: 1"},
        {"manifest missing", [&] { std::filesystem::remove(b + "/_FS_SWRINFO/files.info"); }, "CRC Error: 2"},
        {"only the manifest left",
         [&] {
             std::filesystem::remove_all(b + "/data");
             std::filesystem::remove(b + "/setup.bat");
         },
         "CRC Error: 3"},
        {"folder missing", [&] { std::filesystem::remove_all(b); }, "CRC Error: 2"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(b);
        MakeModuleFolder(b, "b");
        c.tamper();
        std::filesystem::remove(log);
        EXPECT_EQ(kCrcFailed, Check(src));
        EXPECT_TRUE(LogHas(log, c.line));
        EXPECT_EQ(2u, Checked().size());
    }
}

TEST_F(EpicCrcCheckTest, ListsOfOnlyTheirEndCheckNothing)
{
    WriteFile(plan, PlanText().End("1").End("PE1").End("Image1").End("RecoveryImage1").str());
    EXPECT_EQ(RETURN_SUCCESS, Check(src));
    EXPECT_TRUE(Checked().empty());
}

TEST_F(EpicCrcCheckTest, MissingOrBrokenListsEndWithTheReaderCode)
{
    struct Case {
        const char *what;
        PlanText plan;
        size_t checked;
    };
    PlanText noModules;
    noModules.End("PE1");
    PlanText noPe;
    noPe.Module("1", {.path = "mods\\a"}).End("2");
    PlanText gap = PlanText().Module("1", {.path = "mods\\a"}).Module("3", {.path = "mods\\b"}).End("4").End("PE1");
    PlanText brokenImage = BuilderPlan();
    brokenImage.Raw("[Image1]\r\nReleaseName=Img\r\n\r\n");
    PlanText unendedImage = BuilderPlan();
    unendedImage.Module("Image1", {.path = "mods\\a"});
    const std::vector<Case> cases = {
        {"no \"%d\" list", noModules, 0},
        {"no \"PE%d\" list", noPe, 1},
        {"gap in the list", gap, 1},
        {"image list with an incomplete first member", brokenImage, 3},
        {"image list without its end", unendedImage, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(plan, c.plan.str());
        std::filesystem::remove(log);
        EXPECT_EQ(RETURN_RECORD_INCOMPLETE, Check(src));
        EXPECT_EQ(c.checked, Checked().size());
        EXPECT_FALSE(LogHas(log, "EpicCrcCheck End"));
    }
}

TEST_F(EpicCrcCheckTest, DataModules)
{
    // A data module without a folder has nothing to check ...
    PlanText p;
    p.Module("1", {.path = "mods\\a"});
    p.Module("2", {.name = "CleanSweep", .path = "", .installerType = "data"});
    p.End("3").End("PE1");
    WriteFile(plan, p.str());
    EXPECT_EQ(RETURN_SUCCESS, Check(src));
    EXPECT_EQ(1u, Checked().size());
    EXPECT_TRUE(LogHas(log, "Skipping 2: the data module has no folder."));

    // ... one that names a folder gets it checked like any module.
    PlanText q;
    q.Module("1", {.path = "mods\\a"});
    q.Module("2", {.name = "CleanSweep", .path = "data\\cs", .installerType = "Data"});
    q.End("3").End("PE1");
    WriteFile(plan, q.str());
    std::filesystem::remove(log);
    EXPECT_EQ(kCrcFailed, Check(src));
    EXPECT_TRUE(LogHas(log, "CRC Error: 2"));
}

TEST_F(EpicCrcCheckTest, PlanPathsLeavingTheSourceAreRefused)
{
    // A tampered folder outside the source: were it checked, the result
    // would be 112, not the refusal.
    MakeModuleFolder(dir / "outside", "x");
    WriteFile(dir / "outside/data/x.bin", "y");
    const std::string outside = dir / "outside";
    for (const std::string &path : {std::string("..\\outside"), std::string("mods\\..\\..\\outside"), outside,
                                    std::string("\\tmp"), std::string("C:\\mods")}) {
        SCOPED_TRACE(path);
        PlanText p;
        p.Module("1", {.path = "mods\\a"}).Module("2", {.path = path}).End("3").End("PE1");
        WriteFile(plan, p.str());
        std::filesystem::remove(log);
        EXPECT_EQ(RETURN_UNSAFE_PATH, Check(src));
        EXPECT_EQ(1u, Checked().size());
        EXPECT_TRUE(LogHas(log, "Error: the plan value PathToRelease='" + path +
                                    "' of section 2 would lead outside the source folder. (RETURN_UNSAFE_PATH)"));
    }
}

TEST_F(EpicCrcCheckTest, OptionBitsDoNotChangeTheWalk)
{
    PlanText p = BuilderPlan();
    WriteFile(plan, p.str());
    for (uint64_t options : {uint64_t{0x80000}, uint64_t{0x40}, uint64_t{0x4 | 0x200000}, ~uint64_t{0}}) {
        SCOPED_TRACE(options);
        std::filesystem::remove(log);
        EXPECT_EQ(RETURN_SUCCESS, Check(src, options));
        EXPECT_EQ(3u, Checked().size());
    }
}

TEST_F(EpicCrcCheckTest, MissingSourceOrIni)
{
    WriteFile(plan, BuilderPlan().str());
    EXPECT_EQ(RETURN_SOURCE_DIR_NOT_EXIST, Check(dir / "nowhere"));
    EXPECT_EQ((std::vector<std::string>{"EpicCrcCheck Start", "Error: Can not find the source.",
                                        "sSrc: " + dir / "nowhere\\"}),
              LogTexts(log));

    std::filesystem::remove(log);
    EXPECT_EQ(RETURN_SOURCE_DIR_NOT_EXIST, Check(""));

    std::filesystem::remove(log);
    plan = dir / "missing.ini";
    EXPECT_EQ(RETURN_UNABLE_OPEN_INI, Check(src));
    EXPECT_EQ((std::vector<std::string>{"EpicCrcCheck Start", "Error: Load ini file error.", "sIni: " + plan}),
              LogTexts(log));

    // Null texts read as empty.
    EXPECT_EQ(RETURN_SOURCE_DIR_NOT_EXIST, EpicCrcCheck(nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(RETURN_UNABLE_OPEN_INI, EpicCrcCheck(nullptr, src.c_str(), nullptr, nullptr, 0));
    EXPECT_EQ(RETURN_UNABLE_OPEN_INI, EpicCrcCheck(dir.path().c_str(), src.c_str(), nullptr, nullptr, 0))
        << "a folder is no INI";
}

TEST_F(EpicCrcCheckTest, RelativeNamesAreTakenFromTheCurrentFolder)
{
    WriteFile(plan, BuilderPlan().str());
    CurrentFolder here(dir.path());
    EXPECT_EQ(RETURN_SUCCESS, EpicCrcCheck("halcyon.ini", "src", "", log.c_str(), 0));
    EXPECT_EQ("Checking 1: src\\mods\\a", Checked().front());
    std::filesystem::remove(log);
    EXPECT_EQ(RETURN_UNABLE_OPEN_INI, EpicCrcCheck("other.ini", "src", "", log.c_str(), 0));
    EXPECT_TRUE(LogHas(log, "sIni: .\\other.ini"));
}

// The emulated machine's drive folders (Linux only: the path mapping).
#if !defined(_WIN32)
TEST_F(EpicCrcCheckTest, WindowsPathsOnTheMachineDrives)
{
    const std::string drive = platform::DriveFolder('D');
    MakeModuleFolder(drive + "/Sources/Mods/A", "a");
    MakeModuleFolder(drive + "/Sources/Mods/B", "b");
    MakeModuleFolder(drive + "/Sources/PE/Tools", "tools");
    WriteFile(drive + "/Plans/halcyon.ini", BuilderPlan().str());
    EXPECT_EQ(RETURN_SUCCESS, EpicCrcCheck("D:\\plans\\HALCYON.INI", "D:\\sources", "", log.c_str(), 0));
    EXPECT_EQ("Checking 1: D:\\sources\\mods\\a", Checked().front());
}
#endif

TEST_F(EpicCrcCheckTest, LogFailures)
{
    WriteFile(plan, BuilderPlan().str());
    const std::string badLog = dir.path(); // a folder: cannot be opened for appending
    EXPECT_EQ(RETURN_LOG_OPEN_FAILED, EpicCrcCheck(plan.c_str(), src.c_str(), "", badLog.c_str(), 0))
        << "the line before each folder is guarded";
    // The lines of the early failures are not guarded.
    EXPECT_EQ(RETURN_SOURCE_DIR_NOT_EXIST, EpicCrcCheck(plan.c_str(), (dir / "x").c_str(), "", badLog.c_str(), 0));
    // Nor is the start line: an empty plan passes without the log.
    WriteFile(plan, PlanText().End("1").End("PE1").str());
    EXPECT_EQ(RETURN_SUCCESS, EpicCrcCheck(plan.c_str(), src.c_str(), "", badLog.c_str(), 0));
}

} // namespace

// The copy-disc and media commands on media folders made by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/image/media_description.h"
#include "platform/machine.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/media_fixture.h"
#include "tests/common/media_set.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;

namespace {

using test::RunHalcyon;

class MediaCommandTest : public test::MediaTest {
protected:
    void SetUp() override
    {
        MediaTest::SetUp();
        plan.Write(planPath);
        test::MakeMedium(dir / "disc1", "RDVD", 1,
                         {{"sources\\data\\P1\\r.wim", "r"}, {"sources\\data\\300100\\setup.exe", "a"}});
        test::MakeMedium(dir / "disc2", "RDVD", 2,
                         {{"sources\\data\\FI\\Norv1.nr2", "f"}, {"sources\\data\\300200\\setup.exe", "b"}});
        media.media = {{"sources\\data\\P1", "sources\\data\\300100"},
                       {"sources\\data\\FI\\Norv1.nr2", "sources\\data\\300200"}};
        ASSERT_TRUE(media.Save(mediaIni));
        fs::create_directories(dir / "dest");
    }

    std::string CopyArgs() const
    {
        return "copy-disc --plain --dest " + (dir / "dest") + " --plan " + planPath + " --media-ini " + mediaIni +
               " --options 0x3000 --log " + (dir / "copy.log");
    }

};

TEST_F(MediaCommandTest, CopyDiscTakesTheMediaFoldersInTurn)
{
    std::string out;
    ASSERT_EQ(RunHalcyon(CopyArgs() + " --media-dir " + (dir / "disc1") + " " + (dir / "disc2"), out), 0) << out;
    EXPECT_NE(out.find("Medium 2 (RDVD2) inserted."), std::string::npos) << out;
    EXPECT_EQ(test::ReadFile(dir / "dest/sources/data/300200/setup.exe"), "b");
    EXPECT_EQ(test::ReadFile(dir / "dest/sources/data/P1/r.wim"), "r");

    // Only one folder given: the second medium is missing.
    out.clear();
    EXPECT_EQ(RunHalcyon(CopyArgs() + " --media-dir " + (dir / "disc1"), out), 1) << out;
    EXPECT_NE(out.find("CopyDiscToDisk failed: 66"), std::string::npos) << out;

    out.clear();
    EXPECT_EQ(RunHalcyon(CopyArgs() + " --media-dir", out), 2) << out;
}

TEST_F(MediaCommandTest, CopyDiscAsksOnTheTerminal)
{
    std::string out;
    EXPECT_EQ(RunHalcyon(CopyArgs() + " --source " + (dir / "disc1"), out, "q\\n"), 1) << out;
    EXPECT_NE(out.find("Insert medium 2 (RDVD2) into " + (dir / "disc1")), std::string::npos) << out;
}

TEST_F(MediaCommandTest, MediaCheckReportsTheCode)
{
    std::string out;
    EXPECT_EQ(RunHalcyon("media check --media-ini " + mediaIni + " --plan " + planPath, out), 0) << out;
    EXPECT_NE(out.find("OK: every folder"), std::string::npos) << out;

    media.media[1].pop_back();
    ASSERT_TRUE(media.Save(mediaIni));
    out.clear();
    EXPECT_EQ(RunHalcyon("media check --media-ini " + mediaIni + " --plan " + planPath, out), 1) << out;
    EXPECT_NE(out.find("on no recovery disc (92)"), std::string::npos) << out;

    out.clear();
    EXPECT_EQ(RunHalcyon("media check --plan " + planPath, out), 2) << out;
}

} // namespace

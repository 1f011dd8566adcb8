// CompareNrvIniToHalIni: the plan's folders against the recovery discs'
// entry lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/image/media_description.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/ini/ini_store.h"
#include "platform/machine.h"
#include "tests/common/media_fixture.h"
#include "tests/common/media_set.h"
#include "tests/common/test_env.h"

using namespace halcyon;

namespace {

class CompareNrvIniTest : public test::MediaTest {
protected:
    void SetUp() override
    {
        MediaTest::SetUp();
        media.media = {{"sources\\data\\P1", "sources\\data\\300100\\setup.exe"},
                       {"sources\\data\\FI\\Norv1.nr2", "sources\\data\\300200"}};
    }

    int32_t Check(uint64_t options = 0)
    {
        plan.Write(planPath);
        EXPECT_TRUE(media.Save(mediaIni));
        return CompareNrvIniToHalIni(mediaIni.c_str(), planPath.c_str(), options);
    }

};

TEST_F(CompareNrvIniTest, DescriptionIsWrittenInItsLayoutAndReadBack)
{
    media.winrePart = "sources\\winre";
    media.fiPart = "Norv1.nr2,Norv2.nr2";
    media.media.insert(media.media.begin() + 1, std::vector<std::string>{});
    ASSERT_TRUE(media.Save(mediaIni));
    support::CMemoryIniIO store;
    ASSERT_TRUE(store.LoadFile(mediaIni));
    EXPECT_STREQ(store.GetValue("SOURCE", "WINREPart"), "sources\\winre");
    EXPECT_STREQ(store.GetValue("SOURCE", "FIPart"), "Norv1.nr2,Norv2.nr2");
    EXPECT_STREQ(store.GetValue("MEDIA:RDVD", "RDVD1"), "sources\\data\\P1,sources\\data\\300100\\setup.exe");
    EXPECT_EQ(image::MediaMarkerPath("D:\\", "RDVD", 2), "D:\\sources\\RDVD2");
    // An empty medium is present; the list goes on to the next one.
    const auto values = image::ReadMediaValues(store, "RDVD");
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[1], "");
    EXPECT_EQ(image::SplitMediaEntries(" a ,,b\t, "), (std::vector<std::string>{"a", "b"}));
    // The empty middle disc does not end the search.
    plan.Write(planPath);
    EXPECT_EQ(CompareNrvIniToHalIni(mediaIni.c_str(), planPath.c_str(), 0), 0);
}

TEST_F(CompareNrvIniTest, EveryFolderOnSomeDiscPasses)
{
    EXPECT_EQ(Check(), 0);
    // Only the discs count, whatever type the front end copies from.
    media.mediaType = "RUFD";
    EXPECT_EQ(Check(), 92);
}

TEST_F(CompareNrvIniTest, AFolderOnNoDiscFails)
{
    media.media[1].pop_back();
    EXPECT_EQ(Check(), 92);

    // Case matters.
    media.media[1].push_back("sources\\Data\\300200");
    EXPECT_EQ(Check(), 92);

    // The parent folder alone does not hold it, nor does a longer name.
    media.media[1].back() = "sources\\data";
    EXPECT_EQ(Check(), 92);
    media.media[1].back() = "sources\\data\\3002001";
    EXPECT_EQ(Check(), 92);

    media.media.clear();
    EXPECT_EQ(Check(), 92);
}

TEST_F(CompareNrvIniTest, TemporaryDataAndNonBasePlusModulesAreNotLookedUp)
{
    plan.modules.push_back({"300300"});
    EXPECT_EQ(Check(), 92);
    plan.modules.back().temporary = "TRUE";
    EXPECT_EQ(Check(), 0);
    plan.modules.back().temporary = "False";
    plan.modules.back().installerType = "data";
    EXPECT_EQ(Check(), 0);
    plan.modules.back().installerType = "MSI";
    plan.modules.back().basePlus = "False";
    EXPECT_EQ(Check(), 92);
    EXPECT_EQ(Check(0x100000), 0);
}

TEST_F(CompareNrvIniTest, IncompleteImageRecords)
{
    plan.recoveryImage = false;
    EXPECT_EQ(Check(), 94);
    plan.recoveryImage = true;
    plan.blid.clear();
    EXPECT_EQ(Check(), 95);
    plan.image = false;
    EXPECT_EQ(Check(), 95);
}

TEST_F(CompareNrvIniTest, MoreThanAThousandFoldersIsRefused)
{
    test::MediaPlanModule absent;
    absent.releaseId = "300300";
    plan.modules.assign(999, absent);
    EXPECT_EQ(Check(), 91); // 999 modules and the two images make 1001
    plan.modules.resize(998);
    EXPECT_EQ(Check(), 92); // the folders fit, but the module's is on no disc
    media.media[0].push_back("sources\\data\\300300");
    EXPECT_EQ(Check(), 0);
}

TEST_F(CompareNrvIniTest, MissingFilesAndBrokenPlans)
{
    EXPECT_EQ(CompareNrvIniToHalIni((dir / "none.ini").c_str(), planPath.c_str(), 0), RETURN_RCVINI_NOEXIST);
    ASSERT_TRUE(media.Save(mediaIni));
    EXPECT_EQ(CompareNrvIniToHalIni(mediaIni.c_str(), (dir / "none.ini").c_str(), 0), RETURN_HALINI_NOEXIST);
    EXPECT_EQ(CompareNrvIniToHalIni(nullptr, nullptr, 0), RETURN_RCVINI_NOEXIST);
    plan.endSections = false;
    EXPECT_EQ(Check(), RETURN_RECORD_INCOMPLETE);
}

} // namespace

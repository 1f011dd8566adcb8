// halcyon mui drives the server as a client: registration from the file,
// then everything through class activation.
#include "platform/registry.h"
#include "tests/common/halcyon_command.h"
#include "tests/langsel/mui_fixture.h"

namespace halcyon::test {
namespace {

class MuiCommandTest : public MuiTest {};

TEST_F(MuiCommandTest, RegisterListSelectAndUnregister)
{
    std::string out;
    std::string server = std::string("--server '") + MUICHOOSER_DLL_PATH + "'";
    ASSERT_EQ(RunHalcyon("mui unregister " + server, out), 0) << out;
    EXPECT_NE(RunHalcyon("mui languages", out), 0);
    EXPECT_NE(out.find("class not registered"), std::string::npos) << out;

    ASSERT_EQ(RunHalcyon("mui register " + server, out), 0) << out;
    WriteFile(X("Norv/ZRPLP.ini"), "[LPMode]\nLP-C=Yes\n[Lang]\nLang1=en-US\nLang2=nl-NL\n");
    ASSERT_EQ(RunHalcyon("mui languages", out), 0) << out;
    EXPECT_EQ(out, "en-US,nl-NL\n");

    std::string calls = FakeTool("Wpeutil.exe", 0);
    ASSERT_EQ(RunHalcyon("mui select nl-NL --id 5", out), 0) << out;
    EXPECT_EQ(Calls(calls), "[SetMuiLanguage][nl-NL]\n[SetUserLocale][nl-NL]\n");
    std::string choice = ReadFile(X("Norv/Language.ini"));
    EXPECT_NE(choice.find("LP-C=Yes"), std::string::npos);
    EXPECT_NE(choice.find("Lang=nl-NL"), std::string::npos);
    std::string stored;
    platform::reg::GetString(platform::reg::HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Norv Corporation\\Installed Software\\Variables", "SelectedLanguage", &stored);
    EXPECT_EQ(stored, "nl-NL");
    EXPECT_EQ(RunHalcyon("mui select nl-NL --id 22", out), 1) << out;

    // Late-bound calls by name.
    ASSERT_EQ(RunHalcyon("mui call getlangnamearray", out), 0) << out;
    EXPECT_EQ(out, "en-US,nl-NL\n");
    EXPECT_EQ(RunHalcyon("mui call SetBCDToWinRE", out), 1) << out;
    EXPECT_EQ(out, "1003\n");
    EXPECT_EQ(RunHalcyon("mui call NoSuchMethod", out), 1) << out;
    EXPECT_EQ(RunHalcyon("mui bcd sideways", out), 2) << out;

    ASSERT_EQ(RunHalcyon("mui unregister " + server, out), 0) << out;
    EXPECT_FALSE(platform::reg::KeyExists(platform::reg::HKEY_CLASSES_ROOT, "MuiChooser.ComMUI"));
}

TEST_F(MuiCommandTest, PerUserRegistrationAndTheBootConfiguration)
{
    std::string out;
    std::string server = std::string("--server '") + MUICHOOSER_DLL_PATH + "'";
    ASSERT_EQ(RunHalcyon("mui unregister " + server, out), 0) << out;
    ASSERT_EQ(RunHalcyon("mui register --user " + server, out), 0) << out;
    EXPECT_TRUE(platform::reg::KeyExists(platform::reg::HKEY_CURRENT_USER, "Software\\Classes\\MuiChooser.ComMUI"));

    Partitions("NorvBoot=S\nWinRE=W\n");
    WriteAt(Drive('s', "EFI/Microsoft/boot/BCD"), "store");
    std::string calls = FakeTool("bcdedit.exe", 0);
    ASSERT_EQ(RunHalcyon("mui bcd winpe", out), 0) << out;
    EXPECT_EQ(out, "SetBCDToWinPE: S_OK, result 0\n");
    EXPECT_NE(Calls(calls).find("[ramdisk=[0:]\\sources\\boot.wim,"), std::string::npos);
    EXPECT_EQ(RunHalcyon("mui delete-firstboot", out), 0) << out;
    EXPECT_EQ(RunHalcyon("mui recover-bcd", out), 1) << out;
    EXPECT_EQ(out, "RecoverLPCBCD: S_FALSE, result 1002\n");
}

} // namespace
} // namespace halcyon::test

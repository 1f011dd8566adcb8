// The IComMUI operations on a recovery environment's X: drive with fake
// Windows PE tools and the machine's partitions.
#include "platform/file_attributes.h"
#include "platform/registry.h"
#include "tests/common/link_escape.h"
#include "tests/langsel/mui_fixture.h"

namespace halcyon::test {
namespace {

namespace reg = platform::reg;

class OperationsTest : public MuiTest {
protected:
    void SetUp() override
    {
        MuiTest::SetUp();
        Create(mui);
    }
    bool Has(const std::string &text) { return Log().find(text) != std::string::npos; }
    ComPtr<IComMUI> mui;
};

TEST_F(OperationsTest, LanguageNamesStopAtTheFirstMissingKey)
{
    BSTR names = nullptr;
    EXPECT_EQ(mui->GetLangNameArray(&names), S_FALSE); // no build description
    EXPECT_EQ(names, nullptr);
    EXPECT_EQ(mui->GetLangNameArray(nullptr), S_FALSE);

    WriteFile(X("Norv/ZRPLP.ini"), "[Lang]\nLang1=en-US\nLang3=ja-JP\n");
    ASSERT_EQ(mui->GetLangNameArray(&names), S_OK);
    EXPECT_EQ(Text(names), u"en-US");
    bstr_.free(names);

    WriteFile(X("Norv/ZRPLP.ini"), "[Lang]\nLang1=en-US\nLang2=Fran\xc3\xa7" "ais\nLang3=ja-JP\n");
    ASSERT_EQ(mui->GetLangNameArray(&names), S_OK);
    EXPECT_EQ(Text(names), u"en-US,Fran\u00e7ais,ja-JP");
    bstr_.free(names);
    // A second call gives the same list, not each name twice.
    ASSERT_EQ(mui->GetLangNameArray(&names), S_OK);
    EXPECT_EQ(Text(names), u"en-US,Fran\u00e7ais,ja-JP");
    bstr_.free(names);

    WriteFile(X("Norv/ZRPLP.ini"), "[Lang]\nLang1=\n");
    ASSERT_EQ(mui->GetLangNameArray(&names), S_OK);
    EXPECT_NE(names, nullptr);
    EXPECT_EQ(Text(names), u"");
    bstr_.free(names);
}

TEST_F(OperationsTest, SetMultipleLanguageRetriesEachArgumentUpToThreeStarts)
{
    BSTR name = Bstr(u"ko-KR");
    std::string calls = FakeTool("Wpeutil.exe", 1);
    EXPECT_EQ(mui->SetMultipleLanguage(&name, 21), S_OK); // failures are not reported
    EXPECT_EQ(Calls(calls), "[SetMuiLanguage][ko-KR]\n[SetMuiLanguage][ko-KR]\n[SetMuiLanguage][ko-KR]\n"
                            "[SetUserLocale][ko-KR]\n[SetUserLocale][ko-KR]\n[SetUserLocale][ko-KR]\n");

    std::filesystem::remove(calls);
    EXPECT_EQ(mui->SetMultipleLanguage(&name, 22), S_FALSE);
    EXPECT_EQ(mui->SetMultipleLanguage(&name, 0), S_FALSE);
    EXPECT_EQ(mui->SetMultipleLanguage(nullptr, 1), S_FALSE);
    EXPECT_EQ(Calls(calls), "");
    // A missing tool is tried three times per argument and still answers S_OK.
    std::filesystem::remove(X("Windows/System32/Wpeutil.exe"));
    EXPECT_EQ(mui->SetMultipleLanguage(&name, 1), S_OK);
    bstr_.free(name);
}

TEST_F(OperationsTest, LpcBuildFlagDecidesWhatTheChoiceFileHolds)
{
    BSTR name = Bstr(u"zh-TW");
    WriteFile(X("Norv/ZRPLP.ini"), "[LPMode]\nLP-C=YES\n");
    // On a new object only the language is written.
    ASSERT_EQ(mui->CreateIniFile(&name), S_OK);
    EXPECT_EQ(ReadFile(X("Norv/Language.ini")).find("LPMode"), std::string::npos);

    VARIANT_BOOL lpc = VARIANT_FALSE;
    ASSERT_EQ(mui->IsMLSLPC(&lpc), S_OK);
    EXPECT_EQ(lpc, VARIANT_TRUE);
    EXPECT_TRUE(Has("m_bLPCbuild = true"));
    EXPECT_TRUE(Has("m_bLPCbuild = 1"));
    // The old file is truncated; LPMode comes before Lang.
    WriteFile(X("Norv/Language.ini"), "[Old]\nKey=1\n");
    ASSERT_EQ(mui->CreateIniFile(&name), S_OK);
    std::string choice = ReadFile(X("Norv/Language.ini"));
    EXPECT_EQ(choice.find("Old"), std::string::npos);
    size_t mode = choice.find("[LPMode]");
    size_t lang = choice.find("[Lang]");
    ASSERT_NE(mode, std::string::npos);
    ASSERT_NE(lang, std::string::npos);
    EXPECT_LT(mode, lang);
    EXPECT_NE(choice.find("LP-C=Yes"), std::string::npos);
    EXPECT_NE(choice.find("Lang=zh-TW"), std::string::npos);
    EXPECT_TRUE(Has("CreateIniFile::m_bLPCbuild"));
    EXPECT_TRUE(Has("WritePrivateProfileString OK"));

    // The flag is never cleared, whatever the file says later.
    WriteFile(X("Norv/ZRPLP.ini"), "[LPMode]\nLP-C=No\n");
    ASSERT_EQ(mui->IsMLSLPC(&lpc), S_OK);
    EXPECT_EQ(lpc, VARIANT_FALSE);
    EXPECT_EQ(mui->CreateIniFile(nullptr), S_FALSE);
    bstr_.free(name);
}

TEST_F(OperationsTest, IsMLSLPCLogsWhyTheAnswerIsFalse)
{
    VARIANT_BOOL lpc = VARIANT_TRUE;
    EXPECT_EQ(mui->IsMLSLPC(&lpc), S_OK);
    EXPECT_EQ(lpc, VARIANT_FALSE);
    EXPECT_TRUE(Has("enter IsMLSLPC"));
    EXPECT_TRUE(Has("zrplp.ini not exist"));
    WriteFile(X("Norv/ZRPLP.ini"), "[Lang]\nLang1=en-US\n");
    EXPECT_EQ(mui->IsMLSLPC(&lpc), S_OK);
    EXPECT_TRUE(Has("GetPrivateProfileString fail or not LP-C build"));
    EXPECT_EQ(mui->IsMLSLPC(nullptr), S_OK);
    EXPECT_TRUE(Has("NULL == bMlsplc"));
    EXPECT_TRUE(Has("m_bLPCbuild = 0"));
    // Lines carry the date and time: "yyyy.mm.dd hh:mm:ss text".
    std::string first = Log().substr(0, Log().find('\n'));
    ASSERT_EQ(first.size(), std::string("2026.01.01 00:00:00 enter IsMLSLPC").size());
    EXPECT_EQ(first[4], '.');
    EXPECT_EQ(first[10], ' ');
    EXPECT_EQ(first[13], ':');
    EXPECT_EQ(first.substr(20), "enter IsMLSLPC");
}

TEST_F(OperationsTest, SelectedLanguageGoesToTheRegistry)
{
    const char *key = "SOFTWARE\\Norv Corporation\\Installed Software\\Variables";
    COMLONG code = -1;
    BSTR name = Bstr(u"pt-BR");
    ASSERT_EQ(mui->SetLanguageToRegistry(name, &code), S_OK);
    EXPECT_EQ(code, 0);
    uint32_t type = 0;
    std::vector<uint8_t> data;
    reg::UniqueKey handle;
    ASSERT_EQ(reg::RegOpenKeyEx(reg::HKEY_LOCAL_MACHINE, key, reg::KEY_READ, handle.out()), reg::ERROR_SUCCESS);
    ASSERT_EQ(reg::RegQueryValueEx(handle.get(), "SelectedLanguage", &type, &data), reg::ERROR_SUCCESS);
    EXPECT_EQ(type, reg::REG_SZ);
    EXPECT_EQ(std::string(data.begin(), data.end()), "pt-BR"); // no terminator
    // An absent name stores empty data.
    ASSERT_EQ(mui->SetLanguageToRegistry(nullptr, &code), S_OK);
    ASSERT_EQ(reg::RegQueryValueEx(handle.get(), "SelectedLanguage", &type, &data), reg::ERROR_SUCCESS);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(mui->SetLanguageToRegistry(name, nullptr), S_FALSE);
    EXPECT_TRUE(Has("enter SetLanguageToRegistry"));
    EXPECT_TRUE(Has("out SetLanguageToRegistry"));

    // A registry that cannot be written.
    handle.reset();
    WithUnmakeableMachine([&] {
        code = -1;
        EXPECT_EQ(mui->SetLanguageToRegistry(name, &code), S_FALSE);
        EXPECT_EQ(code, MUI_ERROR_REGISTRY);
    });
    bstr_.free(name);
}

TEST_F(OperationsTest, FirstBootFlagsAreRemovedFromTheRecoveryPartition)
{
    COMLONG code = -1;
    // No partition table at all.
    EXPECT_EQ(mui->DeleteFirstBootFlagFiles(&code), S_FALSE);
    EXPECT_EQ(code, MUI_ERROR_FIRSTBOOT);
    EXPECT_TRUE(Has("Initialize fail"));
    EXPECT_TRUE(Has("m_cWinREPartitionDriveLetter = 0"));
    // A table without a recovery partition.
    Partitions("NorvBoot=S\n");
    EXPECT_EQ(mui->DeleteFirstBootFlagFiles(&code), S_FALSE);
    EXPECT_TRUE(Has("cDriveLetter is '0'"));
    EXPECT_TRUE(Has("out DeleteFirstBootFlagFiles"));

    Partitions("WinRE=w\n");
    std::string flag = Drive('w', "sources/Norv/Setting/FIRSTBOOT");
    std::string version = Drive('w', "sources/Norv/Setting/FirstBootVer.txt");
    WriteAt(flag, "1");
    WriteAt(version, "2");
    ASSERT_TRUE(platform::SetFileAttributes(flag, platform::FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(mui->DeleteFirstBootFlagFiles(&code), S_OK);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(std::filesystem::exists(flag));
    EXPECT_FALSE(std::filesystem::exists(version));
    EXPECT_TRUE(Has("strFirstBootPath = W:\\sources\\Norv\\Setting\\FIRSTBOOT"));
    EXPECT_TRUE(Has("DeleteFirstBoot\n"));
    EXPECT_TRUE(Has("Delete FirstBoottxt"));
    EXPECT_TRUE(Has("DeleteFile is OK"));
    // Nothing left to delete is success too.
    EXPECT_EQ(mui->DeleteFirstBootFlagFiles(&code), S_OK);
    EXPECT_EQ(mui->DeleteFirstBootFlagFiles(nullptr), S_FALSE);
}

TEST_F(OperationsTest, FlagFilesThatCannotBeDeletedFailAfterThreeRounds)
{
    Partitions("WinRE=W\n");
    // A folder in place of the flag file resists deletion.
    std::filesystem::create_directories(Drive('w', "sources/Norv/Setting/FIRSTBOOT/inner"));
    COMLONG code = -1;
    EXPECT_EQ(mui->DeleteFirstBootFlagFiles(&code), S_FALSE);
    EXPECT_EQ(code, MUI_ERROR_FIRSTBOOT);
    std::string log = Log();
    size_t rounds = 0;
    for (size_t at = log.find("iDeleteFileTimes++"); at != std::string::npos;
         at = log.find("iDeleteFileTimes++", at + 1))
        ++rounds;
    EXPECT_EQ(rounds, 3u);
}

TEST_F(OperationsTest, RecoverLpcBcdPutsTheOriginalStoreBack)
{
    COMLONG code = -1;
    EXPECT_EQ(mui->RecoverLPCBCD(&code), S_FALSE);
    EXPECT_EQ(code, MUI_ERROR_RECOVER_BCD);
    EXPECT_TRUE(Has("ActiveGPTSystemPartition fail "));

    Partitions("GPTSystem=G\n");
    EXPECT_EQ(mui->RecoverLPCBCD(&code), S_FALSE);
    EXPECT_TRUE(Has("strBCDPath = G:\\EFI\\Microsoft\\boot\\BCD"));
    EXPECT_TRUE(Has("BCD.LPCORG not exist"));

    std::string store = Drive('g', "EFI/Microsoft/Boot/BCD");
    WriteAt(store, "modified");
    WriteAt(store + ".LPCORG", "original");
    ASSERT_TRUE(platform::SetFileAttributes(store, platform::FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(mui->RecoverLPCBCD(&code), S_OK);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(store), "original");
    EXPECT_FALSE(std::filesystem::exists(store + ".LPCORG"));
    for (const char *line : {"enter CopyPathToPath", "CopyPathToPath OK", "copy OK", "delete BCD.LPCORG",
                             "DisableGPTSystemPartition OK "})
        EXPECT_TRUE(Has(line)) << line;
    EXPECT_EQ(mui->RecoverLPCBCD(nullptr), S_FALSE);
}

TEST_F(OperationsTest, SetBcdToWinReRunsTheFourToolSteps)
{
    std::string calls = FakeTool("bcdedit.exe", 3); // the tool's code is not examined
    Partitions("NorvBoot=S\nWinRE=W\n");
    WriteAt(Drive('s', "EFI/Microsoft/boot/BCD"), "store");
    COMLONG code = -1;
    // Before the recovery partition is located the ramdisk partition is "0:".
    ASSERT_EQ(mui->SetBCDToWinRE(&code), S_OK);
    EXPECT_EQ(code, 0);
    const std::string store = "[/store][S:\\EFI\\Microsoft\\boot\\BCD][/set]";
    const std::string options = "{7619dcc8-fafe-11d9-b411-000476eba25f}";
    EXPECT_EQ(Calls(calls), store + "[{default}][device][ramdisk=[0:]\\Recovery\\WindowsRE\\winre.wim," + options + "]\n" +
                                store + "[{default}][osdevice][ramdisk=[0:]\\Recovery\\WindowsRE\\winre.wim," + options +
                                "]\n" + store + "[" + options + "][ramdisksdidevice][partition=0:]\n" + store + "[" +
                                options + "][ramdisksdipath][\\boot\\boot.sdi]\n");

    std::filesystem::remove(calls);
    COMLONG located = -1;
    ASSERT_EQ(mui->DeleteFirstBootFlagFiles(&located), S_OK);
    ASSERT_EQ(mui->SetBCDToWinPE(&code), S_OK);
    EXPECT_EQ(code, 0);
    std::string pe = Calls(calls);
    EXPECT_NE(pe.find("[ramdisk=[W:]\\sources\\boot.wim," + options + "]"), std::string::npos) << pe;
    EXPECT_NE(pe.find("[partition=W:]"), std::string::npos) << pe;
    EXPECT_EQ(mui->SetBCDToWinRE(nullptr), S_OK);
}

TEST_F(OperationsTest, SetBcdFailuresGiveTheirCodes)
{
    COMLONG code = -1;
    // No boot partition: activation fails and no store is found on "0:".
    ASSERT_EQ(mui->SetBCDToWinRE(&code), S_OK);
    EXPECT_EQ(code, MUI_ERROR_NO_BCD);
    EXPECT_TRUE(Has("CComMUI::SetBCDToWinRE failed to find the path of bcd file"));

    Partitions("NorvBoot=S\n");
    ASSERT_EQ(mui->SetBCDToWinPE(&code), S_OK);
    EXPECT_EQ(code, MUI_ERROR_NO_BCD);
    EXPECT_TRUE(Has("CComMUI::SetBCDToWinPE failed to find the path of bcd file"));

    // The tool cannot be started.
    WriteAt(Drive('s', "EFI/Microsoft/boot/BCD"), "store");
    ASSERT_EQ(mui->SetBCDToWinPE(&code), S_OK);
    EXPECT_EQ(code, MUI_ERROR_BCD_TOOL);
    EXPECT_TRUE(Has("CComMUI::SetBCDToWinPE failed for ExecuteBCDEdit when set device"));
}

TEST_F(OperationsTest, NothingIsTouchedRelativeToTheCurrentFolder)
{
    // A store under a folder named "0:" in the current folder must not count.
    TempDir cwd;
    std::string previous = std::filesystem::current_path().string();
    std::filesystem::current_path(cwd.path());
    WriteAt(cwd.path() + "/0:/EFI/Microsoft/boot/BCD", "not ours");
    std::string calls = FakeTool("bcdedit.exe", 0);
    COMLONG code = -1;
    EXPECT_EQ(mui->SetBCDToWinRE(&code), S_OK);
    std::filesystem::current_path(previous);
    EXPECT_EQ(code, MUI_ERROR_NO_BCD);
    EXPECT_EQ(Calls(calls), "");
}

} // namespace
} // namespace halcyon::test

namespace halcyon::test {
namespace {

// The environment image may carry links where the server writes its log and
// the choice file, the recovery partition where it removes the first-boot
// flags: nothing is truncated, appended to or removed through them.
TEST_F(OperationsTest, NothingIsWrittenOrRemovedThroughALink)
{
    const struct {
        const char *joined;
        char drive;
        bool toFile;
    } rows[] = {{"Norv/Language.ini", 'x', true},
                {"Norv/Plugins/logs/MuiChooser_log.txt", 'x', true},
                {"sources/Norv/Setting", 'w', false}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.joined);
        ExpectNoLinkEscape(
            row.joined,
            [&](const std::string &scratch) {
                std::filesystem::remove_all(X("Norv"));
                std::filesystem::remove_all(Drive('w', "sources"));
                std::filesystem::create_directories(X("Norv/Plugins/logs"));
                Partitions("WinRE=W\n");
                WriteFile(scratch + "/canary/FIRSTBOOT", "1");
                return LinkEscapeScene{platform::DriveFolder(row.drive), [&] {
                    BSTR name = Bstr(u"zh-TW");
                    HRESULT hr = mui->CreateIniFile(&name);
                    bstr_.free(name);
                    COMLONG code = -1;
                    mui->DeleteFirstBootFlagFiles(&code);
                    return static_cast<int>(hr);
                }, ""};
            },
            row.toFile);
    }
}

} // namespace
} // namespace halcyon::test

// The VerGauge exports on files: versions from PE files, copyright, text
// lines, modification dates, the Program Files / system folder rewrite and
// the limits on sizes and lengths.
#include <chrono>
#include <ctime>
#include <filesystem>

#include "platform/host_file.h"
#include "tests/common/pe_writer.h"
#include "tests/verprobe/probe_test_util.h"

using namespace halcyon::test;

namespace {

constexpr const char *kApp = "C:\\Program Files\\Norv\\App.exe";

class FileProbe : public ProbeTest {
protected:
    void MakePe(const std::string &windowsPath, PeVersion v, bool is64 = false)
    {
        std::filesystem::create_directories(std::filesystem::path(Host(windowsPath)).parent_path());
        WritePeFile(Host(windowsPath), v, is64);
    }
    void MakeApp(uint16_t a, uint16_t b, uint16_t c, uint16_t d, bool is64 = false)
    {
        PeVersion v;
        v.major = a, v.minor = b, v.build = c, v.revision = d;
        v.strings = {{"LegalCopyright", "Copyright (C) 2026 Norv"}};
        MakePe(kApp, v, is64);
    }
    void MakeText(const std::string &windowsPath, std::string_view content)
    {
        WriteFile(Host(windowsPath), content);
    }
    static void SetMtime(const std::string &host, std::time_t when)
    {
        std::error_code ec;
        std::filesystem::last_write_time(
            host, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(when)), ec);
        ASSERT_FALSE(ec) << ec.message();
    }
    static std::string LocalDate(std::time_t when)
    {
        std::tm tm{};
        halcyon::platform::LocalCivilTime(when, &tm);
        return std::to_string(tm.tm_mon + 1) + "/" + std::to_string(tm.tm_mday) + "/" + std::to_string(tm.tm_year + 1900);
    }
};

} // namespace

TEST_F(FileProbe, SizeZeroAnswers14WithoutTouchingTheBuffer)
{
    MakeApp(1, 2, 0, 0);
    // Call() and Verify() check that nothing is written at or past `size`.
    for (auto fn : {GetExeVersion_s, GetTextVersion_s, GetCopyright_s, GetLastModifiedDate_s})
        EXPECT_EQ(Call(fn, kApp, 0).code, 14u);
    EXPECT_EQ(Call(GetRegVersion_s, "HKLM\\SOFTWARE\\X\\V", 0).code, 14u);
    EXPECT_EQ(Verify(kApp, "1.2", 0).code, 14u);
    EXPECT_EQ(Verify(nullptr, nullptr, 0).code, 14u);
    // No buffer at all is the same as no room.
    ProbeText app = In(kApp);
    EXPECT_EQ(GetExeVersion_s(Arg(kApp, app), nullptr, 261), 14u);
}

TEST_F(FileProbe, EmptyTargetsAndExpectedTexts)
{
    for (auto fn : {GetExeVersion_s, GetRegVersion_s, GetTextVersion_s, GetLastModifiedDate_s}) {
        EXPECT_EQ(Call(fn, "").code, 5u);
        EXPECT_EQ(Call(fn, nullptr).code, 5u);
        EXPECT_EQ(Call(fn, "  \"\"  ").code, 5u); // nothing left once unquoted
    }
    EXPECT_EQ(Verify("", "1.2").code, 5u);
    // The copyright probe has no empty check: no such file.
    EXPECT_EQ(Call(GetCopyright_s, "").code, 1u);
    EXPECT_EQ(Call(GetCopyright_s, nullptr).code, 1u);

    MakeApp(1, 2, 0, 0);
    Probe p = Verify(kApp, "");
    EXPECT_EQ(p.code, 6u);
    EXPECT_EQ(p.text, "");
    EXPECT_EQ(Verify(kApp, nullptr).code, 6u);
}

TEST_F(FileProbe, FileVersionOf32And64BitFiles)
{
    for (bool is64 : {false, true}) {
        MakeApp(1, 2, 0, 0, is64);
        Probe p = Call(GetExeVersion_s, kApp);
        EXPECT_EQ(p.code, 0u);
        EXPECT_EQ(p.text, "1.2.0.0");
    }
    MakeApp(65535, 0, 7, 300);
    EXPECT_EQ(Call(GetExeVersion_s, kApp).text, "65535.0.7.300");
    // Case, quotes, white space and environment variables in the target.
    EXPECT_EQ(Call(GetExeVersion_s, " \"%ProgramFiles%\\NORV\\app.EXE\" ").text, "65535.0.7.300");
}

TEST_F(FileProbe, FilesWithoutVersionAndMissingFiles)
{
    MakeText("C:\\Norv\\readme.txt", "1.2.0.0\n");
    EXPECT_EQ(Call(GetExeVersion_s, "C:\\Norv\\readme.txt").code, 2u);
    EXPECT_EQ(Call(GetExeVersion_s, "C:\\Norv\\missing.exe").code, 1u);
    EXPECT_EQ(Call(GetExeVersion_s, "C:\\Norv").code, 1u); // a folder
    // A truncated PE file is a file without a version resource.
    MakeApp(1, 2, 0, 0);
    std::filesystem::resize_file(Host(kApp), 300);
    EXPECT_EQ(Call(GetExeVersion_s, kApp).code, 2u);
}

TEST_F(FileProbe, VerifyComparesFileVersions)
{
    MakeApp(1, 2, 0, 0);
    EXPECT_EQ(Verify(kApp, "1.2.0.0").code, 0u);
    EXPECT_EQ(Verify(kApp, "1.2").code, 0u);      // trailing ".0" parts do not count
    Probe p = Verify(kApp, "1.2.0.1");
    EXPECT_EQ(p.code, 2u);
    EXPECT_EQ(p.text, "1.2.0.0");                 // the version read
    EXPECT_EQ(Verify(kApp, "1,2,0,0").code, 0u);  // commas become points
    EXPECT_EQ(Verify(kApp, "1, 2, 0, 0").code, 0u);
    EXPECT_EQ(Verify(kApp, "01.2").code, 0u);
    EXPECT_EQ(Verify(kApp, "(1.2)").code, 0u);    // stripped of the brackets
    EXPECT_EQ(Verify(kApp, "1.20").code, 2u);
    EXPECT_EQ(Verify(kApp, "1").code, 2u);

    MakeApp(0, 5, 0, 0);
    EXPECT_EQ(Verify(kApp, "0.5").code, 0u);      // a leading 0 part is kept
    EXPECT_EQ(Verify(kApp, "0,5").code, 0u);
}

TEST_F(FileProbe, CopyrightAndItsFailures)
{
    MakeApp(1, 0, 0, 0);
    Probe p = Call(GetCopyright_s, kApp);
    EXPECT_EQ(p.code, 0u);
    EXPECT_EQ(p.text, "Copyright (C) 2026 Norv");

    PeVersion noTranslation;
    noTranslation.withTranslation = false;
    noTranslation.strings = {{"LegalCopyright", "x"}};
    MakePe("C:\\a.dll", noTranslation);
    EXPECT_EQ(Call(GetCopyright_s, "C:\\a.dll").code, 1u);

    PeVersion noString;
    noString.strings = {{"CompanyName", "Norv"}};
    MakePe("C:\\b.dll", noString);
    EXPECT_EQ(Call(GetCopyright_s, "C:\\b.dll").code, 3u);

    MakeText("C:\\c.txt", "hello\n");
    EXPECT_EQ(Call(GetCopyright_s, "C:\\c.txt").code, 4u);
    EXPECT_EQ(Call(GetCopyright_s, "C:\\none.dll").code, 1u);
}

TEST_F(FileProbe, FirstTextLine)
{
    MakeText("C:\\v.txt", "5.1.2600\r\nsecond\n");
    Probe p = Call(GetTextVersion_s, "C:\\v.txt");
    EXPECT_EQ(p.code, 0u);
    EXPECT_EQ(p.text, "5.1.2600\n"); // text-mode line end kept

    MakeText("C:\\w.txt", "no line end");
    EXPECT_EQ(Call(GetTextVersion_s, "C:\\w.txt").text, "no line end");
    MakeText("C:\\e.txt", "");
    EXPECT_EQ(Call(GetTextVersion_s, "C:\\e.txt").code, 13u);
    EXPECT_EQ(Call(GetTextVersion_s, "C:\\nothing.txt").code, 1u);
    MakeText("C:\\l1.txt", "caf\xE9\n"); // 8-bit text
    EXPECT_EQ(Call(GetTextVersion_s, "C:\\l1.txt").text, "caf\xC3\xA9\n");

    // The output is cut to the caller's size.
    MakeText("C:\\long.txt", "0123456789\n");
    EXPECT_EQ(Call(GetTextVersion_s, "C:\\long.txt", 5).text, "0123");

    // A first line longer than 255 characters is refused, not cut.
    MakeText("C:\\huge.txt", std::string(255, 'a') + "\n");
    EXPECT_EQ(Call(GetTextVersion_s, "C:\\huge.txt", 300).code, 0u);
    MakeText("C:\\huge.txt", std::string(256, 'a') + "\n");
    p = Call(GetTextVersion_s, "C:\\huge.txt", 300);
    EXPECT_EQ(p.code, 15u);
    EXPECT_EQ(p.text, "");
}

TEST_F(FileProbe, VerifySearchesTheLinesOfFilesWithoutVersion)
{
    MakeText("C:\\Norv\\ver.txt", "Product\r\n   Build 7.3a  \r\n\ttail\n");
    EXPECT_EQ(Verify("C:\\Norv\\ver.txt", "build 7.3A").code, 0u);
    EXPECT_EQ(Verify("C:\\Norv\\ver.txt", "product").code, 0u);
    Probe p = Verify("C:\\Norv\\ver.txt", "7.3");
    EXPECT_EQ(p.code, 4u);
    EXPECT_EQ(p.text, "\ttail\n");
    // A long line is one line: its pieces never match.
    MakeText("C:\\Norv\\long.txt", std::string(300, 'x') + "1.2\n");
    EXPECT_EQ(Verify("C:\\Norv\\long.txt", "1.2").code, 4u);
}

TEST_F(FileProbe, ModificationDate)
{
    MakeText("C:\\d.txt", "x");
    std::time_t when = 1796743507; // 2026-12-08 around noon UTC
    SetMtime(Host("C:\\d.txt"), when);
    std::tm tm{};
    halcyon::platform::LocalCivilTime(when, &tm);
    char expect[64];
    std::snprintf(expect, sizeof expect, "%d/%d/%d %d:%d:%d", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900, tm.tm_hour,
                  tm.tm_min, tm.tm_sec);
    Probe p = Call(GetLastModifiedDate_s, "C:\\d.txt");
    EXPECT_EQ(p.code, 0u);
    EXPECT_EQ(p.text, expect);
    EXPECT_EQ(Call(GetLastModifiedDate_s, "C:\\").code, 1u);
}

TEST_F(FileProbe, VerifyComparesDates)
{
    std::time_t when = 1796743507;
    MakeText("C:\\d.txt", "line\n");
    SetMtime(Host("C:\\d.txt"), when);
    MakeApp(1, 2, 0, 0);
    SetMtime(Host(kApp), when);
    std::string date = LocalDate(when);
    std::string other = LocalDate(when + 3 * 86400);
    for (const char *target : {"C:\\d.txt", kApp}) {
        Probe p = Verify(target, date.c_str());
        EXPECT_EQ(p.code, 0u) << target;
        EXPECT_NE(p.text.find(date), std::string::npos) << p.text;
        EXPECT_EQ(Verify(target, other.c_str()).code, 2u) << target;
    }
    // Too short to be taken for a date: a plain line search.
    EXPECT_EQ(Verify("C:\\d.txt", "12/8").code, 4u);
}

TEST_F(FileProbe, ProgramFilesAndSystemFoldersAreTriedTheOtherWay)
{
    PeVersion v;
    v.major = 3;
    MakePe("C:\\Program Files (x86)\\Norv\\tool.exe", v);
    EXPECT_EQ(Verify("C:\\Program Files\\Norv\\tool.exe", "3.0").code, 0u);
    MakePe("C:\\Program Files\\Norv\\other.exe", v);
    EXPECT_EQ(Verify("C:\\Program Files (x86)\\Norv\\other.exe", "3").code, 2u); // 3.0.0.0 vs 3
    MakePe("C:\\Windows\\SysWOW64\\lib.dll", v);
    EXPECT_EQ(Verify("%windir%\\System32\\lib.dll", "3.0.0.0").code, 0u);

    Probe p = Verify("C:\\Program Files\\Norv\\absent.exe", "1.0");
    EXPECT_EQ(p.code, 1u);
    EXPECT_EQ(p.text, "FILE NOT FOUND");
    // A path outside those folders has no other place.
    EXPECT_EQ(Verify("C:\\Norv\\absent.exe", "1.0").text, "FILE NOT FOUND");
}

TEST_F(FileProbe, TextsLongerThan255CharactersAreRefused)
{
    std::string longPath = "C:\\" + std::string(260, 'a') + ".exe";
    EXPECT_EQ(Call(GetExeVersion_s, longPath.c_str()).code, 15u);
    MakeApp(1, 2, 0, 0);
    std::string longExpected(256, '1');
    EXPECT_EQ(Verify(kApp, longExpected.c_str()).code, 15u);
    SetEnv("VERPROBE_LONG", std::string(250, 'b').c_str());
    EXPECT_EQ(Call(GetExeVersion_s, "C:\\%VERPROBE_LONG%\\x.exe").code, 15u);
    SetEnv("VERPROBE_LONG", nullptr);
}

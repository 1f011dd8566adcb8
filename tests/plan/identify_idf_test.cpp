// IdentifyIdf: the IDF library walk, the status files and the answer line.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "engine/plan/idf_library.h"
#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/idf/idf_document.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon;
using test::ReadFile;
using test::WriteFile;

namespace {

std::string ComponentIdf(const std::string &component)
{
    return test::IdfText("<ComponentList><Component PartNumber=\"" + component + "\"/></ComponentList>");
}

class IdentifyIdfTest : public ::testing::Test {
protected:
    void SetUp() override { support::ClearIdfCache(); }

    // root/<first>/<second>/<file> holding an IDF for `component`.
    void AddIdf(const std::string &first, const std::string &second, const std::string &file,
                const std::string &component)
    {
        WriteFile(root_ + "/" + first + "/" + second + "/" + file, ComponentIdf(component));
    }
    void AddStatus(const std::string &first, const std::string &second, const std::string &text)
    {
        WriteFile(root_ + "/" + first + "/" + second + "/" + plan::StatusFileName(first, second), text);
    }
    std::string Bom(const std::string &text)
    {
        WriteFile(dir_ / "bom.txt", text);
        return dir_ / "bom.txt";
    }
    uint32_t Run(const std::string &bom, const std::string &first, const std::string &second, uint64_t options,
                 std::string &console)
    {
        ::testing::internal::CaptureStdout();
        uint32_t rc = IdentifyIdf(bom.c_str(), root_.c_str(), first.c_str(), second.c_str(), log_.c_str(), options);
        console = ::testing::internal::GetCapturedStdout();
        return rc;
    }

    test::MachineScope machine_;
    test::TempDir dir_{"identify"};
    std::string root_ = dir_ / "lib";
    std::string log_ = dir_ / "identify.log";
};

TEST_F(IdentifyIdfTest, MatchingFolderAnswersWithItsReleasedIdf)
{
    AddIdf("FamA", "Rev1", "a.xml", "MB-A");
    AddStatus("FamA", "Rev1", "RTM:a.xml\n");
    AddIdf("FamB", "Rev1", "other.xml", "MB-X");
    AddIdf("FamB", "Rev2", "candidate.xml", "MB-B");
    AddStatus("FamB", "Rev2", "RTM: first.xml\r\nRTM:released.xml  \r\nTestRTM:test.xml\r\n");
    const std::string bom = Bom("MB-B\n");

    std::string console;
    // The root has no trailing separator: one is appended.
    ASSERT_EQ(0u, Run(bom, "", "", 0, console)) << console;
    const std::string answer = root_ + "\\FamB\\Rev2\\released.xml";
    EXPECT_NE(std::string::npos, console.find("IdentifyIdf Start\n" + answer + "\nIdentifyIdf End\n")) << console;
    EXPECT_NE(std::string::npos, ReadFile(log_).find(answer)) << ReadFile(log_);

    ASSERT_EQ(0u, Run(bom, "", "", plan::kOptionSetIdfForm | plan::kOptionTestRtm, console));
    EXPECT_NE(std::string::npos, console.find("\nset Idf=" + root_ + "\\FamB\\Rev2\\test.xml\n")) << console;

    // Narrowed searches: only the named first- or second-level folder.
    EXPECT_EQ(0u, Run(bom, "famb", "", 0, console)) << console;
    EXPECT_EQ(0u, Run(bom, "", "Rev2", 0, console)) << console;
    EXPECT_EQ(4u, Run(bom, "FamA", "", 0, console));
    EXPECT_EQ(4u, Run(bom, "", "Rev1", 0, console));
    EXPECT_NE(std::string::npos, console.find("Error: IDF not found.")) << console;
}

TEST_F(IdentifyIdfTest, BothNamesAnswerFromTheStatusFileAlone)
{
    AddIdf("FamA", "Rev1", "a.xml", "MB-A");
    AddStatus("FamA", "Rev1", "RTM:a.xml\n");
    std::string console;
    // Neither an empty BOM path nor a BOM that matches nothing keeps the
    // named folder from answering.
    EXPECT_EQ(0u, Run(Bom("NOTHING\n"), "FamA", "Rev1", 0, console)) << console;
    EXPECT_NE(std::string::npos, console.find(root_ + "\\FamA\\Rev1\\a.xml")) << console;
    EXPECT_EQ(0u, Run("", "FamA", "Rev1", 0, console)) << console;
    // An empty BOM matches no IDF when the library is searched.
    EXPECT_EQ(4u, Run("", "", "", 0, console));
}

TEST_F(IdentifyIdfTest, StatusFileProblemsEndTheSearch)
{
    AddIdf("FamA", "Rev1", "a.xml", "MB-A");
    const std::string bom = Bom("MB-A\n");
    struct Case {
        const char *name;
        const char *status; // nullptr: no status file
        uint64_t options;
    } cases[] = {
        {"no status file", nullptr, 0},
        {"no qualifying line", "TestRTM:a.xml\nrtm:a.xml\n  RTM:a.xml\n", 0},
        {"only RTM lines with the test option", "RTM:a.xml\n", plan::kOptionTestRtm},
        {"empty name", "RTM:a.xml\nRTM:   \n", 0},
        {"name with a path", "RTM:..\\..\\secret.xml\n", 0},
        {"name with a host path", "RTM:/etc/passwd\n", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink((root_ + "/FamA/Rev1/" + plan::StatusFileName("FamA", "Rev1")).c_str());
        if (c.status)
            AddStatus("FamA", "Rev1", c.status);
        std::string console;
        EXPECT_EQ(4u, Run(bom, "", "", c.options, console));
        EXPECT_NE(std::string::npos, console.find("ERROR: While processing status file\n")) << console;
        EXPECT_NE(std::string::npos, console.find("Error: IDF not found.")) << console;
    }
}

TEST_F(IdentifyIdfTest, StatusFileIsReadInPiecesOfTheReadersBuffer)
{
    const std::string path = dir_ / "status.txt";
    // A line longer than 259 characters: its second piece starts a "line"
    // of its own.
    WriteFile(path, "RTM:a.xml\n" + std::string(259, 'x') + "RTM:b.xml\n");
    std::string name;
    EXPECT_EQ(0, plan::ReadReleasedIdfName(path, name, 0));
    EXPECT_EQ("b.xml", name);
    WriteFile(path, "RTM:a.xml\nx" + std::string(259, 'x') + "RTM:b.xml\n");
    EXPECT_EQ(0, plan::ReadReleasedIdfName(path, name, 0));
    EXPECT_EQ("a.xml", name);
    EXPECT_EQ(3, plan::ReadReleasedIdfName(dir_ / "missing.txt", name, 0));
    EXPECT_EQ(3, plan::ReadReleasedIdfName(dir_.path(), name, 0));
#if !defined(_WIN32)
    ASSERT_EQ(0, ::mkfifo((dir_ / "fifo").c_str(), 0600));
    EXPECT_EQ(3, plan::ReadReleasedIdfName(dir_ / "fifo", name, 0));
#endif
}

TEST_F(IdentifyIdfTest, UnreadableIdfStopsTheSearch)
{
    // "FamA" comes first and holds a broken IDF; "FamB" would match.
    WriteFile(root_ + "/FamA/Rev1/broken.xml", "<IDF><Release>");
    AddStatus("FamA", "Rev1", "RTM:broken.xml\n");
    AddIdf("FamB", "Rev1", "b.xml", "MB-B");
    AddStatus("FamB", "Rev1", "RTM:b.xml\n");
    std::string console;
    EXPECT_EQ(4u, Run(Bom("MB-B\n"), "", "", 0, console));
    EXPECT_NE(std::string::npos, console.find("ERROR: while parsing IDF, returned ")) << console;
    // Files other than *.xml and folders named *.xml are not IDFs.
    ::unlink((root_ + "/FamA/Rev1/broken.xml").c_str());
    WriteFile(root_ + "/FamA/Rev1/notes.txt", "<IDF><Release>");
    ASSERT_TRUE(std::filesystem::create_directory(root_ + "/FamA/Rev1/dir.xml"));
    EXPECT_EQ(0u, Run(Bom("MB-B\n"), "", "", 0, console)) << console;
    EXPECT_NE(std::string::npos, console.find(root_ + "\\FamB\\Rev1\\b.xml")) << console;
}

TEST_F(IdentifyIdfTest, ArgumentFailures)
{
    std::string console;
    EXPECT_EQ(5u, Run("", "", "", 0, console));
    const std::string log = ReadFile(log_);
    EXPECT_NE(std::string::npos, log.find("Error: Can not find the root directory.")) << log;
    EXPECT_NE(std::string::npos, log.find("sSourceDir: " + root_ + "\\")) << log;

    AddIdf("FamA", "Rev1", "a.xml", "MB-A");
    AddStatus("FamA", "Rev1", "RTM:a.xml\n");
    EXPECT_EQ(7u, Run(dir_ / "no-bom.txt", "", "", 0, console));
    EXPECT_NE(std::string::npos,
              ReadFile(log_).find("Error: return 7 while calling GetComponentPartNumbers function."));

    // Folder names that would leave the library are refused.
    EXPECT_EQ(static_cast<uint32_t>(RETURN_UNSAFE_PATH), Run("", "..", "Rev1", 0, console));
    EXPECT_EQ(static_cast<uint32_t>(RETURN_UNSAFE_PATH), Run("", "FamA", "a/b", 0, console));

    // The answer line must reach the log.
    const std::string goodLog = log_;
    log_ = dir_.path(); // a folder: cannot be opened as a log
    EXPECT_EQ(27u, Run("", "FamA", "Rev1", 0, console));
    log_ = goodLog;
}

} // namespace

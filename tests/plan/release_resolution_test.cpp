#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/plan/release_resolution.h"
#include "support/idf/idf_document.h"
#include "support/idf/idf_result.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon::plan;
using namespace halcyon::test;
using halcyon::support::StringList1000;

namespace {

using Strings = std::vector<std::string>;

using ReleaseResolution = IdfTest;

std::string Lines(int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += "PN-" + std::to_string(i) + "\n";
    return s;
}

struct BomCase {
    const char *name;
    std::string text;
    int32_t code;
    Strings entries; // checked when the code is 0
};

TEST_F(ReleaseResolution, BomFileIntoPartNumbers)
{
    const std::string long600 = std::string(300, 'a') + std::string(300, 'b');
    const BomCase cases[] = {
        {"plain lines, trimmed", " A \r\n\tB\nC", 0, {"A", "B", "C"}},
        {"trailing empty line", "A\n\n", 0, {"A", ""}},
        {"single final line end", "A\n", 0, {"A"}},
        {"empty file", "", 0, {}},
        {"byte-order mark", "\xEF\xBB\xBF" "A\n", 0, {"A"}},
        {"600 characters", long600 + "\n", 0,
         {std::string(259, 'a'), std::string(41, 'a') + std::string(218, 'b'), std::string(82, 'b')}},
        {"1000 lines", Lines(1000), 103, {}},
    };
    for (const auto &c : cases) {
        std::string bom = dir_ / "bom.txt";
        WriteFile(bom, c.text);
        StringList1000 parts;
        ASSERT_EQ(c.code, GetComponentPartNumbers(bom, parts)) << c.name;
        if (c.code == 0) {
            EXPECT_EQ(c.entries, parts.Entries()) << c.name;
            EXPECT_EQ("NULL", parts[c.entries.size()]) << c.name;
        }
    }

    std::string bom = dir_ / "bom.txt";
    WriteFile(bom, Lines(999));
    StringList1000 parts;
    ASSERT_EQ(0, GetComponentPartNumbers(bom, parts));
    EXPECT_EQ(999u, parts.Count());
    EXPECT_EQ("PN-998", parts[998]);
    EXPECT_EQ("NULL", parts[999]);

    EXPECT_EQ(7, GetComponentPartNumbers(dir_ / "no-bom.txt", parts));
}

TEST_F(ReleaseResolution, CombinedMcodeSetsOnlyItsBit)
{
    std::string idf = WriteIdf(dir_, IdfText(ReleaseXml("1", "A", "Module", "<DataModule Name=\"Create Combined M-Code\" Value=\"\"/>") +
                                             ReleaseXml("2", "B")));
    uint64_t options = 0x80000 | 0x4;
    ASSERT_EQ(0, DetermineUpDown(idf, List({"2"}), log_, options));
    EXPECT_EQ(0x80004u, options);
    ASSERT_EQ(0, DetermineUpDown(idf, List({"2", "1"}), log_, options));
    EXPECT_EQ(0x80004u | 0x1000000u, options);
    EXPECT_NE(std::string::npos, Log().find("Checking: For combined MCODE"));
    EXPECT_NE(std::string::npos, Log().find("DetermineUpDown End"));

    options = 0;
    int32_t rc = DetermineUpDown(dir_ / "missing.xml", List({"1"}), log_, options);
    EXPECT_EQ(halcyon::support::IDF_FILE_NOT_FOUND, rc);
    EXPECT_NE(std::string::npos, Log().find("ERROR: returned " + std::to_string(rc) + " while parsing the IDF file"));
    EXPECT_EQ(0u, options);

    EXPECT_EQ(27, DetermineUpDown(idf, List({"1"}), dir_ / "no-folder/plan.log", options));
    EXPECT_EQ(0u, options);
}

TEST_F(ReleaseResolution, SkuFromSkuAppendsUntilTheListIsFull)
{
    std::string idf = WriteIdf(dir_, IdfText("<SkuMap From=\"PN-0\" To=\"X-1\"/><SkuMap From=\"PN-1\" To=\"X-2\"/>" +
                                             ReleaseXml("1", "A")));
    StringList1000 parts = List({"PN-1", "PN-0"});
    ASSERT_EQ(0, GetSkuFromSku(idf, parts, log_));
    EXPECT_EQ((Strings{"PN-1", "PN-0", "X-2", "X-1"}), parts.Entries());
    EXPECT_NE(std::string::npos, Log().find("GetSkuFromSku End"));

    std::vector<std::string> many;
    for (int i = 0; i < 998; ++i)
        many.push_back("PN-" + std::to_string(i));
    parts = List(many);
    EXPECT_EQ(227, GetSkuFromSku(idf, parts, log_));
    EXPECT_EQ("X-1", parts[998]);
    EXPECT_EQ("NULL", parts[999]);
    EXPECT_NE(std::string::npos, Log().find("ERROR: the max number of parts is reached."));

    EXPECT_NE(0, GetSkuFromSku(dir_ / "missing.xml", parts, log_));
    EXPECT_NE(std::string::npos, Log().find("ERROR: While calling MapSkuToSku function"));
}

const std::string kDependencies =
    ReleaseXml("1", "A", "Module", "<Dependency PartId=\"P2\"/>") + ReleaseXml("2", "A") +
    ReleaseXml("3", "A", "Module", "<Dependency PartId=\"P9\"/>") +
    ReleaseXml("4", "A", "Module", "<Exclusion PartId=\"P1\"/>");

TEST_F(ReleaseResolution, OneMissingDependencyFails)
{
    std::string idf = WriteIdf(dir_, IdfText(kDependencies));
    testing::internal::CaptureStdout();
    int32_t rc = CheckDependenciesAndExclusions(idf, List({"P1", "P2", "P3"}), log_);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(40, rc);
    std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("CheckDependenciesAndExclusions Start"));
    EXPECT_NE(std::string::npos, log.find("ERROR: Missing Dependencies..."));
    EXPECT_NE(std::string::npos, log.find("Error: there were existing/missing exclusions/dependencies"));
    EXPECT_EQ(std::string::npos, log.find("CheckDependenciesAndExclusions End"));
    EXPECT_NE(std::string::npos, out.find("Release ReleaseID=\"3\" PartId=\"P3\" Name=\"R3\""));
    EXPECT_NE(std::string::npos, out.find("Dependency PartId=\"P9\""));
    EXPECT_EQ(std::string::npos, out.find("Existing Exclusions"));
}

TEST_F(ReleaseResolution, ExclusionsAndCleanSelections)
{
    std::string idf = WriteIdf(dir_, IdfText(kDependencies));
    testing::internal::CaptureStdout();
    EXPECT_EQ(40, CheckDependenciesAndExclusions(idf, List({"P1", "P2", "P4"}), log_));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("ERROR: Existing Exclusions..."));
    EXPECT_EQ(std::string::npos, Log().find("ERROR: Missing Dependencies..."));

    EXPECT_EQ(0, CheckDependenciesAndExclusions(idf, List({"P1", "P2"}), log_));
    EXPECT_EQ(28, CheckDependenciesAndExclusions(dir_ / "missing.xml", List({"P1"}), log_));
    EXPECT_NE(std::string::npos, Log().find("Error: call VerifyDependenciesAndExclusions function error"));
}

// More than 99 problems of a kind still fail the check.
TEST_F(ReleaseResolution, ManyMissingDependenciesStillFail)
{
    std::string body;
    for (int i = 0; i < 120; ++i)
        body += "<Dependency PartId=\"MISSING-" + std::to_string(i) + "\"/>";
    std::string idf = WriteIdf(dir_, IdfText(ReleaseXml("1", "A", "Module", body)));
    testing::internal::CaptureStdout();
    int32_t rc = CheckDependenciesAndExclusions(idf, List({"P1"}), log_);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(40, rc);
    EXPECT_NE(std::string::npos, out.find("MISSING-119"));
}

} // namespace

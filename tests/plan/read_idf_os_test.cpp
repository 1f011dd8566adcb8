// ReadIdfForOSArchCheck: the foundation image's OS of the IDF's own M-code.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "halcyon/HalcyonDLL.h"
#include "halcyon/ReturnCodes.h"
#include "support/idf/idf_document.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon;
using test::ReadFile;

namespace {

std::string Header(const std::string &version)
{
    return "IDFFormatVersion=\"" + version +
           "\" Timestamp=\"2026-11-30T10:00:00\" Series=\"NX500\" LangRegion=\"EN-US\" "
           "BomSnapshotName=\"NX500-Q4\" BomSnapshotID=\"SNAP-000123\" Mcode=\"M-1\"";
}

// The M-code selects releases 1 and 2, each with a foundation image; the
// second one's OS is the answer. `extra` goes into release 1.
std::string OsIdf(const std::string &version, const std::string &extra = "")
{
    return test::IdfText("<Mcode Code=\"M-1\"><PartNumber>SKU-1</PartNumber></Mcode>"
                         "<Release ReleaseID=\"1\" PartId=\"P1\"><PartNumber>SKU-1</PartNumber>"
                         "<Software SoftwareType=\"Foundation Image\" ReleaseID=\"1\" OS=\"Win10 x86\"/>" +
                             extra +
                             "</Release>"
                             "<Release ReleaseID=\"2\" PartId=\"P2\"><PartNumber>SKU-1</PartNumber>"
                             "<Software SoftwareType=\"Foundation Image\" ReleaseID=\"2\" OS=\"Win11 x64\"/>"
                             "</Release>",
                         Header(version));
}

class ReadIdfOsTest : public ::testing::Test {
protected:
    void SetUp() override { support::ClearIdfCache(); }
    uint32_t Run(const std::string &idf, std::string &os, uint64_t reserved = 0, const std::string &media = "",
                 uint32_t size = 64)
    {
        char buffer[64];
        std::memset(buffer, 'Z', sizeof buffer);
        uint32_t rc = ReadIdfForOSArchCheck(buffer, size, idf.c_str(), log_.c_str(), 0, reserved, media.c_str());
        os = buffer;
        return rc;
    }
    test::MachineScope machine_;
    test::TempDir dir_{"idf-os"};
    std::string log_ = dir_ / "os.log";
};

TEST_F(ReadIdfOsTest, FormatVersionOrCombinedMcodeAsksForTheOs)
{
    struct Case {
        const char *name;
        std::string idf;
        const char *os;
    } cases[] = {
        {"current format", OsIdf("1.05.0.20080531.1"), "Win11 x64"},
        {"later format", OsIdf("1.10.0.1"), "Win11 x64"},
        {"older format", OsIdf("1.04.9"), ""},
        {"older format with a combined M-code", OsIdf("1.04.9", "<DataModule Name=\"Create Combined M-Code\"/>"),
         "Win11 x64"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        support::ClearIdfCache();
        const std::string idf = test::WriteIdf(dir_, c.idf);
        for (uint64_t reserved : {0ull, 1ull, ~0ull}) {
            std::string os;
            EXPECT_EQ(0u, Run(idf, os, reserved));
            EXPECT_EQ(c.os, os);
        }
    }
    const std::string log = ReadFile(log_);
    EXPECT_NE(std::string::npos, log.find("ReadIdfForOSArchCheck Start")) << log;
    EXPECT_NE(std::string::npos, log.find("ReadIdfForOSArchCheck End")) << log;
}

TEST_F(ReadIdfOsTest, BufferThatCannotHoldTheOsFails)
{
    const std::string idf = test::WriteIdf(dir_, OsIdf("1.05.0.20080531.1"));
    // "Win11 x64" needs 10 bytes with its terminator.
    for (uint32_t size : {1u, 4u, 9u, 10u}) {
        SCOPED_TRACE(size);
        std::string os;
        const bool fits = size >= 10;
        EXPECT_EQ(fits ? 0u : static_cast<uint32_t>(RETURN_BUFFER_TOO_SMALL), Run(idf, os, 0, "", size));
        EXPECT_EQ(fits ? "Win11 x64" : "", os) << "never a cut answer";
    }
    EXPECT_EQ(static_cast<uint32_t>(RETURN_BUFFER_TOO_SMALL),
              ReadIdfForOSArchCheck(nullptr, 64, idf.c_str(), log_.c_str(), 0, 0, ""));
    char untouched = 'Z';
    EXPECT_EQ(static_cast<uint32_t>(RETURN_BUFFER_TOO_SMALL),
              ReadIdfForOSArchCheck(&untouched, 0, idf.c_str(), log_.c_str(), 0, 0, ""));
    EXPECT_EQ('Z', untouched);
}

TEST_F(ReadIdfOsTest, FailuresLeaveTheOsEmpty)
{
    const std::string idf = test::WriteIdf(dir_, OsIdf("1.05.0.20080531.1"));
    std::string os;
    // A media description named but missing: 116 before the IDF is read.
    EXPECT_EQ(static_cast<uint32_t>(RETURN_MISSING_NRVHDRCVINI), Run(dir_ / "none.xml", os, 0, dir_ / "nrvhdrcv.ini"));
    EXPECT_EQ("", os);
    std::string log = ReadFile(log_);
    EXPECT_NE(std::string::npos, log.find("Load nrvhdrcv.ini file failed. (RETURN_MISSING_NRVHDRCVINI)")) << log;
    EXPECT_NE(std::string::npos, log.find("nrvhdrcv.ini file path: " + (dir_ / "nrvhdrcv.ini"))) << log;

    test::WriteFile(dir_ / "nrvhdrcv.ini", "[MEDIA:1]\n");
    EXPECT_EQ(0u, Run(idf, os, 0, dir_ / "nrvhdrcv.ini"));
    EXPECT_EQ("Win11 x64", os);

    // No M-code in the IDF: the query's code.
    const std::string noMcode = test::WriteIdf(dir_, test::IdfText(""), "nomcode.xml");
    EXPECT_NE(0u, Run(noMcode, os));
    EXPECT_EQ("", os);
    EXPECT_NE(std::string::npos, ReadFile(log_).find("Error: error while calling GetReleaseIdsFromMcode function."));

    // A missing dependency of a selected release.
    support::ClearIdfCache();
    const std::string dep =
        test::WriteIdf(dir_, OsIdf("1.05.0.20080531.1", "<Dependency PartId=\"P9\"/>"), "dep.xml");
    EXPECT_EQ(40u, Run(dep, os));
    EXPECT_EQ("", os);
    EXPECT_NE(std::string::npos,
              ReadFile(log_).find("Error: error while calling CheckDependenciesAndExclusions function."));
}

TEST_F(ReadIdfOsTest, TooManyReleases)
{
    std::string body = "<Mcode Code=\"M-1\"><PartNumber>SKU-1</PartNumber></Mcode>"
                       "<Release ReleaseID=\"1\" PartId=\"P1\"><PartNumber>SKU-1</PartNumber>"
                       "<Software SoftwareType=\"Foundation Image\" ReleaseID=\"1\" OS=\"x64\">";
    for (int i = 0; i < 999; ++i)
        body += "<ChildRelease ReleaseID=\"C" + std::to_string(i) + "\"/>";
    body += "</Software></Release>";
    const std::string idf = test::WriteIdf(dir_, test::IdfText(body, Header("1.05.0.20080531.1")));
    std::string os;
    EXPECT_EQ(static_cast<uint32_t>(RETURN_TOO_MANY_RELEASES), Run(idf, os));
    EXPECT_NE(std::string::npos, ReadFile(log_).find("Error: there are too many releases.")) << ReadFile(log_);
}

} // namespace

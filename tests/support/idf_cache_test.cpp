#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include "support/idf/idf_document.h"
#include "support/idf/idf_query.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon::support;
using namespace halcyon::test;

namespace {

using IdfCache = IdfTest;

TEST_F(IdfCache, ABuilderRunParsesOnce)
{
    std::string idf = WriteIdf(dir_, IdfText(ReleaseXml("1", "A", "Foundation Image") + ReleaseXml("2", "A")));
    StringList1000 releases, children, parts;
    CXMLNode header;
    CXMLNodeList nodes;
    std::string value;
    uint8_t found = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(0, GetReleaseIds(idf, List({"A"}), releases));
        ASSERT_EQ(0, GetChildReleaseIds(idf, "Foundation Image", releases, children));
        ASSERT_EQ(0, GetPartIds(idf, releases, parts));
        ASSERT_EQ(0, GetIdfHeader(idf, header));
        ASSERT_EQ(0, GetSoftwareNodeList(nodes, "Module", idf, releases));
        ASSERT_EQ(0, GetDataModules(idf, releases, "CleanSweep", value, found));
    }
    IdfCacheStats stats = GetIdfCacheStats();
    EXPECT_EQ(1u, stats.parses);
    EXPECT_EQ(17u, stats.hits);
}

TEST_F(IdfCache, AChangedFileIsReadAgain)
{
    std::string idf = WriteIdf(dir_, IdfText(ReleaseXml("1", "A")));
    StringList1000 out;
    ASSERT_EQ(0, GetReleaseIds(idf, List({"A"}), out));
    EXPECT_EQ("1", out[0]);

    // Same size, new content, modification time moved on.
    WriteFile(idf, IdfText(ReleaseXml("2", "A")));
    struct utimbuf times {
        1000000000, 1000000000
    };
    ASSERT_EQ(0, utime(idf.c_str(), &times));
    ASSERT_EQ(0, GetReleaseIds(idf, List({"A"}), out));
    EXPECT_EQ("2", out[0]);

    // Replaced by a damaged file: the old answer is not served.
    WriteFile(idf, "<IDF>");
    EXPECT_EQ(IDF_NOT_WELL_FORMED, GetReleaseIds(idf, List({"A"}), out));
    EXPECT_EQ(3u, GetIdfCacheStats().parses);
}

TEST_F(IdfCache, SeveralFilesAreKeptApart)
{
    std::string a = WriteIdf(dir_, IdfText(ReleaseXml("1", "A")), "a.xml");
    std::string b = WriteIdf(dir_, IdfText(ReleaseXml("2", "A")), "b.xml");
    StringList1000 out;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(0, GetReleaseIds(a, List({"A"}), out));
        EXPECT_EQ("1", out[0]);
        ASSERT_EQ(0, GetReleaseIds(b, List({"A"}), out));
        EXPECT_EQ("2", out[0]);
    }
    EXPECT_EQ(2u, GetIdfCacheStats().parses);
}

// The documents handed out stay valid while the cache drops them.
TEST_F(IdfCache, DocumentsOutliveEviction)
{
    std::string first = WriteIdf(dir_, IdfText(ReleaseXml("1", "A")), "first.xml");
    std::shared_ptr<const IdfDocument> held;
    ASSERT_EQ(0, LoadIdf(first, held));
    for (int i = 0; i < 8; ++i) {
        std::shared_ptr<const IdfDocument> other;
        ASSERT_EQ(0, LoadIdf(WriteIdf(dir_, IdfText(ReleaseXml("9", "A")), "o" + std::to_string(i) + ".xml"), other));
    }
    ASSERT_EQ(1u, held->releases.size());
    EXPECT_EQ("1", held->releases[0].releaseId);
}

} // namespace

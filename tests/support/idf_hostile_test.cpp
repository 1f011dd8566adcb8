// IDFs that are damaged or built to hurt the reader: each gives its own code
// and leaves the reader usable.
#include <gtest/gtest.h>

#include <string>

#include "support/idf/idf_document.h"
#include "support/idf/idf_query.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon::support;
using namespace halcyon::test;

namespace {

struct HostileCase {
    const char *name;
    std::string text;
    int32_t expected;
};

std::string Nested(int depth)
{
    std::string s = "<IDF>";
    for (int i = 0; i < depth; ++i)
        s += "<a>";
    for (int i = 0; i < depth; ++i)
        s += "</a>";
    return s + "</IDF>";
}

const std::string kLaughs = R"(<?xml version="1.0"?>
<!DOCTYPE IDF [
 <!ENTITY lol "lol">
 <!ENTITY lol2 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">
 <!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">
]>
<IDF Series="&lol3;"/>)";

TEST(IdfHostile, EachDamageHasItsCode)
{
    TempDir dir("idfh");
    const std::string good = IdfText(ReleaseXml("1", "A"));
    const HostileCase cases[] = {
        {"empty file", "", IDF_FILE_EMPTY},
        {"white space only", " \r\n\t ", IDF_FILE_EMPTY},
        {"truncated", good.substr(0, good.size() / 2), IDF_NOT_WELL_FORMED},
        {"mismatched tags", "<IDF><Release></Software></IDF>", IDF_NOT_WELL_FORMED},
        {"text only", "just some words", IDF_NOT_WELL_FORMED},
        {"two roots", "<IDF/><IDF/>", IDF_NOT_WELL_FORMED},
        {"other root", "<?xml version=\"1.0\"?><Catalog Series=\"x\"/>", IDF_ROOT_NOT_IDF},
        {"entity expansion", kLaughs, IDF_DOCTYPE_REFUSED},
        {"external entity", "<?xml version=\"1.0\"?><!DOCTYPE IDF SYSTEM \"file:///etc/passwd\"><IDF/>",
         IDF_DOCTYPE_REFUSED},
        {"deep nesting", Nested(100000), IDF_TOO_DEEP},
        {"markup bomb", "<IDF>" + std::string(2'100'000, '<') + "</IDF>", IDF_TOO_COMPLEX},
        {"binary garbage", std::string("\x01\x02\xff\xfe\x00\x7f", 6), IDF_NOT_WELL_FORMED},
    };
    for (const auto &c : cases) {
        std::string path = WriteIdf(dir, c.text, std::string(c.name) + ".xml");
        CXMLNode header;
        EXPECT_EQ(c.expected, GetIdfHeader(path, header)) << c.name;
        EXPECT_EQ(0u, header.GetNumAttributes()) << c.name;
        EXPECT_FALSE(IdfLastErrorDetail().empty()) << c.name;
        StringList1000 out;
        EXPECT_EQ(c.expected, GetReleaseIds(path, List({"A"}), out)) << c.name;
        EXPECT_EQ("NULL", out[0]) << c.name;
    }
    // The reader still works afterwards.
    StringList1000 out;
    EXPECT_EQ(0, GetReleaseIds(WriteIdf(dir, good, "good.xml"), List({"A"}), out));
}

TEST(IdfHostile, MissingOrUnreadableFile)
{
    TempDir dir("idfh");
    CXMLNode header;
    EXPECT_EQ(IDF_FILE_NOT_FOUND, GetIdfHeader(dir / "absent.xml", header));
    EXPECT_EQ(IDF_FILE_NOT_FOUND, GetIdfHeader("", header));
    EXPECT_EQ(IDF_FILE_UNREADABLE, GetIdfHeader(dir.path(), header));
}

TEST(IdfHostile, SizeLimits)
{
    TempDir dir("idfh");
    // A large attribute within the limit is read as written.
    std::string big(4 * 1024 * 1024, 'x');
    std::string path = WriteIdf(dir, IdfText("", std::string(kIdfHeaderAttributes) + " Big=\"" + big + "\""));
    CXMLNode header;
    ASSERT_EQ(0, GetIdfHeader(path, header));
    std::string value;
    ASSERT_EQ(0, header.GetAttributeValue("big", value));
    EXPECT_EQ(big.size(), value.size());

    // A file over the limit is refused before it is read.
    std::string huge = IdfText("", "A=\"" + std::string(kIdfMaxFileBytes, 'y') + "\"");
    EXPECT_EQ(IDF_FILE_TOO_LARGE, GetIdfHeader(WriteIdf(dir, huge, "huge.xml"), header));
}

TEST(IdfHostile, EveryTruncationOfAnIdfIsRefusedOrRead)
{
    const std::string text = IdfText(ReleaseXml("1", "A", "Foundation Image", "<ChildRelease ReleaseID=\"2\"/>") +
                                     "<Mcode Code=\"M\"><PartNumber>A</PartNumber></Mcode>");
    // Every cut short of the final line end leaves the root open.
    for (size_t len = 0; len + 1 < text.size(); len += 3) {
        IdfDocument doc;
        int32_t rc = ParseIdf(std::string_view(text).substr(0, len), doc);
        EXPECT_NE(0, rc) << len;
    }
    IdfDocument doc;
    EXPECT_EQ(0, ParseIdf(text, doc));
    EXPECT_EQ(1u, doc.releases.size());
}

TEST(IdfHostile, UnknownEntitiesAreLeftAsText)
{
    IdfDocument doc;
    ASSERT_EQ(0, ParseIdf("<IDF Series=\"&ext;&amp;&#65;\"/>", doc));
    EXPECT_STREQ("&ext;&A", FindAttribute(doc.root, "series").value());
}

} // namespace

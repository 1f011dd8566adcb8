#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/machine_prefix.h"
#include "support/idf/idf_document.h"
#include "support/idf/idf_query.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon::support;
using namespace halcyon::test;

namespace {

using Strings = std::vector<std::string>;

using IdfQuery = IdfTest;

// Releases: 1 and 3 by part A (one by a padded, lower-case spelling), 2 by
// B, 4 by nothing; release 1's foundation image ships 10 and 11.
const std::string kSelection =
    ReleaseXml("1", " a ", "Foundation Image",
               "") +
    "<Release ReleaseID=\"2\" PartId=\"P2\"><PartNumber>B</PartNumber><PartNumber>A</PartNumber>"
    "<Software SoftwareType=\"module\" ReleaseID=\"2\"/></Release>\n" +
    ReleaseXml("3", "A") + ReleaseXml("4", "") +
    "<Release ReleaseID=\"5\" PartId=\"P5\"><PartNumber>C</PartNumber>"
    "<Software SoftwareType=\"Foundation Image\" ReleaseID=\"5\">"
    "<ChildRelease ReleaseID=\"10\"/><ChildRelease releaseid=\"11\"/></Software>"
    "<Software SoftwareType=\"Module\"><ChildRelease ReleaseID=\"99\"/></Software></Release>\n"
    "<Mcode Code=\"M-1\"><PartNumber>A</PartNumber><PartNumber>Z</PartNumber></Mcode>"
    "<Mcode Code=\"M-2\"><PartNumber>a</PartNumber></Mcode>"
    "<Mcode Code=\"M-EMPTY\"/>"
    "<SkuMap From=\"A\" To=\"A-X\"/><SkuMap From=\"c\" To=\"C-X\"/><SkuMap From=\"A\" To=\"A-Y\"/>";

struct ListCase {
    const char *name;
    Strings input;
    Strings expected;
};

TEST_F(IdfQuery, ReleaseIdsBySelectionOfPartNumbers)
{
    std::string idf = Idf(kSelection);
    const ListCase cases[] = {
        {"both parts", {"A", "B"}, {"1", "2", "3"}},
        {"case and space", {"  b\t"}, {"2"}},
        {"duplicates change nothing", {"C", "c", "C "}, {"5"}},
        {"empty entries select nothing", {"", ""}, {}},
        {"unknown part", {"Q"}, {}},
    };
    for (const auto &c : cases) {
        StringList1000 out;
        EXPECT_EQ(0, GetReleaseIds(idf, List(c.input), out)) << c.name;
        EXPECT_EQ(c.expected, out.Entries()) << c.name;
        EXPECT_EQ("NULL", out[c.expected.size()]) << c.name;
    }
}

TEST_F(IdfQuery, EntriesAfterTheEndMarkAreNotRead)
{
    std::string idf = Idf(kSelection);
    StringList1000 parts = List({"B"});
    parts[2] = "C"; // beyond "NULL"
    StringList1000 out;
    ASSERT_EQ(0, GetReleaseIds(idf, parts, out));
    EXPECT_EQ(Strings{"2"}, out.Entries());
}

TEST_F(IdfQuery, ChildReleasesPartIdsAndSoftwareNodes)
{
    std::string idf = Idf(kSelection);
    StringList1000 out;
    ASSERT_EQ(0, GetChildReleaseIds(idf, "foundation image", List({"5", "1"}), out));
    EXPECT_EQ((Strings{"10", "11"}), out.Entries());
    ASSERT_EQ(0, GetChildReleaseIds(idf, "Module", List({"5"}), out));
    EXPECT_EQ(Strings{"99"}, out.Entries());

    ASSERT_EQ(0, GetPartIds(idf, List({"3", " 2", "9", "3"}), out));
    EXPECT_EQ((Strings{"P2", "P3"}), out.Entries());

    CXMLNodeList nodes;
    ASSERT_EQ(0, GetSoftwareNodeList(nodes, "Module", idf, List({"1", "2", "3", "5"})));
    ASSERT_EQ(3, nodes.GetNumNodes());
    std::string id;
    CXMLNode node;
    ASSERT_EQ(0, nodes.GetNode(0, node));
    EXPECT_EQ("Software", node.GetName());
    ASSERT_EQ(0, node.GetAttributeValue("releaseid", id));
    EXPECT_EQ("2", id);
    ASSERT_EQ(0, GetSoftwareNodeList(nodes, "ALL", idf, List({"1", "5"})));
    EXPECT_EQ(3, nodes.GetNumNodes());
    ASSERT_EQ(0, GetSoftwareNodeList(nodes, "P1 (recovery) Image", idf, List({"1", "5"})));
    EXPECT_EQ(0, nodes.GetNumNodes());
}

TEST_F(IdfQuery, McodeAndSkuMapping)
{
    std::string idf = Idf(kSelection, std::string(kIdfHeaderAttributes) + " Mcode=\" m-2 \"");
    std::string mcode = "stale";
    EXPECT_EQ(0, GetMcode(idf, List({"a", "z"}), mcode));
    EXPECT_EQ("M-1", mcode);
    EXPECT_EQ(0, GetMcode(idf, List({"A"}), mcode));
    EXPECT_EQ("M-2", mcode);
    EXPECT_EQ(IDF_MCODE_NOT_FOUND, GetMcode(idf, List({"B"}), mcode));
    EXPECT_EQ("", mcode);

    StringList1000 out;
    ASSERT_EQ(0, GetReleaseIdsFromMcode(idf, out, false, 0));
    EXPECT_EQ((Strings{"1", "2", "3"}), out.Entries());

    ASSERT_EQ(0, MapSkuToSku(idf, List({"C", "", "a", "B"}), out));
    EXPECT_EQ((Strings{"C-X", "A-X", "A-Y"}), out.Entries());
    ASSERT_EQ(0, MapSkuToSku(idf, List({"B"}), out));
    EXPECT_EQ(Strings{}, out.Entries());
}

TEST_F(IdfQuery, McodeSelectionFailures)
{
    StringList1000 out;
    EXPECT_EQ(IDF_NO_ROOT_MCODE, GetReleaseIdsFromMcode(Idf(kSelection), out));
    EXPECT_EQ(IDF_MCODE_NOT_FOUND,
              GetReleaseIdsFromMcode(Idf(kSelection, std::string(kIdfHeaderAttributes) +
                                                           " Mcode=\"M-9\""),
                                     out));
    EXPECT_EQ("NULL", out[0]);
}

TEST_F(IdfQuery, DataModulesFlagFirstValueAndValueList)
{
    std::string idf = Idf(ReleaseXml("1", "A", "Module",
                                       "<DataModule Name=\"ZPGM_ELIG_VAL\" Value=\"EDU\"/>"
                                       "<DataModule Name=\"CleanSweep\" Value=\"\"/>") +
                            ReleaseXml("2", "A", "Module", "<DataModule name=\"zpgm_elig_val\" value=\"GOV\"/>") +
                            ReleaseXml("3", "A", "Module", "<DataModule Name=\"ZPGM_ELIG_VAL\" Value=\"NOT SELECTED\"/>"));
    std::string value = "stale";
    uint8_t found = 7;
    StringList1000 values;
    values[5] = "stale";
    ASSERT_EQ(0, GetDataModules(idf, List({"1", "2"}), "ZPGM_ELIG_VAL", value, found, &values));
    EXPECT_EQ(1, found);
    EXPECT_EQ("EDU", value);
    EXPECT_EQ("EDU", values[0]);
    EXPECT_EQ("GOV", values[1]);
    EXPECT_EQ("", values[2]);
    EXPECT_EQ("", values[5]);

    ASSERT_EQ(0, GetDataModules(idf, List({"1"}), "CleanSweep", value, found));
    EXPECT_EQ(1, found);
    EXPECT_EQ("", value);
    ASSERT_EQ(0, GetDataModules(idf, List({"2"}), "CleanSweep", value, found));
    EXPECT_EQ(0, found);

    found = 1;
    EXPECT_EQ(IDF_FILE_NOT_FOUND, GetDataModules(dir_ / "none.xml", List({"1"}), "CleanSweep", value, found));
    EXPECT_EQ(0, found);
}

TEST_F(IdfQuery, DependenciesAndExclusions)
{
    std::string idf = Idf(ReleaseXml("1", "A", "Module",
                                       "<Dependency PartId=\"P2\"/><Dependency PartId=\"P7\"/>"
                                       "<Exclusion PartId=\"p3\"/><Exclusion PartId=\"P8\"/>") +
                            ReleaseXml("2", "A", "Module", "<Dependency PartId=\"P9\"/>") +
                            ReleaseXml("3", "A") +
                            ReleaseXml("4", "A", "Module", "<Dependency PartId=\"P99\"/>"));
    StringList1000 partIds = List({"P1", "P2", "P3"});
    int32_t missing = -1, excluded = -1;
    ASSERT_EQ(0, VerifyDependenciesAndExclusions(idf, partIds, missing, excluded));
    EXPECT_EQ(2, missing);  // P7 of release 1, P9 of release 2; release 4 is not selected
    EXPECT_EQ(1, excluded); // P3

    std::vector<CXMLNodeList> missingInfo(3), exclusionInfo(2);
    ASSERT_EQ(0, MakeDependenciesAndExclusionsErrorInfo(idf, partIds, &missingInfo, &exclusionInfo));
    ASSERT_EQ(2, missingInfo[0].GetNumNodes());
    EXPECT_EQ("Release ReleaseID=\"1\" PartId=\"P1\" Name=\"R1\"", missingInfo[0].Nodes()[0].ToText());
    EXPECT_EQ("Dependency PartId=\"P7\"", missingInfo[0].Nodes()[1].ToText());
    EXPECT_EQ("Dependency PartId=\"P9\"", missingInfo[1].Nodes()[1].ToText());
    EXPECT_TRUE(missingInfo[2].IsEmpty());
    EXPECT_EQ("Exclusion PartId=\"p3\"", exclusionInfo[0].Nodes()[1].ToText());
    EXPECT_TRUE(exclusionInfo[1].IsEmpty());

    // Either array may be absent; one too small for its problems is refused
    // rather than overrun.
    ASSERT_EQ(0, MakeDependenciesAndExclusionsErrorInfo(idf, partIds, nullptr, &exclusionInfo));
    std::vector<CXMLNodeList> small(2);
    EXPECT_EQ(IDF_LIST_FULL, MakeDependenciesAndExclusionsErrorInfo(idf, partIds, &small, nullptr));
}

TEST_F(IdfQuery, ComponentListMatch)
{
    const std::string components = "<ComponentList><Component PartNumber=\"MB-1\"/><Component PartNumber=\"CPU-2\"/>"
                                   "</ComponentList>";
    std::string idf = Idf(components + ReleaseXml("1", "A"));
    uint8_t match = 9;
    ASSERT_EQ(0, MatchSoftwareComponentList(idf, List({"x", "cpu-2", " MB-1 "}), match));
    EXPECT_EQ(1, match);
    ASSERT_EQ(0, MatchSoftwareComponentList(idf, List({"MB-1"}), match));
    EXPECT_EQ(0, match);
    // An IDF without components fits nothing, not even an empty list.
    ASSERT_EQ(0, MatchSoftwareComponentList(Idf(ReleaseXml("1", "A")), List({"", "MB-1"}), match));
    EXPECT_EQ(0, match);
}

TEST_F(IdfQuery, DefaultImageOfTheMcodeMustBeOnTheMedia)
{
    std::string idf = Idf("<Mcode Code=\"M\"><PartNumber>A</PartNumber></Mcode>" +
                                ReleaseXml("1", "A", "Foundation Image") + ReleaseXml("2", "B", "Foundation Image"),
                            std::string(kIdfHeaderAttributes) + " Mcode=\"M\"");
    std::string ini = dir_ / "nrvhdrcv.ini";
    WriteFile(ini, "[Other]\nX=sources\\data\\1\n[MEDIA:RDVD]\nRDVD1=sources\\Boot,SOURCES\\DATA\\1\\image.wim\n");
    EXPECT_EQ(0, DefaultImageExists(idf, ini, 0));

    WriteFile(ini, "[Other]\nX=sources\\data\\1\n[MEDIA:RDVD]\nRDVD1=sources\\data\\2\n");
    EXPECT_EQ(IDF_NO_DEFAULT_IMAGE, DefaultImageExists(idf, ini, 0));
    EXPECT_EQ(IDF_MEDIA_INI_UNREADABLE, DefaultImageExists(idf, dir_ / "missing.ini", 0));

    std::string noImage = Idf("<Mcode Code=\"M\"><PartNumber>A</PartNumber></Mcode>" + ReleaseXml("1", "A"),
                                std::string(kIdfHeaderAttributes) + " Mcode=\"M\"");
    WriteFile(ini, "[MEDIA:RDVD]\nRDVD1=sources\\data\\1\n");
    EXPECT_EQ(IDF_NO_DEFAULT_IMAGE, DefaultImageExists(noImage, ini, 0));
}

TEST_F(IdfQuery, ResultsThatDoNotFitAreReportedNotCut)
{
    std::string body;
    for (int i = 0; i < 1000; ++i)
        body += "<Release ReleaseID=\"" + std::to_string(i) + "\" PartId=\"P" + std::to_string(i) +
                "\"><PartNumber>A</PartNumber></Release>";
    std::string idf = Idf(body);
    StringList1000 out;
    EXPECT_EQ(IDF_LIST_FULL, GetReleaseIds(idf, List({"A"}), out));
    EXPECT_EQ(999u, out.Count());
    EXPECT_EQ("998", out[998]);
    EXPECT_EQ("NULL", out[999]);

    // 999 answers fit exactly.
    body.clear();
    for (int i = 0; i < 999; ++i)
        body += "<Release ReleaseID=\"" + std::to_string(i) + "\"><PartNumber>A</PartNumber></Release>";
    EXPECT_EQ(0, GetReleaseIds(Idf(body), List({"A"}), out));
    EXPECT_EQ(999u, out.Count());
}

TEST_F(IdfQuery, ScrambledIdfReadsAsPlain)
{
    std::string text = IdfText(ReleaseXml("1", "A"));
    std::string scrambled = text;
    for (auto &c : scrambled)
        c = static_cast<char>(static_cast<unsigned char>(c) ^ 0x5C);
    std::string idf = WriteIdf(dir_, scrambled, "scrambled.xml");
    StringList1000 out;
    ASSERT_EQ(0, GetReleaseIds(idf, List({"A"}), out));
    EXPECT_EQ(Strings{"1"}, out.Entries());
    CXMLNode header;
    ASSERT_EQ(0, GetIdfHeader(idf, header));
    std::string series;
    EXPECT_EQ(0, header.GetAttributeValue("SERIES", series));
    EXPECT_EQ("NX500", series);
}

TEST_F(IdfQuery, HeaderAndWindowsPaths)
{
    std::string idf = Idf("");
    CXMLNode header;
    ASSERT_EQ(0, GetIdfHeader(idf, header));
    EXPECT_EQ("IDF", header.GetName());
    ASSERT_GE(header.GetNumAttributes(), 7u);
    EXPECT_EQ("IDFFormatVersion", header.Attributes()[0].first);

    // A Windows path on the emulated machine reaches the same file.
    std::string cPath = halcyon::platform::DriveFolder('C') + "/Factory";
    std::filesystem::create_directories(cPath);
    WriteFile(cPath + "/Machine.XML", IdfText(ReleaseXml("7", "A")));
    StringList1000 out;
    ASSERT_EQ(0, GetReleaseIds("C:\\factory\\machine.xml", List({"A"}), out));
    EXPECT_EQ(Strings{"7"}, out.Entries());
}

// The sample IDF next to the format description answers as described there.
TEST_F(IdfQuery, SampleIdf)
{
    const std::string idf = std::string(HALCYON_SOURCE_DIR) + "/tests/plan/data/nx500.xml";
    StringList1000 bom = List({"SKU-NX500-BASE", "MB-NX500"});

    uint8_t match = 0;
    ASSERT_EQ(0, MatchSoftwareComponentList(idf, bom, match));
    EXPECT_EQ(1, match);

    StringList1000 releases, children, partIds, out;
    ASSERT_EQ(0, GetReleaseIds(idf, bom, releases));
    EXPECT_EQ((Strings{"300100", "300200", "300300", "300310", "300330", "300340", "300500"}), releases.Entries());
    ASSERT_EQ(0, GetReleaseIdsFromMcode(idf, out));
    EXPECT_EQ(releases.Entries(), out.Entries());
    ASSERT_EQ(0, GetChildReleaseIds(idf, "Foundation Image", releases, children));
    EXPECT_EQ((Strings{"300150", "300160"}), children.Entries());

    Strings merged = releases.Entries();
    merged.insert(merged.end(), {"300150", "300160"});
    ASSERT_EQ(0, GetPartIds(idf, List(merged), partIds));
    EXPECT_EQ((Strings{"P300100", "P300150", "P300160", "P300200", "P300300", "P300310", "P300330", "P300340",
                       "P300500"}),
              partIds.Entries());
    int32_t missing = -1, excluded = -1;
    ASSERT_EQ(0, VerifyDependenciesAndExclusions(idf, partIds, missing, excluded));
    EXPECT_EQ(0, missing);
    EXPECT_EQ(0, excluded);
    ASSERT_EQ(0, VerifyDependenciesAndExclusions(idf, List({"P300100"}), missing, excluded));
    EXPECT_EQ(1, missing);

    std::string mcode;
    ASSERT_EQ(0, GetMcode(idf, bom, mcode));
    EXPECT_EQ("M-NX500-01", mcode);
    ASSERT_EQ(0, MapSkuToSku(idf, List({"SKU-NX500-BASE", "OPT-TOOLS"}), out));
    EXPECT_EQ(Strings{"OPT-TOOLS-EXTRA"}, out.Entries());

    CXMLNodeList modules;
    ASSERT_EQ(0, GetSoftwareNodeList(modules, "Module", idf, List(merged)));
    ASSERT_EQ(5, modules.GetNumNodes());
    CXMLNode node;
    std::string type;
    modules.GetNode(0, node);
    EXPECT_EQ(0, node.GetAttributeValue("ModuleType", type));
    EXPECT_EQ("Driver Module", type);

    std::string value;
    uint8_t found = 0;
    StringList1000 values;
    ASSERT_EQ(0, GetDataModules(idf, releases, "ZPGM_ELIG_VAL", value, found, &values));
    EXPECT_EQ(1, found);
    EXPECT_EQ("EDU", value);
    EXPECT_EQ("GOV", values[1]);
    EXPECT_EQ("", values[2]);
}

} // namespace

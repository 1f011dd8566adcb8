#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/idf/idf_result.h"
#include "support/idf/string_list.h"
#include "support/idf/xml_node.h"

using namespace halcyon::support;

namespace {

TEST(IdfNode, AttributesIgnoreCaseAndKeepOrder)
{
    CXMLNode node("Software");
    node.AddAttribute("moduleType", "Driver Module");
    node.AddAttribute("PartName", "Chipset");
    std::string value;
    ASSERT_EQ(0, node.GetAttributeValue("ModuleType", value));
    EXPECT_EQ("Driver Module", value);
    EXPECT_EQ(IDF_ATTRIBUTE_NOT_FOUND, node.GetAttributeValue("OS", value));
    EXPECT_EQ("", value);

    node.UpdateAttribute("MODULETYPE", "Application Module");
    node.UpdateAttribute("OS", "W11P64");
    EXPECT_EQ("Software moduleType=\"Application Module\" PartName=\"Chipset\" OS=\"W11P64\"", node.ToText());

    CXMLNode change;
    change.AddAttribute("partname", "Other");
    change.AddAttribute("Temporary", "False");
    node.UpdateNode(change);
    EXPECT_EQ(4u, node.GetNumAttributes());
    node.GetAttributeValue("PartName", value);
    EXPECT_EQ("Other", value);

    node.Reset();
    EXPECT_EQ("", node.ToText());
}

TEST(IdfNode, ListCopiesAndReplacesNodes)
{
    CXMLNodeList list;
    CXMLNode a("A");
    a.AddAttribute("x", "1");
    list.AddNode(a);
    list.AddNode(CXMLNode("B"));

    CXMLNode copy;
    ASSERT_EQ(0, list.GetNode(0, copy));
    copy.UpdateAttribute("x", "2");
    std::string value;
    CXMLNode again;
    list.GetNode(0, again);
    again.GetAttributeValue("x", value);
    EXPECT_EQ("1", value); // a copy, not the stored node

    ASSERT_EQ(0, list.UpdateNode(0, copy));
    list.GetNode(0, again);
    again.GetAttributeValue("x", value);
    EXPECT_EQ("2", value);

    EXPECT_EQ(IDF_INDEX_OUT_OF_RANGE, list.GetNode(2, again));
    EXPECT_EQ(IDF_INDEX_OUT_OF_RANGE, list.GetNode(-1, again));
    EXPECT_EQ(IDF_INDEX_OUT_OF_RANGE, list.UpdateNode(5, copy));
    EXPECT_EQ(2, list.GetNumNodes());

    std::FILE *f = std::tmpfile();
    ASSERT_NE(nullptr, f);
    list.PrintListPC(f);
    std::rewind(f);
    char buf[128] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_EQ("  A x=\"2\"\n  B\n", std::string(buf, n));
}

TEST(IdfNode, StringListEndMark)
{
    StringList1000 list;
    EXPECT_EQ(0u, list.Count());
    list = StringList1000::From({"a", "b"});
    EXPECT_EQ(2u, list.Count());
    list[1] = "null";
    EXPECT_EQ(2u, list.Count());
    EXPECT_EQ(1u, list.CountNoCase());
    list.ClearAll();
    EXPECT_EQ(StringList1000::kSlots, list.Count());

    std::vector<std::string> many(1200, "x");
    list = StringList1000::From(many);
    EXPECT_EQ(999u, list.Count());
    StringList1000 copy = list;
    copy[0] = "y";
    EXPECT_EQ("x", list[0]);
}

} // namespace

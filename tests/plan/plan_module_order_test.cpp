// Install order, OS lists and the reboot chain of the module writer.
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

#include "engine/plan/install_order.h"
#include "engine/plan/module_node.h"
#include "engine/plan/module_preparation.h"
#include "engine/plan/os_list.h"
#include "support/idf/xml_node.h"
#include "tests/common/test_env.h"

namespace halcyon::plan {
namespace {

std::vector<size_t> Sorted(const std::vector<int32_t> &keys)
{
    std::vector<size_t> order(keys.size());
    std::iota(order.begin(), order.end(), size_t{0});
    SortByInstallOrder(keys, order);
    return order;
}

// The reference order: adjacent swaps while the first key is strictly
// greater, pass lengths n-1 down to 1.
std::vector<size_t> BubbleOrder(const std::vector<int32_t> &keys)
{
    std::vector<size_t> order(keys.size());
    std::iota(order.begin(), order.end(), size_t{0});
    for (size_t pass = order.size(); pass > 1; --pass)
        for (size_t i = 0; i + 1 < pass; ++i)
            if (keys[order[i]] > keys[order[i + 1]])
                std::swap(order[i], order[i + 1]);
    return order;
}

TEST(SortByInstallOrder, AscendingAndStable)
{
    EXPECT_EQ((std::vector<size_t>{1, 0}), Sorted({10, 9}));
    EXPECT_EQ((std::vector<size_t>{0, 1}), Sorted({7, 7}));
    EXPECT_EQ((std::vector<size_t>{1, 2, 0}), Sorted({30, 10, 20}));
    EXPECT_EQ((std::vector<size_t>{}), Sorted({}));

    // Many equal keys and negative ones, against the reference order.
    std::mt19937 rng(42);
    std::uniform_int_distribution<int32_t> key(-5, 5);
    for (int round = 0; round < 20; ++round) {
        std::vector<int32_t> keys(200);
        for (auto &k : keys)
            k = key(rng);
        ASSERT_EQ(BubbleOrder(keys), Sorted(keys)) << "round " << round;
    }
}

TEST(IsOsInList, CommaListWithoutRegardToCase)
{
    EXPECT_EQ(0, IsOsInList("x", "y,x"));
    EXPECT_EQ(0, IsOsInList("W11P64", "w10p64,W11p64"));
    EXPECT_EQ(0, IsOsInList("X", ",,x,"));
    EXPECT_EQ(115, IsOsInList("x", "y"));
    EXPECT_EQ(115, IsOsInList("x", ""));
    EXPECT_EQ(115, IsOsInList("x", "xy,yx"));
    // An empty foundation OS matches nothing, not even empty pieces.
    EXPECT_EQ(115, IsOsInList("", "a,,b"));
    EXPECT_EQ(115, IsOsInList("", ""));
}

std::vector<support::CXMLNode> RebootNodes(const std::vector<const char *> &settings)
{
    std::vector<support::CXMLNode> nodes;
    for (const char *s : settings) {
        support::CXMLNode n("Software");
        if (s)
            n.AddAttribute("rebootSetting", s);
        nodes.push_back(n);
    }
    return nodes;
}

std::vector<std::string> Settings(const std::vector<support::CXMLNode> &nodes)
{
    std::vector<std::string> out;
    for (const auto &n : nodes) {
        std::string v;
        out.push_back(n.GetAttributeValue("rebootSetting", v) == 0 ? v : "<absent>");
    }
    return out;
}

TEST(RebootChain, OneRestartServesNeighbours)
{
    auto chain = [](std::vector<const char *> in, std::vector<size_t> order = {}) {
        std::vector<support::CXMLNode> nodes = RebootNodes(in);
        if (order.empty()) {
            order.resize(in.size());
            std::iota(order.begin(), order.end(), size_t{0});
        }
        EXPECT_EQ(0, NormaliseRebootChain(nodes, order));
        return Settings(nodes);
    };
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"After", "None", "Both", "None"}), chain({"After", "Before", "Both", "Before"}));
    EXPECT_EQ((V{"After", "After", "None"}), chain({"After", "Both", "Before"}));
    EXPECT_EQ((V{"after", "After", "None"}), chain({"after", "BOTH", "before"}));
    // Values other than the four words pass and end the chain.
    EXPECT_EQ((V{"After", "Later", "Before"}), chain({"After", "Later", "Before"}));
    // A node without the attribute stays without it and ends the chain.
    EXPECT_EQ((V{"After", "<absent>", "Before"}), chain({"After", nullptr, "Before"}));
    // The chain follows the install order, not the list order.
    EXPECT_EQ((V{"None", "After"}), chain({"Before", "After"}, {1, 0}));
}

TEST(VerificationMode, FromTheVersionProbe)
{
    test::MachineScope machine;
    std::string longFile = "C:\\" + std::string(300, 'a') + "\\v.txt";
    std::string longKey = "HKLM\\SOFTWARE\\" + std::string(300, 'k') + "\\Version";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"", "None"},
        {"C:\\Tools\\a.exe", "File"},
        {"version.txt", "File"},
        {"HKLM\\SOFTWARE\\Missing\\Version", "Registry"},
        {"hkey_local_machine\\SOFTWARE\\X", "Registry"},
        // Too long for the probe: decided by the first component.
        {longFile, "File"},
        {longKey, "Registry"},
    };
    std::vector<support::CXMLNode> nodes;
    for (const auto &c : cases) {
        support::CXMLNode n("Software");
        n.AddAttribute("VerificationPath", c.first);
        nodes.push_back(n);
    }
    std::vector<size_t> order(nodes.size());
    std::iota(order.begin(), order.end(), size_t{0});
    ASSERT_EQ(0, AddVerificationMode(nodes, order));
    for (size_t i = 0; i < cases.size(); ++i) {
        std::string mode;
        nodes[i].GetAttributeValue("VerificationMode", mode);
        EXPECT_EQ(cases[i].second, mode) << cases[i].first.substr(0, 40);
    }
}

// A node read in place answers as a copied node does: names without regard
// to case, of attributes named alike the last one, and what a pass set.
TEST(ModuleNode, AnswersAsACopiedNode)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<Software moduleType="Module" ModuleType="EXE" OS="W10" a="1" A="2" rebootSetting="Both"/>)"));
    ModuleValues values;
    ModuleNode node(doc.first_child(), values);
    node.UpdateAttribute("rebootSetting", "After");
    node.AddAttribute("VerificationType", "ReturnCode");
    node.AddAttribute("X1", "1");
    node.AddAttribute("X2", "2"); // more changes than the node holds inline
    const struct {
        const char *name;
        const char *value; // null: absent
    } cases[] = {
        {"moduletype", "EXE"},      {"OS", "W10"},     {"a", "2"},  {"REBOOTSETTING", "After"},
        {"verificationtype", "ReturnCode"}, {"x2", "2"}, {"missing", nullptr},
    };
    for (const auto &c : cases) {
        std::string got;
        const bool found = node.GetAttributeValue(c.name, got) == 0;
        EXPECT_EQ(c.value != nullptr, found) << c.name;
        EXPECT_EQ(c.value ? c.value : "", got) << c.name;
        const char *gathered = NodeAttributes(node).Find(c.name);
        EXPECT_EQ(c.value ? std::string(c.value) : "<absent>", gathered ? gathered : "<absent>") << c.name;
    }
}

} // namespace
} // namespace halcyon::plan

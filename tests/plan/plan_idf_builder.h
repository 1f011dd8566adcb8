// Test IDFs for the plan builders: software nodes from attribute lists,
// releases, data modules and the header, written as IDF text.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "tests/common/scratch_fixture.h"

namespace halcyon::test {

// Attribute name and value; a value of kDrop removes the attribute.
using Attrs = std::vector<std::pair<std::string, std::string>>;
inline const std::string kDrop = "\x01drop";

// Applies `changes` to `base`: replaces values of attributes present,
// appends new ones, removes those set to kDrop.
Attrs With(Attrs base, const Attrs &changes);

// A complete "Module" software node of release `releaseId`.
Attrs ModuleNode(const std::string &releaseId, const std::string &name, const std::string &moduleType,
                 int installOrderIndex, const std::string &totalSize = "1024");
// A foundation-image node, a recovery-image node and an application node
// (an "Image Application" child of the foundation image).
Attrs FoundationNode(const std::string &releaseId, const std::string &os = "W11P64");
Attrs RecoveryNode(const std::string &releaseId, const std::string &os = "W11P64");
Attrs ApplicationNode(const std::string &releaseId, const std::string &name, int installOrderIndex);

struct TestRelease {
    std::string releaseId;
    std::vector<std::string> partNumbers;  // BOM part numbers that select it
    std::vector<Attrs> software;
    std::vector<std::vector<std::string>> children; // ChildRelease IDs per software node
    std::vector<std::pair<std::string, std::string>> dataModules;
};

class TestIdf {
public:
    TestIdf();
    Attrs header;  // root attributes
    std::deque<TestRelease> releases; // stable references across Add
    std::vector<std::pair<std::string, std::vector<std::string>>> mcodes; // Code, part numbers

    // A release selected by "SKU-T" holding one software node.
    TestRelease &Add(const Attrs &software, std::vector<std::string> partNumbers = {"SKU-T"});
    std::string Xml() const;
    // Writes the IDF and returns its path.
    std::string Save(const std::string &path) const;
};

// Parses a saved INI into sections (in file order) of keys (in order), and
// compares it with a golden file section by section and key by key.
void ExpectSamePlan(const std::string &goldenPath, const std::string &planPath);
std::string GoldenPath(const std::string &name);

// The ground of the plan builder tests: a bill of materials of one part.
class PlanBuilderTest : public ScratchTest {
protected:
    std::string bom = dir / "bom.txt";
    void SetUp() override { WriteFile(bom, "SKU-T\n"); }
};

} // namespace halcyon::test

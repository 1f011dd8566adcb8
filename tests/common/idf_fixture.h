// Small IDFs for the tests of the IDF queries and the plan steps that use
// them: a header with every signature key and a body given by the test.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "support/idf/idf_document.h"
#include "support/idf/string_list.h"
#include "tests/common/test_env.h"

namespace halcyon::test {

inline constexpr std::string_view kIdfHeaderAttributes =
    R"(IDFFormatVersion="1.05.0.20080531.1" Timestamp="2026-11-30T10:00:00" Series="NX500" )"
    R"(LangRegion="EN-US" BomSnapshotName="NX500-Q4" BomSnapshotID="SNAP-000123" WaitForSetupDelay="30")";

// A complete IDF text: the root with `rootAttributes` around `body`.
inline std::string IdfText(std::string_view body, std::string_view rootAttributes = kIdfHeaderAttributes)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<IDF " + std::string(rootAttributes) + ">\n" +
           std::string(body) + "\n</IDF>\n";
}

// A release selected by `partNumber` with one software node of `type`.
inline std::string ReleaseXml(std::string_view id, std::string_view partNumber, std::string_view type = "Module",
                              std::string_view inner = "")
{
    std::string r = "<Release ReleaseID=\"" + std::string(id) + "\" PartId=\"P" + std::string(id) + "\" Name=\"R" +
                    std::string(id) + "\">";
    if (!partNumber.empty())
        r += "<PartNumber>" + std::string(partNumber) + "</PartNumber>";
    r += "<Software SoftwareType=\"" + std::string(type) + "\" ReleaseID=\"" + std::string(id) +
         "\" PathToRelease=\"data\\" + std::string(id) + "\"/>";
    r += std::string(inner) + "</Release>\n";
    return r;
}

// Writes `text` as a file in `dir` and returns its path.
inline std::string WriteIdf(const TempDir &dir, std::string_view text, std::string_view name = "test.xml")
{
    std::string path = dir / name;
    WriteFile(path, text);
    return path;
}

inline support::StringList1000 List(const std::vector<std::string> &entries)
{
    return support::StringList1000::From(entries);
}

// A test of the IDF readers and their callers: a private machine, a scratch
// folder with a plan log, and an IDF cache emptied before and after.
class IdfTest : public ::testing::Test {
protected:
    void SetUp() override { support::ClearIdfCache(); }
    void TearDown() override { support::ClearIdfCache(); }
    // Writes the IDF of `body` under `rootAttributes` as a file of its own.
    std::string Idf(std::string_view body, std::string_view rootAttributes = kIdfHeaderAttributes)
    {
        return WriteIdf(dir_, IdfText(body, rootAttributes), "idf" + std::to_string(++written_) + ".xml");
    }
    std::string Log() const { return ReadFile(log_); }

    MachineScope machine_;
    TempDir dir_{"idf"};
    std::string log_ = dir_ / "plan.log";

private:
    int written_ = 0;
};

} // namespace halcyon::test

// The idf command: answers the builders' queries for IDF authors.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/common/halcyon_command.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon;

namespace {

const test::HalcyonVerb RunIdfCommand{"idf"};

TEST(IdfCommandTest, SelectionCheckAndFailures)
{
    test::MachineScope machine;
    test::TempDir dir("idf-cli");
    const std::string idf = test::WriteIdf(
        dir, test::IdfText("<ComponentList><Component PartNumber=\"MB\"/></ComponentList>" +
                               test::ReleaseXml("1", "A", "Foundation Image", "<DataModule Name=\"ExFunc\" Value=\"A12\"/>") +
                               test::ReleaseXml("2", "A", "Module", "<Dependency PartId=\"P9\"/>"),
                           std::string(test::kIdfHeaderAttributes)));
    const std::string bom = dir / "bom.txt";
    test::WriteFile(bom, "A\nMB\n");

    std::string out;
    ASSERT_EQ(0, RunIdfCommand("header " + idf, out)) << out;
    EXPECT_NE(std::string::npos, out.find("Series=NX500")) << out;

    out.clear();
    ASSERT_EQ(0, RunIdfCommand("datamodule " + idf + " exfunc --bom " + bom, out)) << out;
    EXPECT_NE(std::string::npos, out.find("found, value \"A12\"")) << out;

    out.clear();
    EXPECT_EQ(1, RunIdfCommand("check " + idf + " --bom " + bom, out)) << out;
    EXPECT_NE(std::string::npos, out.find("Component list: matches the BOM")) << out;
    EXPECT_NE(std::string::npos, out.find("Missing dependencies: 1, exclusions: 0")) << out;
    EXPECT_NE(std::string::npos, out.find("Dependency PartId=\"P9\"")) << out;

    out.clear();
    test::WriteFile(dir / "bad.xml", "<IDF><Release>");
    EXPECT_EQ(1, RunIdfCommand("releases " + (dir / "bad.xml") + " --bom " + bom, out));
    EXPECT_NE(std::string::npos, out.find("IDF_NOT_WELL_FORMED")) << out;

    out.clear();
    EXPECT_EQ(2, RunIdfCommand("releases " + idf, out)); // neither --bom nor --mcode
}

} // namespace

// The idf-identify, idf-os, idf-scramble and c-drive-size commands.
#include <gtest/gtest.h>

#include <string>

#include "platform/machine.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon;

namespace {

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST(IdfVerbsCommandTest, IdentifyOsAndScramble)
{
    test::MachineScope machine;
    test::TempDir dir("idf-verbs-cli");
    const std::string lib = dir / "lib";
    test::WriteFile(lib + "/F/R/a.xml",
                    test::IdfText("<ComponentList><Component PartNumber=\"MB\"/></ComponentList>"
                                  "<Mcode Code=\"M\"><PartNumber>S</PartNumber></Mcode>"
                                  "<Release ReleaseID=\"1\" PartId=\"P1\"><PartNumber>S</PartNumber>"
                                  "<Software SoftwareType=\"Foundation Image\" ReleaseID=\"1\" OS=\"Win11 x64\"/>"
                                  "</Release>",
                                  std::string(test::kIdfHeaderAttributes) + " Mcode=\"M\""));
    test::WriteFile(lib + "/F/R/F_R_status.txt", "RTM:a.xml\n");
    test::WriteFile(dir / "bom.txt", "MB\n");

    std::string out;
    ASSERT_EQ(0, test::RunHalcyon("idf-identify --root '" + lib + "' --bom '" + (dir / "bom.txt") + "' --set", out))
        << out;
    EXPECT_TRUE(Has(out, "set Idf=" + lib + "\\F\\R\\a.xml\n")) << out;
    EXPECT_EQ(1, test::RunHalcyon("idf-identify --root '" + (dir / "none") + "'", out));
    EXPECT_TRUE(Has(out, "returned 5")) << out;

    ASSERT_EQ(0, test::RunHalcyon("idf-os '" + lib + "/F/R/a.xml'", out)) << out;
    EXPECT_TRUE(Has(out, "Win11 x64\n")) << out;

    const std::string idf = lib + "/F/R/a.xml", scrambled = dir / "a.idf", back = dir / "back.xml";
    ASSERT_EQ(0, test::RunHalcyon("idf-scramble '" + idf + "' '" + scrambled + "'", out)) << out;
    EXPECT_EQ(1, test::RunHalcyon("idf-scramble '" + scrambled + "' '" + back + "'", out));
    EXPECT_TRUE(Has(out, "returned 78")) << out;
    ASSERT_EQ(0, test::RunHalcyon("idf-scramble '" + scrambled + "' '" + back + "' --unscramble", out)) << out;
    EXPECT_EQ(test::ReadFile(idf), test::ReadFile(back));
}

TEST(IdfVerbsCommandTest, CDriveSize)
{
    test::MachineScope machine;
    test::TempDir dir("cdrive-cli");
    ASSERT_TRUE(platform::SetMachineSetting("Identity", "PhysicalMemoryMB", "1000"));
    test::WriteFile(dir / "cd.ini", "[CDrive]\nDefault=AutoCalculation\nMultiplierP1=2\nMultiplierMemory=1\n"
                                    "Buffer=7\nWarning=Yes\n");
    test::WriteFile(dir / "p.ini", "[Image]\nOS=x64\n[PartitionInformation]\nImageSize=100MB\n");
    std::string out;
    ASSERT_EQ(0, test::RunHalcyon("c-drive-size --settings '" + (dir / "cd.ini") + "' --plan '" + (dir / "p.ini") + "'",
                                  out))
        << out;
    EXPECT_TRUE(Has(out, "Size: 1207MB\nSize without recovery partition: 1207MB\nWarning: Yes\n")) << out;
    EXPECT_EQ(1, test::RunHalcyon("c-drive-size --settings '" + (dir / "cd.ini") + "'", out));
    EXPECT_TRUE(Has(out, "returned 12")) << out;
}

} // namespace

// halcyon version: the probes from the command line print their text; a
// probe's failure exits 1 with its result code printed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/path_map.h"
#include "tests/common/halcyon_command.h"
#include "tests/common/pe_writer.h"
#include "tests/common/test_env.h"

using namespace halcyon;

namespace {

const test::HalcyonVerb Version{"version"};

} // namespace

TEST(VersionCommand, ProbesPrintTextAndExitWithTheirCode)
{
    test::MachineScope machine;
    std::string host = platform::MapPathText("C:\\Program Files (x86)\\Norv\\App.exe");
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    test::PeVersion v;
    v.major = 2, v.minor = 5;
    v.strings = {{"LegalCopyright", "(c) Norv"}};
    test::WritePeFile(host, v, true);

    std::string out;
    EXPECT_EQ(Version(R"(exe 'C:\Program Files (x86)\Norv\App.exe')", out), 0);
    EXPECT_EQ(out, "2.5.0.0\n");
    EXPECT_EQ(Version(R"(copyright 'C:\Program Files (x86)\Norv\App.exe')", out), 0);
    EXPECT_EQ(out, "(c) Norv\n");
    EXPECT_EQ(Version(R"(verify 'C:\Program Files\Norv\App.exe' 2,5)", out), 0) << out;
    EXPECT_EQ(Version(R"(verify 'C:\Program Files\Norv\App.exe' 2.6)", out), 1);
    EXPECT_NE(out.find("result 2"), std::string::npos) << out;
    EXPECT_EQ(Version(R"(exe 'C:\Program Files (x86)\Norv\App.exe' --size 4)", out), 0);
    EXPECT_EQ(out, "2.5\n");
    EXPECT_EQ(Version(R"(exe 'C:\Program Files (x86)\Norv\App.exe' --size 0)", out), 1);
    EXPECT_EQ(Version("bogus x", out), 2);
    EXPECT_EQ(Version("verify onlyone", out), 2);
}

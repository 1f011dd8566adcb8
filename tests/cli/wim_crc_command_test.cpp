// halcyon wim and halcyon crc: the exit status is the routine's code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/common/halcyon_command.h"
#include "tests/common/link_escape.h"
#include "tests/common/test_env.h"

using namespace halcyon;

namespace {

int Halcyon(const std::string &arguments, std::string &output)
{
    return test::RunHalcyon(arguments, output);
}

TEST(WimCrcCommands, CaptureReadScrambleApplyAndCheck)
{
    test::MachineScope machine;
    test::TempDir dir("halcyon-wim-cli");
    test::WriteFile(dir / "src/a.txt", "hello\n");
    const std::string wim = dir / "x.wim";
    std::string out;
    ASSERT_EQ(Halcyon("wim create " + dir / "src" + " " + wim + " --description 'FOUNDATION IMAGE 1' --releaseid 300100",
                  out),
              0)
        << out;
    EXPECT_EQ(Halcyon("wim tag " + wim + " releaseid", out), 0);
    EXPECT_EQ(out, "300100\n");
    EXPECT_EQ(Halcyon("wim tag " + wim + " blid", out), 48);
    EXPECT_EQ(Halcyon("wim releaseid " + wim + " 300101", out), 57);
    EXPECT_EQ(Halcyon("wim scramble " + wim, out), 0);
    EXPECT_EQ(out, "scrambled\n");
    EXPECT_EQ(Halcyon("wim info " + wim, out), 41) << "a scrambled WIM does not open";
    EXPECT_EQ(Halcyon("wim scramble " + wim, out), 0);
    EXPECT_EQ(Halcyon("wim info " + wim, out), 0);
    EXPECT_NE(out.find("DESCRIPTION=FOUNDATION IMAGE 1"), std::string::npos) << out;

    const std::string target = dir / "out";
    ASSERT_EQ(Halcyon("wim apply " + wim + " " + target, out), 0) << out;
    EXPECT_EQ(test::ReadFile(target + "/a.txt"), "hello\n");
    EXPECT_EQ(Halcyon("crc check " + target, out), 2);
    ASSERT_EQ(Halcyon("crc create " + target, out), 0) << out;
    EXPECT_EQ(Halcyon("crc check " + target, out), 0);
    EXPECT_NE(out.find("Calculated CRC: "), std::string::npos);
    test::WriteFile(target + "/a.txt", "hellO\n");
    EXPECT_EQ(Halcyon("crc check " + target, out), 1);
    EXPECT_EQ(Halcyon("crc check", out), 64);
    EXPECT_EQ(Halcyon("wim frobnicate", out), 64);
}

} // namespace

namespace {

// The manifest is never written through a link at _FS_SWRINFO or its files.
TEST(WimCrcCommands, CrcCreateNeverWritesThroughALink)
{
    test::MachineScope machine;
    for (bool toFile : {false, true}) {
        for (const char *joined : {"_FS_SWRINFO/crc.info", "_FS_SWRINFO/files.info"}) {
            auto results = test::ExpectNoLinkEscape(
                joined,
                [](const std::string &scratch) {
                    test::WriteFile(scratch + "/F/a.txt", "a\n");
                    return test::LinkEscapeScene{scratch + "/F", [scratch] {
                        std::string out;
                        return Halcyon("crc create " + scratch + "/F", out);
                    }};
                },
                toFile);
            for (const auto &r : results)
                EXPECT_EQ(r.rc, 2) << r.linkAt;
        }
    }
}

TEST(WimCrcCommands, CrcFailuresNameTheFile)
{
    test::MachineScope machine;
    test::TempDir dir("halcyon-crc-cli");
    const std::string f = dir / "F";
    test::WriteFile(f + "/a.txt", "a\n");
    std::string out;
    ASSERT_EQ(Halcyon("crc create " + f, out), 0) << out;
    test::WriteFile(f + "/_FS_SWRINFO/crc.info", "short");
    EXPECT_EQ(Halcyon("crc check " + f, out), 2);
    EXPECT_NE(out.find("Can not open file. " + f + "/_FS_SWRINFO/crc.info"), std::string::npos) << out;
    std::filesystem::create_symlink(dir / "missing", f + "/dangling");
    EXPECT_EQ(Halcyon("crc create " + f, out), 3);
    EXPECT_NE(out.find(f + "/dangling"), std::string::npos) << out;
}

} // namespace

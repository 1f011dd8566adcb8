// halcyon wim and halcyon crc: the exit status is the routine's code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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
    EXPECT_EQ(Halcyon("wim tag " + wim + " blid", out), 1);
    EXPECT_EQ(Halcyon("wim releaseid " + wim + " 300101", out), 1);
    EXPECT_EQ(Halcyon("wim scramble " + wim, out), 0);
    EXPECT_EQ(out, "scrambled\n");
    EXPECT_EQ(Halcyon("wim info " + wim, out), 1) << "a scrambled WIM does not open";
    EXPECT_EQ(Halcyon("wim scramble " + wim, out), 0);
    EXPECT_EQ(Halcyon("wim info " + wim, out), 0);
    EXPECT_NE(out.find("DESCRIPTION=FOUNDATION IMAGE 1"), std::string::npos) << out;

    const std::string target = dir / "out";
    ASSERT_EQ(Halcyon("wim apply " + wim + " " + target, out), 0) << out;
    EXPECT_EQ(test::ReadFile(target + "/a.txt"), "hello\n");
    EXPECT_EQ(Halcyon("crc check " + target, out), 1);
    ASSERT_EQ(Halcyon("crc create " + target, out), 0) << out;
    EXPECT_EQ(Halcyon("crc check " + target, out), 0);
    EXPECT_NE(out.find("Calculated CRC: "), std::string::npos);
    test::WriteFile(target + "/a.txt", "hellO\n");
    EXPECT_EQ(Halcyon("crc check " + target, out), 1);
    EXPECT_EQ(Halcyon("crc check", out), 2);
    EXPECT_EQ(Halcyon("wim frobnicate", out), 2);
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
                EXPECT_EQ(r.rc, 1) << r.linkAt;
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
    EXPECT_EQ(Halcyon("crc check " + f, out), 1);
    EXPECT_NE(out.find("result 2 (manifest missing or unreadable)"), std::string::npos) << out;
    EXPECT_NE(out.find("Can not open file. " + f + "/_FS_SWRINFO/crc.info"), std::string::npos) << out;
    std::filesystem::create_symlink(dir / "missing", f + "/dangling");
    EXPECT_EQ(Halcyon("crc create " + f, out), 1);
    EXPECT_NE(out.find(f + "/dangling"), std::string::npos) << out;
}

} // namespace

namespace {

TEST(WimCrcCommands, FailuresSayWhatWentWrong)
{
    test::MachineScope machine;
    test::TempDir dir("halcyon-wim-msg");
    // Content that does not compress, so that a split gives several parts.
    std::string noise(3 << 20, '\0');
    uint32_t x = 7;
    for (char &c : noise) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    test::WriteFile(dir / "src/noise.bin", noise);
    test::WriteFile(dir / "src/noise2.bin", noise.substr(1));
    test::WriteFile(dir / "src/noise3.bin", noise.substr(2));
    std::string out;
    ASSERT_EQ(Halcyon("wim create " + dir / "src" + " " + dir / "x.wim", out), 0) << out;
    EXPECT_EQ(Halcyon("wim tag " + dir / "x.wim" + " blid", out), 1);
    EXPECT_NE(out.find("x.wim: the image description has no such element (code 48)"), std::string::npos) << out;
    test::WriteFile(dir / "not.wim", "hello");
    EXPECT_EQ(Halcyon("wim tag " + dir / "not.wim" + " releaseid", out), 1);
    EXPECT_NE(out.find("not a WIM"), std::string::npos) << out;

    // A first part that is the WIM itself would overwrite it while it is read.
    EXPECT_EQ(Halcyon("wim create " + dir / "src" + " " + dir / "y.wim --split 4194304 --first " + dir / "y.wim", out),
              2);
    ASSERT_EQ(Halcyon("wim create " + dir / "src" + " " + dir / "z.wim --split 4194304 --first " + dir / "p.swm", out),
              0)
        << out;
    std::vector<std::string> parts;
    for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
        parts.push_back(out.substr(at, nl - at));
    ASSERT_GE(parts.size(), 3u) << out;
    std::string refs;
    for (size_t i = 1; i + 1 < parts.size(); ++i)
        refs += " --ref " + parts[i];
    EXPECT_EQ(Halcyon("wim apply " + parts[0] + " " + dir / "out" + refs, out), 1);
    EXPECT_NE(out.find("split image part " + std::to_string(parts.size()) + " of " + std::to_string(parts.size()) +
                       " is missing"),
              std::string::npos)
        << out;
    EXPECT_EQ(Halcyon("wim apply " + parts[0] + " " + dir / "out" + refs + " --ref " + parts.back(), out), 0) << out;
}

} // namespace

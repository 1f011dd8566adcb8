// The file layer's copies: what they keep, how they treat links and special
// files, how often they report, and that a folder copy is on disk before it
// returns.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "halcyon/HalcyonDLL.h"
#include "support/files/file_ops.h"
#include "tests/common/file_layer_recorder.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;

namespace halcyon::test {

namespace {

mode_t ModeOf(const std::string &path)
{
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class FileOpsTest : public ::testing::Test {
protected:
    TempDir dir{"fileops"};
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    std::string canary = dir / "canary";

    void SetUp() override
    {
        fs::create_directories(src + "/sub/deeper");
        fs::create_directories(canary);
        WriteFile(canary + "/keep.txt", "canary");
    }
    bool CanaryUntouched() const
    {
        size_t n = 0;
        for (const auto &e : fs::recursive_directory_iterator(canary))
            (void)e, ++n;
        return n == 1 && ReadFile(canary + "/keep.txt") == "canary";
    }
};

TEST_F(FileOpsTest, FolderCopyKeepsContentsAndModesAndIsDurableOnReturn)
{
    const std::string big(3 * 1024 * 1024 + 17, 'x');
    WriteFile(src + "/big.bin", big);
    WriteFile(src + "/sub/deeper/empty", "");
    WriteFile(src + "/sub/open.sh", "#!/bin/sh\n");
    ::chmod((src + "/sub/open.sh").c_str(), 0777); // wider than any usual mask
    WriteFile(src + "/sub/private", "p");
    ::chmod((src + "/sub/private").c_str(), 0600);
    // A file already in the destination with another mode takes the source's.
    fs::create_directories(dst + "/sub");
    WriteFile(dst + "/sub/private", "old and longer");
    ::chmod((dst + "/sub/private").c_str(), 0644);

    FileLayerRecorder rec;
    ASSERT_EQ(support::RecursiveFolderCopy(src, dst, 0), 0);
    EXPECT_EQ(ReadFile(dst + "/big.bin"), big);
    EXPECT_EQ(ReadFile(dst + "/sub/deeper/empty"), "");
    EXPECT_EQ(ReadFile(dst + "/sub/private"), "p");
    EXPECT_EQ(ModeOf(dst + "/sub/open.sh"), 0777u);
    EXPECT_EQ(ModeOf(dst + "/sub/private"), 0600u);
    EXPECT_TRUE(rec.Durable(dst));
}

TEST_F(FileOpsTest, LinksAreCopiedAsLinksAndNeverWrittenThrough)
{
    WriteFile(src + "/sub/file.txt", "new");
    fs::create_directory_symlink(canary, src + "/sub/tocanary");
    fs::create_symlink(canary + "/keep.txt", src + "/sub/keep.txt");
    // Links planted in the destination where a file, a folder and a link go.
    fs::create_directories(dst);
    fs::create_directory_symlink(canary, dst + "/sub");
    ASSERT_EQ(support::RecursiveFolderCopy(src, dst, 0), 0);
    EXPECT_TRUE(CanaryUntouched());
    EXPECT_FALSE(fs::is_symlink(dst + "/sub"));
    EXPECT_EQ(fs::read_symlink(dst + "/sub/tocanary"), canary);
    EXPECT_EQ(fs::read_symlink(dst + "/sub/keep.txt"), canary + "/keep.txt");
    EXPECT_EQ(ReadFile(dst + "/sub/file.txt"), "new");

    fs::remove(dst + "/sub/file.txt");
    fs::create_symlink(canary + "/keep.txt", dst + "/sub/file.txt");
    ASSERT_EQ(support::CopyFolderByStreamFromCDROM(src, dst, "\\*.*", nullptr, nullptr, nullptr, 0, 0), 0);
    ASSERT_EQ(support::CopyFileByStreamFromUFD(src + "/sub/file.txt", dst + "/sub/file.txt", nullptr, nullptr,
                                               nullptr, 0, 0),
              0);
    EXPECT_TRUE(CanaryUntouched());
    EXPECT_FALSE(fs::is_symlink(dst + "/sub/file.txt"));
    EXPECT_EQ(ReadFile(dst + "/sub/file.txt"), "new");
}

TEST_F(FileOpsTest, SpecialFilesAreRefusedInsteadOfRead)
{
    ASSERT_EQ(::mkfifo((src + "/sub/pipe").c_str(), 0644), 0);
    EXPECT_EQ(support::RecursiveFolderCopy(src, dst, 0), EINVAL);
    EXPECT_EQ(support::CopyFileByStreamFromCDROM(src + "/sub/pipe", dst + "/pipe", nullptr, nullptr, nullptr, 0, 0),
              EINVAL);
}

TEST_F(FileOpsTest, WriteFaultsAndFullDisksAreReported)
{
    WriteFile(src + "/a.txt", "a");
    FileLayerRecorder rec;
    rec.failWritesWith = ENOSPC;
    EXPECT_EQ(support::RecursiveFolderCopy(src, dst, 0), support::kCopyDiskFull);
    rec.failWritesWith = EIO;
    EXPECT_EQ(support::CopyFileByStreamFromCDROM(src + "/a.txt", dst + "/a.txt", nullptr, nullptr, nullptr, 0, 0),
              EIO);
}

struct Progress {
    int calls = 0;
    uintptr_t lastPercent = 0;
    intptr_t lastBytes = 0;
    static uint32_t Callback(uint32_t msg, uintptr_t wparam, intptr_t lparam, void *ctx)
    {
        auto *p = static_cast<Progress *>(ctx);
        if (msg == WIM_MSG_PROGRESS) {
            ++p->calls;
            p->lastPercent = wparam;
            p->lastBytes = lparam;
        }
        return 0;
    }
};

TEST_F(FileOpsTest, ProgressIsReportedWhenThePercentMovesNotPerFile)
{
    // 1,000 files of 1 KiB: at most one report per percent.
    for (int i = 0; i < 1000; ++i)
        WriteFile(src + "/sub/f" + std::to_string(i), std::string(1024, 'a'));
    Progress p;
    uint64_t copied = 0;
    ASSERT_EQ(support::CopyFolderByStreamFromCDROM(src, dst, "*.*", &Progress::Callback, &p, &copied, 1024000, 0), 0);
    EXPECT_EQ(copied, 1024000u);
    EXPECT_LE(p.calls, 101);
    EXPECT_GE(p.calls, 50);
    EXPECT_EQ(p.lastPercent, 100u);
    EXPECT_EQ(p.lastBytes, 1024000);
}

} // namespace

} // namespace halcyon::test

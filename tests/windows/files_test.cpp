// The file layer on Windows: tree copies and removals with names beyond
// ASCII and read-only entries, confinement below a root, and folder CRC
// manifests on drive paths (the CRC must equal the one Linux computes for
// the same tree).
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <string>

#include "engine/frame/folder_crc.h"
#include "wide_text.h"
#include "support/files/confined_path.h"
#include "support/files/file_ops.h"
#include "tests/common/test_env.h"

namespace halcyon {
namespace {

using platform::win::Widen;

// "Ünïcode 文件" and "naïve résumé.txt" in UTF-8.
const std::string kFolder = "\xC3\x9Cn\xC3\xAF" "code \xE6\x96\x87\xE4\xBB\xB6";
const std::string kFile = "na\xC3\xAFve r\xC3\xA9sum\xC3\xA9.txt";

DWORD Attributes(const std::string &path) { return ::GetFileAttributesW(Widen(path).c_str()); }

void MakeReadOnly(const std::string &path) { ::SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_READONLY); }

// The tree whose CRC Linux computes as kTreeCrc.
void MakeTree(const std::string &root)
{
    test::WriteFile(root + "\\" + kFolder + "\\" + kFile, "r\xC3\xA9sum\xC3\xA9\r\n");
    test::WriteFile(root + "\\" + kFolder + "\\deep\\b.bin", std::string("\0\1\2", 3));
    test::WriteFile(root + "\\a.txt", "alpha");
    ::CreateDirectoryW(platform::win::FileApiPath(root + "\\empty").c_str(), nullptr);
}
constexpr uint32_t kTreeCrc = 1997729610;

TEST(WindowsFiles, TreeCopyKeepsNamesContentsAndReadOnlyFilesAndRemovalTakesAll)
{
    test::TempDir dir("files");
    const std::string src = dir.path() + "\\src";
    const std::string dst = dir.path() + "\\" + kFolder + " copy";
    MakeTree(src);
    MakeReadOnly(src + "\\a.txt");
    ASSERT_EQ(support::RecursiveFolderCopy(src, dst, 0), 0);
    // A second copy writes over the read-only copy.
    test::WriteFile(src + "\\" + kFolder + "\\" + kFile, "changed");
    ASSERT_EQ(support::RecursiveFolderCopy(src, dst, 0), 0);
    EXPECT_EQ(test::ReadFile(dst + "\\" + kFolder + "\\" + kFile), "changed");
    EXPECT_EQ(test::ReadFile(dst + "\\" + kFolder + "\\deep\\b.bin"), std::string("\0\1\2", 3));
    EXPECT_TRUE(Attributes(dst + "\\a.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(support::DirExist(dst + "\\empty"));
    EXPECT_TRUE(support::FileExist(dst + "\\a.txt"));
    EXPECT_EQ(support::SyncFile(dst + "\\a.txt"), 0) << "read-only files are flushed too";

    // A masked stream copy takes only the matching files of the top folder.
    uint64_t copied = 0;
    const std::string masked = dir.path() + "\\masked";
    ASSERT_EQ(support::CopyFolderByStreamFromUFD(src, masked, "\\*.txt", nullptr, nullptr, &copied, 5, 0), 0);
    EXPECT_EQ(copied, 5u);
    EXPECT_FALSE(support::DirExist(masked + "\\" + kFolder));

    uint32_t removed = 0;
    support::DeleteTree(dst, &removed);
    EXPECT_EQ(removed, 7u); // dst, a.txt, empty, the folder, its file, deep, b.bin
    EXPECT_EQ(Attributes(dst), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(support::EmptyFolderNoFollow(src, &removed), 0);
    EXPECT_EQ(removed, 6u);
    EXPECT_TRUE(support::DirExist(src));
    EXPECT_EQ(support::EmptyFolderNoFollow(src + "\\a.txt"), 0) << "absent";
    test::WriteFile(src + "\\f", "x");
    EXPECT_EQ(support::EmptyFolderNoFollow(src + "\\f"), ENOTDIR);
}

TEST(WindowsFiles, ConfinementRefusesDotDotAndOutsidePaths)
{
    test::TempDir dir("confine");
    const std::string root = dir.path() + "\\" + kFolder;
    ASSERT_EQ(support::CreateConfinedFolders(root, root + "\\a\\b"), 0);
    EXPECT_TRUE(support::DirExist(root + "\\a\\b"));
    EXPECT_EQ(support::CreateConfinedFolders(root, root + "\\a\\..\\..\\escape"), EXDEV);
    EXPECT_EQ(support::CreateConfinedFolders(root, dir.path() + "\\outside"), EXDEV);
    EXPECT_FALSE(support::DirExist(dir.path() + "\\escape"));
    EXPECT_FALSE(support::DirExist(dir.path() + "\\outside"));

    std::string lowerDrive = root;
    lowerDrive[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lowerDrive[0])));
    struct Case {
        std::string path;
        support::Confinement result;
    } cases[] = {
        {root + "\\a\\b\\new\\file.txt", support::Confinement::Inside},
        {"a/b", support::Confinement::Inside},
        {lowerDrive + "\\a", support::Confinement::Inside},
        {root + "\\a\\..\\..\\x", support::Confinement::Outside},
        {"..\\x", support::Confinement::Outside},
        {dir.path() + "\\other", support::Confinement::Outside},
        {"D:\\elsewhere", support::Confinement::Outside},
    };
    for (const Case &c : cases)
        EXPECT_EQ(support::CheckConfinedPath(root, c.path).result, c.result) << c.path;

    test::WriteFile(root + "\\a\\file", "x");
    EXPECT_EQ(support::CheckConfinedPath(root, root + "\\a\\file\\below").result, support::Confinement::NotFolder);
    EXPECT_EQ(support::CreateConfinedFolders(root, root + "\\a\\file\\below"), ENOTDIR);
}

TEST(WindowsFiles, FolderCrcManifestOnDrivePathsMatchesLinux)
{
    test::TempDir dir("crc");
    const std::string folder = dir.path() + "\\" + kFolder;
    MakeTree(folder);
    std::string message;
    ASSERT_EQ(frame::WriteFolderManifest(folder, message), 0) << message;
    EXPECT_EQ(frame::CheckFolder(folder + "\\", message), 0) << message;
    EXPECT_EQ(test::ReadFile(folder + "\\_FS_SWRINFO\\files.info"),
              "/a.txt\t5\r\n/empty\t<DIR>\r\n/" + kFolder + "/deep/b.bin\t3\r\n/" + kFolder + "/" + kFile +
                  "\t10\r\n");
    frame::CFolderCrc crc;
    uint32_t value = 0;
    ASSERT_EQ(crc.ComputeFolderCrc(folder, value, message), 0) << message;
    EXPECT_EQ(value, kTreeCrc);

    test::WriteFile(folder + "\\a.txt", "alphA");
    EXPECT_EQ(frame::CheckFolder(folder, message), 1);
    EXPECT_EQ(crc.ComputeFolderCrc("relative\\folder", value, message), 4);
    EXPECT_EQ(frame::CheckFolder(dir.path() + "\\none", message), 2);
}

// Paths past MAX_PATH take the long form inside the file layer.
TEST(WindowsFiles, ModuleFolderBeyondMaxPathCopiesChecksAndGoes)
{
    test::TempDir dir("long");
    std::string deep = dir.path();
    while (deep.size() < 300)
        deep += "\\folder-of-a-module-" + std::to_string(deep.size());
    const std::string src = deep + "\\src", dst = deep + "\\dst";
    MakeTree(src);
    ASSERT_EQ(support::RecursiveFolderCopy(src, dst, 0), 0);
    EXPECT_EQ(test::ReadFile(dst + "\\" + kFolder + "\\" + kFile), "r\xC3\xA9sum\xC3\xA9\r\n");
    std::string message;
    ASSERT_EQ(frame::WriteFolderManifest(dst, message), 0) << message;
    EXPECT_EQ(frame::CheckFolder(dst, message), 0) << message;
    frame::CFolderCrc crc;
    uint32_t value = 0;
    ASSERT_EQ(crc.ComputeFolderCrc(src, value, message), 0) << message;
    EXPECT_EQ(value, kTreeCrc);
    uint32_t removed = 0;
    EXPECT_EQ(support::RemoveTreeNoFollow(dst + "\\_FS_SWRINFO", &removed), 0);
    support::DeleteTree(dst, &removed);
    EXPECT_FALSE(support::DirExist(dst));
    EXPECT_TRUE(support::DirExist(src));
}

} // namespace
} // namespace halcyon

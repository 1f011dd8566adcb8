// Paths kept inside a root: links below the root are refused, removal never
// follows a link.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "support/files/confined_path.h"
#include "tests/common/test_env.h"

using namespace halcyon;
namespace fs = std::filesystem;

namespace {

bool IsLink(const std::string &p)
{
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

TEST(ConfinedPath, ChecksEveryComponentBelowTheRoot)
{
    test::TempDir dir("confined");
    const std::string root = dir / "root";
    fs::create_directories(root + "/a/b");
    fs::create_directories(dir / "out");
    test::WriteFile(root + "/a/file.txt", "x");
    fs::create_symlink(dir / "out", root + "/a/link");
    fs::create_symlink(root, dir / "rootlink");

    struct Case {
        std::string root, path;
        support::Confinement want;
    } cases[] = {
        {root, root, support::Confinement::Inside},
        {root, root + "/a/b/new/deeper", support::Confinement::Inside},
        {root, "a/b", support::Confinement::Inside},
        {root, root + "/a/file.txt", support::Confinement::Inside},
        {dir / "rootlink", dir / "rootlink/a/b", support::Confinement::Inside}, // the root may be a link
        {root, root + "/a/link", support::Confinement::Link},
        {root, root + "/a/link/sub", support::Confinement::Link},
        {root, root + "/a/file.txt/x", support::Confinement::NotFolder},
        {root, dir / "out", support::Confinement::Outside},
        {root, root + "/a/../../out", support::Confinement::Outside},
        {root, "../out", support::Confinement::Outside},
        {root, root + "x/a", support::Confinement::Outside},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        auto check = support::CheckConfinedPath(c.root, c.path);
        EXPECT_EQ(check.result, c.want);
        if (c.want == support::Confinement::Link) {
            EXPECT_EQ(check.component, root + "/a/link");
        }
    }
}

TEST(ConfinedPath, CreationStopsAtALink)
{
    test::TempDir dir("confined");
    const std::string root = dir / "root";
    fs::create_directories(root);
    fs::create_directories(dir / "out");
    fs::create_symlink(dir / "out", root + "/link");

    EXPECT_EQ(support::CreateConfinedFolders(root, root + "/x/y/z"), 0);
    EXPECT_TRUE(fs::is_directory(root + "/x/y/z"));
    EXPECT_EQ(support::CreateConfinedFolders(root, root + "/link/new"), ELOOP);
    EXPECT_EQ(support::CreateConfinedFolders(root, dir / "elsewhere"), EXDEV);
    EXPECT_FALSE(fs::exists(dir / "out/new"));
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
}

TEST(ConfinedPath, RemovalNeverFollowsALink)
{
    test::TempDir dir("confined");
    const std::string out = dir / "out";
    fs::create_directories(out + "/sub");
    test::WriteFile(out + "/canary.txt", "canary");
    const std::string tree = dir / "tree";
    fs::create_directories(tree + "/a/ro");
    test::WriteFile(tree + "/a/ro/f", "f");
    fs::permissions(tree + "/a/ro", fs::perms::owner_read | fs::perms::owner_exec);
    fs::create_symlink(out, tree + "/a/link");
    fs::create_symlink(out + "/canary.txt", tree + "/filelink");
    fs::create_symlink(out, dir / "toplink");

    // A folder given as a link is not emptied.
    EXPECT_EQ(support::EmptyFolderNoFollow(dir / "toplink"), ELOOP);
    EXPECT_EQ(support::EmptyFolderNoFollow(tree + "/filelink"), ELOOP);

    uint32_t removed = 0;
    EXPECT_EQ(support::EmptyFolderNoFollow(tree, &removed), 0);
    EXPECT_TRUE(fs::is_directory(tree));
    EXPECT_TRUE(fs::is_empty(tree));
    EXPECT_EQ(removed, 5u); // a, a/ro, a/ro/f, a/link, filelink

    EXPECT_EQ(support::RemoveTreeNoFollow(dir / "toplink"), 0); // the link itself goes
    EXPECT_FALSE(IsLink(dir / "toplink"));
    EXPECT_EQ(support::RemoveTreeNoFollow(tree), 0);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ(support::RemoveTreeNoFollow(tree), 0); // already gone
    EXPECT_EQ(test::ReadFile(out + "/canary.txt"), "canary");
    EXPECT_TRUE(fs::is_directory(out + "/sub"));
}

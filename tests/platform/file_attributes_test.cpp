// Windows file attributes kept on POSIX files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/file_attributes.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using namespace halcyon::platform;

TEST(FileAttributesTest, RoundTripAndNormalClearsEverything)
{
    test::TempDir dir("attrs");
    const std::string file = dir / "image.wim";
    test::WriteFile(file, "x");
    EXPECT_EQ(GetFileAttributes(file), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributes(dir / "missing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(SetFileAttributes(dir / "missing", FILE_ATTRIBUTE_HIDDEN));

    ASSERT_TRUE(SetFileAttributes(file, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributes(file), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    struct stat st{};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u); // read-only is the write permission

    // Setting HIDDEN alone clears read-only, as on Windows.
    ASSERT_TRUE(SetFileAttributes(file, FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributes(file), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(SetFileAttributes(file, FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributes(file), FILE_ATTRIBUTE_NORMAL);
    // Clearing an attribute that was never stored is fine.
    EXPECT_TRUE(SetFileAttributes(file, FILE_ATTRIBUTE_NORMAL));

    EXPECT_EQ(GetFileAttributes(dir.path()), FILE_ATTRIBUTE_DIRECTORY);
}

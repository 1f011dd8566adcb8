// CFile64: positions, lengths and locks beyond 4 GiB, on sparse files.
#include <gtest/gtest.h>

#include <string>

#include "engine/frame/file64.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using frame::CFile64;
using frame::CFileException;

namespace {

constexpr uint64_t GiB = 1ull << 30;

class File64Test : public ::testing::Test {
protected:
    test::TempDir dir_{"file64"};
    std::string path_ = dir_ / "big.bin";
};

TEST_F(File64Test, SeeksAndSizesBeyondFourGiB)
{
    CFile64 file(path_, CFile64::modeCreate | CFile64::modeReadWrite);
    file.SetLength(6 * GiB);
    EXPECT_EQ(file.GetLength(), 6 * GiB);
    EXPECT_EQ(file.GetPosition(), 6 * GiB) << "SetLength leaves the pointer at the new end";

    EXPECT_EQ(file.Seek(static_cast<int64_t>(5 * GiB), CFile64::begin), 5 * GiB);
    const uint64_t lowAllOnes = 0x1FFFFFFFFull;
    EXPECT_EQ(file.Seek(static_cast<int64_t>(lowAllOnes), CFile64::begin), lowAllOnes);
    EXPECT_EQ(file.Seek(1, CFile64::current), lowAllOnes + 1);
    EXPECT_EQ(file.Seek(-1, CFile64::end), 6 * GiB - 1);
    EXPECT_EQ(file.SeekToEnd(), 6 * GiB);

    file.Seek(static_cast<int64_t>(lowAllOnes), CFile64::begin);
    file.Write("xyz", 3);
    file.Seek(static_cast<int64_t>(lowAllOnes), CFile64::begin);
    char back[4] = {};
    EXPECT_EQ(file.Read(back, 3), 3u);
    EXPECT_STREQ(back, "xyz");

    file.SetLength(GiB / 2);
    EXPECT_EQ(file.GetLength(), GiB / 2);
    file.Seek(0, CFile64::end);
    EXPECT_EQ(file.Read(back, 3), 0u) << "nothing after the end";
    file.Close();
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(File64Test, FailuresRaiseFileExceptions)
{
    CFile64 file;
    CFileException error(CFileException::none, 0, "");
    EXPECT_FALSE(file.Open(dir_ / "missing", CFile64::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_strFileName, dir_ / "missing");
    EXPECT_FALSE(file.Open(dir_.path(), CFile64::modeRead, &error)) << "a folder is no file";
    EXPECT_THROW(CFile64(dir_ / "missing", CFile64::modeRead), CFileException);
    EXPECT_THROW(file.Seek(0, CFile64::begin), CFileException) << "not open";

    ASSERT_TRUE(file.Open(path_, CFile64::modeCreate | CFile64::modeReadWrite));
    try {
        file.Seek(-1, CFile64::begin);
        ADD_FAILURE() << "seek before the start";
    } catch (const CFileException &e) {
        EXPECT_EQ(e.m_cause, CFileException::badSeek);
        EXPECT_EQ(e.m_strFileName, path_);
    }
    EXPECT_THROW(file.SetFilePath(nullptr), CFileException);
    file.SetFilePath("renamed");
    EXPECT_EQ(file.GetFilePath(), "renamed");
    EXPECT_THROW(file.SetLength(~0ull), CFileException);
}

TEST_F(File64Test, LockedRangesAboveFourGiBExcludeOtherHandles)
{
    CFile64 a(path_, CFile64::modeCreate | CFile64::modeReadWrite);
    a.SetLength(6 * GiB);
    CFile64 b(path_, CFile64::modeReadWrite | CFile64::shareDenyNone);

    a.LockRange(5 * GiB, GiB / 2);
    try {
        b.LockRange(5 * GiB + 100, 10);
        ADD_FAILURE() << "overlapping lock granted";
    } catch (const CFileException &e) {
        EXPECT_EQ(e.m_cause, CFileException::lockViolation);
    }
    // The same low halves in the first 4 GiB are another range.
    b.LockRange(GiB, GiB / 2);
    b.UnlockRange(GiB, GiB / 2);

    a.UnlockRange(5 * GiB, GiB / 2);
    b.LockRange(5 * GiB + 100, 10);
    b.UnlockRange(5 * GiB + 100, 10);
    EXPECT_THROW(a.LockRange(~0ull - 5, 10), CFileException) << "range past the largest position";
}

} // namespace

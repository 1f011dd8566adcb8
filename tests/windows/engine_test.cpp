// The engine's file layer on the Windows services: the read-write host file,
// CFile64 and the INI store on names beyond ASCII, the UTF-8/UTF-16 boundary
// of wimlib, and registry batches.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/frame/file64.h"
#include "platform/folder_list.h"
#include "platform/host_file.h"
#include "platform/host_file_rw.h"
#include "platform/registry.h"
#include "support/ini/ini_store.h"
#include "support/wim/wim_tchar.h"
#include "tests/common/test_env.h"

using namespace halcyon;
using platform::FileAccess;
using platform::FileCreation;
using platform::HostFile;

namespace {

std::string ReadBack(HostFile &file, uint64_t at, size_t count)
{
    std::string out(count, '\0');
    size_t got = 0;
    EXPECT_EQ(file.ReadAt(at, out.data(), count, &got), 0);
    out.resize(got);
    return out;
}

TEST(WindowsHostFile, CreatesWritesAndReadsAtOffsetsKeepingThePosition)
{
    test::TempDir dir("hostfile");
    const std::string path = dir / "data.bin";
    HostFile file;
    ASSERT_EQ(file.Open(path, FileAccess::ReadWrite, FileCreation::CreateNew), 0);
    HostFile again;
    EXPECT_EQ(again.Open(path, FileAccess::Read, FileCreation::CreateNew), EEXIST);
    EXPECT_EQ(again.Open(dir / "absent", FileAccess::Read, FileCreation::OpenExisting), ENOENT);
    EXPECT_EQ(again.Open(dir.path(), FileAccess::Read, FileCreation::OpenExisting), EISDIR);

    ASSERT_EQ(file.Write("abcdef", 6), 0);
    ASSERT_EQ(file.WriteAt(10, "XY", 2), 0);
    uint64_t position = 0, size = 0;
    ASSERT_EQ(file.Seek(0, platform::SeekFrom::Current, &position), 0);
    EXPECT_EQ(position, 6u) << "a positioned write leaves the position alone";
    EXPECT_EQ(ReadBack(file, 2, 3), "cde");
    EXPECT_EQ(ReadBack(file, 12, 4), "") << "past the end reads nothing";
    ASSERT_EQ(file.Size(&size), 0);
    EXPECT_EQ(size, 12u);
    ASSERT_EQ(file.SetSize(4), 0);
    ASSERT_EQ(file.Size(&size), 0);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(file.Flush(), 0);
    EXPECT_EQ(file.Close(), 0);
    EXPECT_EQ(platform::StatHostPath(path)->size, 4u);
}

TEST(WindowsHostFile, RangeLocksExcludeOtherHandlesUntilUnlocked)
{
    test::TempDir dir("hostlock");
    const std::string path = dir / "owner.lock";
    HostFile first, second;
    ASSERT_EQ(first.Open(path, FileAccess::ReadWrite, FileCreation::OpenOrCreate), 0);
    ASSERT_EQ(second.Open(path, FileAccess::ReadWrite, FileCreation::OpenExisting), 0);
    const uint64_t far = uint64_t{1} << 40;
    ASSERT_EQ(first.LockRange(far, 1, true), 0);
    EXPECT_EQ(second.LockRange(far, 1, true), EAGAIN);
    EXPECT_EQ(second.LockRange(0, 1, true), 0) << "other ranges stay free";
    ASSERT_EQ(first.UnlockRange(far, 1), 0);
    EXPECT_EQ(second.LockRange(far, 1, true), 0);
}

TEST(WindowsHostFile, AppendsReplacesAndRemoves)
{
    test::TempDir dir("hostreplace");
    const std::string target = dir / "target.txt", temp = dir / "target.tmp";
    HostFile a, b;
    ASSERT_EQ(a.Open(target, FileAccess::Append, FileCreation::OpenOrCreate), 0);
    ASSERT_EQ(b.Open(target, FileAccess::Append, FileCreation::OpenOrCreate), 0);
    ASSERT_EQ(a.Write("one\n", 4), 0);
    ASSERT_EQ(b.Write("two\n", 4), 0) << "each append lands at the end, not over the other's";
    a.Close();
    b.Close();
    EXPECT_EQ(test::ReadFile(target), "one\ntwo\n");

    HostFile t;
    ASSERT_EQ(t.Open(temp, FileAccess::Write, FileCreation::CreateOrTruncate), 0);
    ASSERT_EQ(t.Write("new", 3), 0);
    ASSERT_EQ(t.Close(), 0);
    ASSERT_EQ(platform::ReplaceHostFile(temp, target, true), 0);
    EXPECT_EQ(test::ReadFile(target), "new");
    EXPECT_FALSE(platform::StatHostPath(temp));
    EXPECT_EQ(platform::FlushHostFolder(dir.path()), 0);
    EXPECT_EQ(platform::RemoveHostFile(target), 0);
    EXPECT_EQ(platform::RemoveHostFile(target), 0) << "an absent file is removed already";
    EXPECT_NE(platform::ReplaceHostFile(temp, target, false), 0);
}

TEST(WindowsFile64, OpensNamesBeyondAscii)
{
    test::TempDir dir("file64");
    const std::string path = dir / "\xC3\x9C" "bersicht-\xE6\x97\xA5\xE6\x9C\xAC.bin"; // Übersicht-日本
    {
        frame::CFile64 out(path, frame::CFile64::modeCreate | frame::CFile64::modeWrite);
        out.Write("payload", 7);
        out.Close();
    }
    frame::CFile64 in(path, frame::CFile64::modeRead);
    char buf[8] = {};
    EXPECT_EQ(in.Read(buf, sizeof buf), 7u);
    EXPECT_STREQ(buf, "payload");
    frame::CFileException error(frame::CFileException::none, 0, "");
    frame::CFile64 missing;
    EXPECT_FALSE(missing.Open(dir / "absent-\xC3\xA9.bin", frame::CFile64::modeRead, &error));
    EXPECT_EQ(error.m_cause, frame::CFileException::fileNotFound);
}

TEST(WindowsIniStore, SavesAndLoadsBackUnderANonAsciiName)
{
    test::TempDir dir("inistore");
    const std::string path = dir / "plan-\xC3\xA9t\xC3\xA9.ini"; // plan-été
    support::CMemoryIniIO out;
    ASSERT_TRUE(out.WriteString("Module1", "Label", "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"));
    ASSERT_TRUE(out.WriteString("Module1", "Number", "7"));
    ASSERT_TRUE(out.SaveToFile(path));
    ASSERT_TRUE(out.SaveToFile(path)) << "a second save replaces the first";
    support::CMemoryIniIO in;
    ASSERT_TRUE(in.LoadFile(path));
    EXPECT_EQ(in.GetString("Module1", "Label", ""), "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(in.GetString("Module1", "Number", ""), "7");
    std::vector<platform::FolderEntry> entries;
    ASSERT_EQ(platform::ListFolder(dir.path(), entries), 0);
    EXPECT_EQ(entries.size(), 1u) << "no temporary file stays behind";
}

TEST(WindowsWimText, CrossesTheWimlibBoundaryAsUtf16)
{
    const std::string utf8 = "C:\\Bilder\\\xC3\x84-\xF0\x9F\x99\x82.wim"; // Ä and a character beyond the BMP
    const support::wim::WimString wide = support::wim::ToWimText(utf8);
    EXPECT_EQ(wide, L"C:\\Bilder\\\u00C4-\U0001F642.wim");
    EXPECT_EQ(support::wim::FromWimText(wide.c_str()), utf8);
    EXPECT_EQ(support::wim::FromWimText(nullptr), "");
    const support::wim::WimTextList list({"a", utf8});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(support::wim::WimString(list.data()[1]), wide);
}

TEST(WindowsRegBatch, ChangesApplyInOrderAndNestedBatchesCommit)
{
    namespace reg = platform::reg;
    const std::string key = "Software\\HalcyonBatch";
    {
        reg::RegBatch outer;
        ASSERT_EQ(outer.status(), reg::ERROR_SUCCESS);
        ASSERT_EQ(reg::SetString(reg::HKEY_CURRENT_USER, key, "Values", "written"), 0);
        {
            reg::RegBatch inner;
            ASSERT_EQ(reg::SetString(reg::HKEY_CURRENT_USER, key, "Marker", "last"), 0);
            EXPECT_EQ(inner.Commit(), reg::ERROR_SUCCESS);
        }
        std::string value;
        ASSERT_EQ(reg::GetString(reg::HKEY_CURRENT_USER, key, "Marker", &value), 0);
        EXPECT_EQ(value, "last");
        EXPECT_EQ(outer.Commit(), reg::ERROR_SUCCESS);
    }
    {
        reg::RegBatch abandoned; // no rollback: changes stand as made
        ASSERT_EQ(reg::SetString(reg::HKEY_CURRENT_USER, key, "Values", "again"), 0);
    }
    std::string value;
    ASSERT_EQ(reg::GetString(reg::HKEY_CURRENT_USER, key, "Values", &value), 0);
    EXPECT_EQ(value, "again");
    EXPECT_EQ(reg::RegDeleteTree(reg::HKEY_CURRENT_USER, key), 0);
}

} // namespace

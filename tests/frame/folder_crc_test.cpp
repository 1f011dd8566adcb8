// Folder CRC manifests: listing order, the file table byte for byte, the
// CRC against an independent bitwise CRC-32, and the results of the check.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/frame/crc32_wide.h"
#include "engine/frame/folder_crc.h"
#include "tests/common/test_env.h"

namespace fs = std::filesystem;
using namespace halcyon;

namespace {

// CRC-32 (reflected 0xEDB88320, inverted in and out), one bit at a time.
uint32_t BitwiseCrc32(const std::string &data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

struct Expected {
    std::string name; // relative, starting with "/"; ASCII
    bool folder = false;
    std::string contents;
};

void Le(std::string &out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// The checked stream for entries given in their expected order.
std::string Stream(const std::vector<Expected> &entries)
{
    uint64_t tableLength = 4;
    for (const auto &e : entries)
        tableLength += 20 + 2 * e.name.size();
    std::string table;
    Le(table, tableLength, 4);
    uint64_t offset = tableLength;
    std::string contents;
    for (const auto &e : entries) {
        Le(table, 20 + 2 * e.name.size(), 2);
        if (e.folder) {
            Le(table, ~uint64_t{0}, 8);
            Le(table, 0, 8);
        } else {
            Le(table, offset, 8);
            Le(table, e.contents.size(), 8);
            offset += e.contents.size();
            contents += e.contents;
        }
        table += "\xFE\xFF";
        for (char c : e.name) {
            table.push_back('\0');
            table.push_back(c);
        }
    }
    return table + contents;
}

std::string CrcInfo(uint32_t crc)
{
    std::string s = "HDR!";
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<char>((crc >> shift) & 0xFF));
    return s + "ZZ";
}

class FolderCrcTest : public ::testing::Test {
protected:
    std::string Folder(const std::string &name = "module")
    {
        const std::string path = dir_ / name;
        fs::create_directories(path + "/_FS_SWRINFO");
        test::WriteFile(path + "/_FS_SWRINFO/files.info", "listing");
        return path;
    }
    static void Store(const std::string &folder, uint32_t crc)
    {
        test::WriteFile(folder + "/_FS_SWRINFO/crc.info", CrcInfo(crc));
    }
    int32_t Check(const std::string &folder, std::string *message = nullptr)
    {
        std::string m = "unchanged";
        testing::internal::CaptureStdout();
        const int32_t r = frame::CheckFolder(folder, m);
        output_ = testing::internal::GetCapturedStdout();
        if (message)
            *message = m;
        return r;
    }

    test::TempDir dir_{"foldercrc"};
    std::string output_;
};

TEST_F(FolderCrcTest, KnownAnswerWithOrderEmptyFoldersAndZeroLengthFiles)
{
    const std::string f = Folder();
    test::WriteFile(f + "/a", "small a\n");
    test::WriteFile(f + "/B", "capital B");
    test::WriteFile(f + "/zero", "");
    test::WriteFile(f + "/sub/x.txt", "inside sub");
    test::WriteFile(f + "/sub-file", "dash sorts before slash");
    fs::create_directories(f + "/emptydir");
    fs::create_directories(f + "/sub/inner");
    // The listing order: code units, with "/" (0x2F) after "-" (0x2D).
    const std::vector<Expected> expected = {
        {"/B", false, "capital B"},
        {"/a", false, "small a\n"},
        {"/emptydir", true, ""},
        {"/sub-file", false, "dash sorts before slash"},
        {"/sub/inner", true, ""},
        {"/sub/x.txt", false, "inside sub"},
        {"/zero", false, ""},
    };
    const std::string stream = Stream(expected);
    const uint32_t crc = BitwiseCrc32(stream);
    Store(f, crc);

    std::string message;
    EXPECT_EQ(Check(f, &message), 0) << message;
    EXPECT_EQ(message, "unchanged");
    EXPECT_EQ(output_, "Calculated CRC: " + std::to_string(crc) + "l\nOriginal CRC: " + std::to_string(crc) + "l\n");

    frame::CFolderCrc check;
    uint32_t computed = 0;
    ASSERT_EQ(check.ComputeFolderCrc(f, computed, message), 0);
    const std::string table(check.Table().begin(), check.Table().end());
    EXPECT_EQ(table, stream.substr(0, table.size())) << "table byte for byte";
    ASSERT_EQ(check.Entries().size(), expected.size());
    EXPECT_FALSE(check.Entries()[2].IsFile());
    EXPECT_EQ(check.Entries()[2].secondValue, ~uint64_t{0});
    EXPECT_EQ(check.Entries()[0].nameStart, static_cast<int32_t>(f.size()));
    EXPECT_EQ(check.Entries()[0].recordLength, 24);
    // The zero-length file's offset equals where the next file would start:
    // the end of the stream.
    const size_t zeroRecord = table.size() - (20 + 2 * 5);
    uint64_t zeroOffset = 0;
    for (int i = 7; i >= 0; --i)
        zeroOffset = (zeroOffset << 8) | static_cast<unsigned char>(table[zeroRecord + 2 + i]);
    EXPECT_EQ(zeroOffset, stream.size());

    // A changed byte is noticed.
    test::WriteFile(f + "/sub/x.txt", "inside suB");
    EXPECT_EQ(Check(f, &message), 1);
    EXPECT_EQ(message, "CRC Value is not same.");
}

TEST_F(FolderCrcTest, LargeFilesCrossTheReadAndStagingBlocks)
{
    const std::string f = Folder();
    std::string big(5 * 1048576 + 3, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 131) ^ (i >> 9));
    test::WriteFile(f + "/big.bin", big);
    test::WriteFile(f + "/small.txt", std::string(1048575, 's'));
    Store(f, BitwiseCrc32(Stream({{"/big.bin", false, big}, {"/small.txt", false, std::string(1048575, 's')}})));
    EXPECT_EQ(Check(f), 0);
}

TEST(Crc32, WideFoldingGivesTheBitwiseCrcAtEverySizeAndSplit)
{
    // Sizes around the folded path's step (512 bytes), its half step and its
    // threshold (1 KiB), continued from a CRC taken part way, at odd offsets.
    std::string data(70000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (const size_t size : {size_t{0}, size_t{1}, size_t{255}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{1279},
                              size_t{1280}, size_t{4113}, size_t{65791}, size_t{69999}}) {
        for (const size_t split : {size_t{0}, size_t{3}, size_t{1024}}) {
            const std::string_view all = std::string_view(data).substr(1, size);
            const size_t at = std::min(split, all.size());
            const uint32_t head = frame::Crc32(0, all.data(), at);
            EXPECT_EQ(frame::Crc32(head, all.data() + at, all.size() - at), BitwiseCrc32(std::string(all)))
                << size << " split at " << split;
        }
    }
}

TEST_F(FolderCrcTest, StoredCrcIsReadMostSignificantByteFirst)
{
    const std::string f = Folder();
    test::WriteFile(f + "/file", "x");
    test::WriteFile(f + "/_FS_SWRINFO/crc.info", std::string("\0\0\0\0\x12\x34\x56\x78\0\0", 10));
    std::string message;
    EXPECT_EQ(Check(f, &message), 1);
    EXPECT_NE(output_.find("Original CRC: 305419896l\n"), std::string::npos) << output_;
}

TEST_F(FolderCrcTest, PathFormsGiveTheSameNames)
{
    const std::string f = Folder();
    test::WriteFile(f + "/file", "x");
    Store(f, BitwiseCrc32(Stream({{"/file", false, "x"}})));
    EXPECT_EQ(Check(f), 0);
    EXPECT_EQ(Check(f + "\\"), 0) << "trailing backslash";
    EXPECT_EQ(Check(f + "//"), 0);

    // Forms the listing does not reproduce fail before any table is built.
    std::string message;
    const std::string cwd = fs::current_path().string();
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    EXPECT_EQ(Check("module", &message), 4);
    EXPECT_EQ(message, "The path module exist error! It is not a full path");
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    EXPECT_EQ(Check(dir_.path() + "/./module", &message), 4);
    EXPECT_EQ(Check(dir_.path() + "/module/../module", &message), 4);
    EXPECT_EQ(output_, "") << "nothing printed";
}

TEST_F(FolderCrcTest, ManifestAndListingFailures)
{
    std::string message;
    EXPECT_EQ(Check("", &message), 4);
    EXPECT_EQ(message, "The path  exist error! It is empty path");

    const std::string bare = dir_ / "bare";
    fs::create_directories(bare);
    test::WriteFile(bare + "/file", "x");
    EXPECT_EQ(Check(bare, &message), 2);
    EXPECT_EQ(message, "The path " + bare +
                           " exist error! Don't find '_FS_SWRINFO', 'crc.info' or 'files.info'.");

    const std::string f = Folder();
    EXPECT_EQ(Check(f, &message), 2) << "crc.info missing";
    Store(f, 0);
    EXPECT_EQ(Check(f, &message), 3) << "only the manifest";
    EXPECT_EQ(message, "The path " + f + " exist error! Don't find other file, except that it is _FS_SWRINFO.");

    fs::remove(f + "/_FS_SWRINFO/files.info");
    test::WriteFile(f + "/file", "x");
    EXPECT_EQ(Check(f, &message), 2) << "files.info missing";
    test::WriteFile(f + "/_FS_SWRINFO/files.info", "");

    // A crc.info too short to hold a CRC.
    test::WriteFile(f + "/_FS_SWRINFO/crc.info", "\0\0\0\0\x12");
    EXPECT_EQ(Check(f, &message), 2);
    EXPECT_EQ(message, "Can not open file.");
    EXPECT_EQ(output_, "");

    // A listed file that cannot be opened.
    Store(f, 0);
    fs::create_symlink(dir_ / "nowhere", f + "/dangling");
    EXPECT_EQ(Check(f, &message), 3);
    EXPECT_EQ(message, "Can not open file.");
    fs::remove(f + "/dangling");
    // A pipe is no file to read: refused at once, never waited on.
    ASSERT_EQ(::mkfifo((f + "/pipe").c_str(), 0600), 0);
    EXPECT_EQ(Check(f, &message), 3);
    EXPECT_EQ(message, "Can not open file.");
    fs::remove(f + "/pipe");

    // A manifest folder deeper down is excluded as well and makes its folder
    // count as not empty.
    fs::create_directories(f + "/deep/_FS_SWRINFO");
    Store(f, BitwiseCrc32(Stream({{"/file", false, "x"}})));
    EXPECT_EQ(Check(f, &message), 0) << message;
}

TEST_F(FolderCrcTest, ManifestWriterMakesAFreshFolderPass)
{
    const std::string f = dir_ / "fresh";
    test::WriteFile(f + "/setup.exe", "MZ...");
    test::WriteFile(f + "/data/one.bin", std::string(70000, '1'));
    fs::create_directories(f + "/logs");
    std::string message;
    ASSERT_EQ(frame::WriteFolderManifest(f, message), 0) << message;
    EXPECT_EQ(Check(f, &message), 0) << message;

    const std::string info = test::ReadFile(f + "/_FS_SWRINFO/crc.info");
    ASSERT_EQ(info.size(), 10u);
    const uint32_t crc = BitwiseCrc32(Stream({{"/data/one.bin", false, std::string(70000, '1')},
                                              {"/logs", true, ""},
                                              {"/setup.exe", false, "MZ..."}}));
    EXPECT_EQ(info, std::string(4, '\0') + CrcInfo(crc).substr(4, 4) + std::string(2, '\0'));
    EXPECT_EQ(test::ReadFile(f + "/_FS_SWRINFO/files.info"), "/data/one.bin\t70000\r\n/logs\t<DIR>\r\n/setup.exe\t5\r\n");

    // Rewriting after a change makes it pass again.
    test::WriteFile(f + "/setup.exe", "MZ!!!");
    EXPECT_EQ(Check(f), 1);
    ASSERT_EQ(frame::WriteFolderManifest(f, message), 0);
    EXPECT_EQ(Check(f), 0);

    const std::string empty = dir_ / "empty";
    fs::create_directories(empty);
    EXPECT_EQ(frame::WriteFolderManifest(empty, message), 3);
    EXPECT_FALSE(fs::exists(empty + "/_FS_SWRINFO"));
}

TEST_F(FolderCrcTest, NonAsciiNamesAreBigEndianUtf16)
{
    const std::string f = Folder();
    test::WriteFile(f + "/\xC3\xA9t\xC3\xA9", "e"); // "été"
    frame::CFolderCrc check;
    uint32_t crc = 0;
    std::string message;
    ASSERT_EQ(check.ComputeFolderCrc(f, crc, message), 0);
    const std::string table(check.Table().begin(), check.Table().end());
    EXPECT_EQ(table.substr(4 + 18), std::string("\xFE\xFF\x00/\x00\xE9\x00t\x00\xE9", 10));
    EXPECT_EQ(check.Entries()[0].recordLength, 28);
}

} // namespace

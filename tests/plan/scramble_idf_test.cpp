// ScrambleIdf: both directions, the direction checks, and the files it
// leaves behind on every outcome.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "halcyon/HalcyonDLL.h"
#include "tests/common/idf_fixture.h"

using namespace halcyon;
using test::ReadFile;
using test::WriteFile;

namespace {

constexpr uint64_t kScramble = 0x40000;

bool Exists(const std::string &path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

std::set<std::string> Names(const std::string &dir)
{
    std::set<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

std::string Xor(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(c ^ 0x5C);
    return s;
}

class ScrambleIdfTest : public ::testing::Test {
protected:
    test::MachineScope machine_;
    test::TempDir dir_{"scramble"};
    std::string plain_ = dir_ / "plain.xml";
    std::string text_ = test::IdfText(test::ReleaseXml("1", "A"));
};

TEST_F(ScrambleIdfTest, RoundTripGivesBackTheInput)
{
    WriteFile(plain_, text_);
    const std::string scrambled = dir_ / "scrambled.idf", back = dir_ / "back.xml";
    ASSERT_EQ(0, ScrambleIdf(plain_.c_str(), scrambled.c_str(), kScramble));
    EXPECT_EQ(Xor(text_), ReadFile(scrambled));
    ASSERT_EQ(0, ScrambleIdf(scrambled.c_str(), back.c_str(), 0));
    EXPECT_EQ(text_, ReadFile(back));
    EXPECT_EQ(text_, ReadFile(plain_));
    // Only the three files: no working copies left over.
    EXPECT_EQ((std::set<std::string>{"plain.xml", "scrambled.idf", "back.xml"}), Names(dir_.path()));
}

TEST_F(ScrambleIdfTest, WrongDirectionOrBadInputWritesNothing)
{
    WriteFile(plain_, text_);
    const std::string scrambled = dir_ / "s.idf";
    WriteFile(scrambled, Xor(text_));
    const std::string bomFirst = dir_ / "bom.xml";
    WriteFile(bomFirst, Xor("\xEF\xBB\xBF" + text_));
    WriteFile(dir_ / "empty.xml", "");
    ASSERT_EQ(0, ::mkfifo((dir_ / "fifo").c_str(), 0600));
    struct Case {
        const char *name;
        std::string in;
        uint64_t options;
        int32_t code;
    } cases[] = {
        {"scrambling a scrambled IDF", scrambled, kScramble, 78},
        {"unscrambling a plain IDF", plain_, 0, 79},
        {"byte-order mark before the declaration", bomFirst, 0, 79},
        {"empty input", dir_ / "empty.xml", kScramble, 82},
        {"missing input", dir_ / "none.xml", kScramble, 81},
        {"folder as input", dir_.path(), kScramble, 81},
        {"FIFO as input", dir_ / "fifo", kScramble, 81},
        {"empty input path", "", kScramble, 81},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir_ / "out.xml";
        EXPECT_EQ(c.code, ScrambleIdf(c.in.c_str(), out.c_str(), c.options));
        EXPECT_FALSE(Exists(out));
    }
    EXPECT_EQ(text_, ReadFile(plain_));
    EXPECT_EQ(Xor(text_), ReadFile(scrambled));
}

TEST_F(ScrambleIdfTest, OutputReplacedWholeButNeverTheInput)
{
    WriteFile(plain_, text_);
    const std::string out = dir_ / "out.idf";
    WriteFile(out, std::string(10000, 'q')); // longer than the result
    ASSERT_EQ(0, ScrambleIdf(plain_.c_str(), out.c_str(), kScramble));
    EXPECT_EQ(Xor(text_), ReadFile(out));

    // The input as output, by its own name, another spelling or a hard link.
    const std::string link = dir_ / "link.xml";
    const std::string symlink = dir_ / "symlink.xml";
    ASSERT_EQ(0, ::link(plain_.c_str(), link.c_str()));
    ASSERT_EQ(0, ::symlink(plain_.c_str(), symlink.c_str()));
    for (const std::string &same : {plain_, dir_.path() + "/./plain.xml", link, symlink}) {
        SCOPED_TRACE(same);
        EXPECT_EQ(80, ScrambleIdf(plain_.c_str(), same.c_str(), kScramble));
        EXPECT_EQ(text_, ReadFile(plain_));
    }

    // An output that cannot be written: missing folder, or a folder.
    EXPECT_EQ(80, ScrambleIdf(plain_.c_str(), (dir_ / "no/such/out.idf").c_str(), kScramble));
    ASSERT_EQ(0, ::mkdir((dir_ / "sub").c_str(), 0755));
    EXPECT_EQ(80, ScrambleIdf(plain_.c_str(), (dir_ / "sub").c_str(), kScramble));
    EXPECT_EQ(80, ScrambleIdf(plain_.c_str(), "", kScramble));
    EXPECT_EQ((std::set<std::string>{"plain.xml", "out.idf", "link.xml", "symlink.xml", "sub"}), Names(dir_.path()));

    // An output name as long as a name may be.
    const std::string longName = dir_ / std::string(255, 'n');
    EXPECT_EQ(0, ScrambleIdf(plain_.c_str(), longName.c_str(), kScramble));
    EXPECT_EQ(Xor(text_), ReadFile(longName));
}

} // namespace

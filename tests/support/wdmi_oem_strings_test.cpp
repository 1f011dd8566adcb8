// SMBIOS OEM strings as the machine identity's fallback.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/wdmi/oem_strings.h"
#include "tests/common/test_env.h"

using namespace halcyon::support;

namespace {

std::string Structure(uint8_t type, uint8_t length, uint8_t count, std::string_view strings)
{
    std::string raw{static_cast<char>(type), static_cast<char>(length), '\x10', '\x00', static_cast<char>(count)};
    raw.resize(length, '\0');
    raw.append(strings);
    return raw;
}

} // namespace

TEST(OemStrings, ParsesTheStringSetOfTypeEleven)
{
    using namespace std::string_literals;
    EXPECT_EQ(ParseOemStrings(Structure(11, 5, 2, "RMID:R123\0BLID:B9\0\0"s)),
              (std::vector<std::string>{"RMID:R123", "BLID:B9"}));
    // The count limits the strings read; a missing terminator ends them.
    EXPECT_EQ(ParseOemStrings(Structure(11, 5, 1, "one\0two\0\0"s)), (std::vector<std::string>{"one"}));
    EXPECT_EQ(ParseOemStrings(Structure(11, 5, 3, "one\0unterminated"s)), (std::vector<std::string>{"one"}));
    // Anything else is no OEM string structure.
    EXPECT_TRUE(ParseOemStrings(Structure(1, 5, 1, "x\0\0"s)).empty());
    EXPECT_TRUE(ParseOemStrings(Structure(11, 4, 1, "x\0\0"s)).empty());
    EXPECT_TRUE(ParseOemStrings("\x0b\xff\x00\x00\x01"s).empty()); // length past the end
    EXPECT_TRUE(ParseOemStrings("").empty());
}

TEST(OemStrings, ReadsTheFirstReadableEntry)
{
    using namespace std::string_literals;
    halcyon::test::TempDir dir("dmi");
    EXPECT_TRUE(ReadOemStrings(dir / "absent").empty());
    std::filesystem::create_directories(dir / "11-0");
    std::filesystem::create_directories(dir / "11-1");
    halcyon::test::WriteFile(dir / "11-0/raw", "garbage");
    halcyon::test::WriteFile(dir / "11-1/raw", Structure(11, 5, 1, "RMID=X1\0\0"s));
    halcyon::test::WriteFile(dir / "1-0", "not a folder");
    EXPECT_EQ(ReadOemStrings(dir.path()), (std::vector<std::string>{"RMID=X1"}));
}

// Text rules, the output buffer and the date parser of the version probes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "verprobe/date_parser.h"
#include "verprobe/output_buffer.h"
#include "verprobe/text_rules.h"

using namespace halcyon::verprobe;

TEST(TextRules, StripsKeepOneCharacter)
{
    EXPECT_EQ(StripLeading("  (v1.2)"), "v1.2)");
    EXPECT_EQ(StripTrailing("v1.2)  "), "v1.2");
    EXPECT_EQ(StripLeading("..."), ".");
    EXPECT_EQ(StripTrailing("..."), ".");
    EXPECT_EQ(StripLeading(""), "");
    EXPECT_EQ(StripLeadingZeros("000"), "0");
    EXPECT_EQ(StripLeadingZeros("0010"), "10");
    EXPECT_EQ(StripTrailingZeros("1.200"), "1.2");
    EXPECT_EQ(StripTrailingZeros("000"), "0");
    EXPECT_EQ(StripLeadingZerosOfNumber("0.5"), "0.5");
    EXPECT_EQ(StripLeadingZerosOfNumber("007.1"), "7.1");
}

TEST(TextRules, TrailingDotZeroStopsBelowFourCharacters)
{
    EXPECT_EQ(StripTrailingDotZero("1.2.0.0"), "1.2");
    EXPECT_EQ(StripTrailingDotZero("1.0"), "1.0");
    EXPECT_EQ(StripTrailingDotZero("10.0"), "10");
    EXPECT_EQ(StripTrailingDotZero("1.2.10"), "1.2.10");
}

TEST(TextRules, NonAsciiLettersCountAsLettersAndAreNeverSplit)
{
    // "©" is no letter, "é" is one; each is two bytes.
    EXPECT_EQ(StripLeading("\xC2\xA9" "caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(StripTrailing("caf\xC3\xA9\xC2\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(DotSeparators("1\xC2\xA9" "2"), "1.2");
    EXPECT_EQ(CharCount("caf\xC3\xA9"), 4u);
    // A stray byte is one character that is neither letter nor digit.
    EXPECT_EQ(StripTrailing("1.2\xFF"), "1.2");
    EXPECT_EQ(EightBitToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(EightBitToUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
}

TEST(OutputBuffer, CutsAtCharacterBoundaryAndTerminates)
{
    char buf[6];
    std::memset(buf, 'x', sizeof buf);
    OutputBuffer out(buf, 5);
    EXPECT_EQ(buf[0], '\0');
    out.Set("abc\xC3\xA9z"); // 4 bytes fit: "abc" + half of "é" would be 4
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(buf[5], 'x'); // never beyond the size
    out.Set("ab\xE2\x82\xAC"); // "€" is three bytes: "ab€" needs 5
    EXPECT_STREQ(buf, "ab");
    out.Set("abcd");
    EXPECT_STREQ(buf, "abcd");

    char one[1] = {'x'};
    OutputBuffer tiny(one, 1);
    tiny.Set("abc");
    EXPECT_EQ(one[0], '\0');
}

TEST(DateParser, AcceptsTheUsualUsForms)
{
    const CivilDate dec8{2026, 12, 8};
    for (const char *text : {"12/8/2026", "12/08/2026", "12-8-2026", "12/8/26", "2026-12-08", "2026/12/8",
                             "12/8/2026 13:5:7", "12/8/2026 1:05 PM", "December 8, 2026", "DEC 8 2026",
                             "Dec. 8, 2026", "8 December 2026", "08-Dec-2026", "Tuesday, December 8, 2026",
                             "  12/8/2026  "}) {
        auto d = ParseDate(text, 2000);
        ASSERT_TRUE(d.has_value()) << text;
        EXPECT_EQ(*d, dec8) << text;
    }
    EXPECT_EQ(ParseDate("12/8", 2031), (CivilDate{2031, 12, 8}));
    EXPECT_EQ(ParseDate("December 2026", 2000), (CivilDate{2026, 12, 1}));
    EXPECT_EQ(ParseDate("1/2/99", 2000), (CivilDate{1999, 1, 2}));
    EXPECT_EQ(ParseDate("2/29/2024", 2000), (CivilDate{2024, 2, 29}));
}

TEST(DateParser, RefusesVersionsAndImpossibleDates)
{
    for (const char *text : {"1,2,0,0", "1.2.0.0", "2026", "12345", "1/2/3/4", "2/29/2023", "13/1/2026",
                             "12/32/2026", "Smarch 3, 2026", "12/8/2026 25:00", "12/8/2026 abc", "",
                             "12/8-2026", "V1/2/2026"}) {
        EXPECT_FALSE(ParseDate(text, 2000).has_value()) << text;
    }
}

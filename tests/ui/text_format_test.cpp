// The shared text routines: sizes, times, the UTF-8 check and the
// conversions between UTF-8 and UTF-16.
#include "ui/text_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <limits>
#include <string>

#include "tests/support/temp_folder.h"

namespace qb::ui {
namespace {

// ---------------------------------------------------------------- sizes

TEST(SizeText, UsesTheLargestUnitBelowWhichTheValueStays) {
    EXPECT_EQ(FormatSize(0), "0.0 B");
    EXPECT_EQ(FormatSize(1), "1.0 B");
    EXPECT_EQ(FormatSize(1023), "1023.0 B");
    EXPECT_EQ(FormatSize(1024), "1.0 KB");
    EXPECT_EQ(FormatSize(1536), "1.5 KB");
    EXPECT_EQ(FormatSize(1048575), "1024.0 KB");
    EXPECT_EQ(FormatSize(1048576), "1.0 MB");
    EXPECT_EQ(FormatSize(5u * 1048576 + 104858), "5.1 MB");
    EXPECT_EQ(FormatSize(1073741823), "1024.0 MB");
    EXPECT_EQ(FormatSize(1073741824), "1.0 GB");
    EXPECT_EQ(FormatSize(5497558138880), "5120.0 GB");
    EXPECT_EQ(FormatSize(std::numeric_limits<std::uint64_t>::max()), "17179869184.0 GB");
}

TEST(SizeText, LongUnitNamesOnlyTheSmallestUnitDifferently) {
    EXPECT_EQ(FormatSizeLong(0), "0.0 Byte");
    EXPECT_EQ(FormatSizeLong(512), "512.0 Byte");
    EXPECT_EQ(FormatSizeLong(1023), "1023.0 Byte");
    EXPECT_EQ(FormatSizeLong(2048), "2.0 KB");
    EXPECT_EQ(FormatSizeLong(3u * 1048576), "3.0 MB");
    EXPECT_EQ(FormatSizeLong(64ull * 1073741824), "64.0 GB");
}

// ---------------------------------------------------------------- times

class TimeText : public ::testing::Test {
protected:
    void SetUp() override { testsupport::UseUtcLocalTime(); }
    const std::string epoch = "1970-01-01 00:00:00";
};

TEST_F(TimeText, MillisecondsTextBecomesLocalTime) {
    EXPECT_EQ(TimeTextFromMilliseconds("1400000000000"), "2014-05-13 16:53:20");
    EXPECT_EQ(TimeTextFromMilliseconds("1400000000999"), "2014-05-13 16:53:20");
    EXPECT_EQ(TimeTextFromMilliseconds("0"), epoch);
    EXPECT_EQ(TimeTextFromMilliseconds("32535194399000"), "3000-12-31 17:59:59");
}

TEST_F(TimeText, OnlyLeadingDigitsCount) {
    EXPECT_EQ(TimeTextFromMilliseconds("1400000000000 ms"), "2014-05-13 16:53:20");
    EXPECT_EQ(TimeTextFromMilliseconds("1999x5"), "1970-01-01 00:00:01");
    EXPECT_EQ(TimeTextFromMilliseconds(""), epoch);
    EXPECT_EQ(TimeTextFromMilliseconds("none"), epoch);
    EXPECT_EQ(TimeTextFromMilliseconds("x1400000000000"), epoch);
}

TEST_F(TimeText, DatesOutOfRangeGiveTheEpoch) {
    EXPECT_EQ(TimeTextFromMilliseconds("-86400000"), epoch);
    EXPECT_EQ(TimeTextFromMilliseconds("32535194400000"), epoch);
    EXPECT_EQ(TimeTextFromMilliseconds("99999999999999999999999"), epoch);
}

TEST_F(TimeText, NullGivesNoText) { EXPECT_FALSE(TimeTextFromMilliseconds(nullptr).has_value()); }

TEST_F(TimeText, NowFollowsTheFormat) {
    const std::time_t before = std::time(nullptr);
    const std::string stamp = TimeTextNow("%Y%m%d%H%M%S");
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(stamp.size(), 14u);
    const auto format = [](std::time_t t) {
        char text[32];
        std::tm utc {};
#ifdef _WIN32
        gmtime_s(&utc, &t);
#else
        gmtime_r(&t, &utc);
#endif
        std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &utc);
        return std::string(text);
    };
    EXPECT_GE(stamp, format(before));
    EXPECT_LE(stamp, format(after));
    EXPECT_EQ(TimeTextNow("[%Y]"), "[" + format(after).substr(0, 4) + "]");
}

// ---------------------------------------------------------------- UTF-8 check

TEST(Utf8Check, NullIsInvalidEmptyIsValid) {
    EXPECT_FALSE(IsValidUtf8(nullptr, 0));
    EXPECT_FALSE(IsValidUtf8(nullptr, 4));
    EXPECT_TRUE(IsValidUtf8("", 0));
}

TEST(Utf8Check, AppliesTheTextTestToExactlyTheLength) {
    EXPECT_TRUE(IsValidUtf8("Gr\xC3\xBC\xC3\x9F" "e\n", 8));
    EXPECT_FALSE(IsValidUtf8("Gr\xC3\xBC", 3));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80", 3));
    EXPECT_FALSE(IsValidUtf8("a\x1B", 2));
    EXPECT_TRUE(IsValidUtf8("a\x1B", 1));
}

// ---------------------------------------------------------------- UTF-16

TEST(Utf16, NullGivesAnEmptyText) { EXPECT_EQ(Utf8ToWide(nullptr), u""); }

TEST(Utf16, RoundTripsEveryPlane) {
    const std::string utf8 = "A\xC3\xBC\xE2\x82\xAC\xEF\xBF\xBF\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
    const std::u16string wide = u"A\u00FC\u20AC\uFFFF\U0001F600\U0010FFFF";
    EXPECT_EQ(Utf8ToWide(utf8.c_str()), wide);
    EXPECT_EQ(WideToUtf8(wide), utf8);
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), (std::u16string {0xD83D, 0xDE00}));
    EXPECT_EQ(WideToUtf8(u""), "");
}

struct InvalidUtf8Case {
    const char* name;
    const char* utf8;
    std::u16string wide;
    // Sequences that look like a character outside the valid ranges (an
    // overlong form, a surrogate, a code point beyond U+10FFFF): Windows'
    // converter may take them as fewer, longer invalid parts.
    bool platformCounts = false;
};
void PrintTo(const InvalidUtf8Case& c, std::ostream* os) { *os << c.name; }

class InvalidUtf8 : public ::testing::TestWithParam<InvalidUtf8Case> {};

// One U+FFFD for each maximal invalid subpart.
TEST_P(InvalidUtf8, BecomesReplacementCharacters) {
    const std::u16string wide = Utf8ToWide(GetParam().utf8);
#ifdef _WIN32
    if (GetParam().platformCounts) {
        ASSERT_FALSE(wide.empty());
        EXPECT_LE(wide.size(), GetParam().wide.size());
        EXPECT_EQ(wide, std::u16string(wide.size(), u'\uFFFD'));
        return;
    }
#endif
    EXPECT_EQ(wide, GetParam().wide);
}

INSTANTIATE_TEST_SUITE_P(
    Utf16, InvalidUtf8,
    ::testing::Values(InvalidUtf8Case {"lone_lead", "\xC3", u"\uFFFD"},
                      InvalidUtf8Case {"lead_then_ascii", "\xC3" "A", u"\uFFFDA"},
                      InvalidUtf8Case {"stray_continuation", "a\x80z", u"a\uFFFDz"},
                      InvalidUtf8Case {"two_continuations", "\x80\xBF", u"\uFFFD\uFFFD"},
                      InvalidUtf8Case {"truncated_three", "\xE2\x82", u"\uFFFD"},
                      InvalidUtf8Case {"truncated_three_then_ascii", "\xE2\x82" "A", u"\uFFFDA"},
                      InvalidUtf8Case {"truncated_four", "\xF0\x9F\x98", u"\uFFFD"},
                      InvalidUtf8Case {"overlong_two", "\xC0\xAF", u"\uFFFD\uFFFD"},
                      InvalidUtf8Case {"overlong_three", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", true},
                      InvalidUtf8Case {"surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", true},
                      InvalidUtf8Case {"beyond_unicode", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", true},
                      InvalidUtf8Case {"f5", "\xF5\x80", u"\uFFFD\uFFFD"},
                      InvalidUtf8Case {"ff", "x\xFFy", u"x\uFFFDy"},
                      InvalidUtf8Case {"bad_third_byte", "\xE2\x82\x28", u"\uFFFD("}));

TEST(Utf16, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(WideToUtf8(std::u16string {0xD83D}), replacement);
    EXPECT_EQ(WideToUtf8(std::u16string {0xDE00, u'a'}), replacement + "a");
    EXPECT_EQ(WideToUtf8(std::u16string {0xD83D, u'a'}), replacement + "a");
    EXPECT_EQ(WideToUtf8(std::u16string {0xDE00, 0xD83D}), replacement + replacement);
    EXPECT_EQ(WideToUtf8(std::u16string {0xD83D, 0xD83D, 0xDE00}), replacement + "\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace qb::ui

// Signature patterns: skip tables, wildcards, case folding and the
// Boyer-Moore search the engine and the extractors use.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "src/cdr/pattern_search.h"
#include "src/cdr/type_table.h"

namespace qb::cdr {
namespace {

std::span<const std::uint8_t> Span(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::optional<std::size_t> Find(std::string_view pattern, std::string_view text, bool caseSensitive = true) {
    return FindPattern(MakePattern(pattern, caseSensitive), Span(text));
}

TEST(SkipTable, HoldsDistanceFromTheLastOccurrenceToThePatternEnd) {
    const Pattern p = MakePattern("abcab", true);
    EXPECT_EQ(p.skip['b'], 0u);
    EXPECT_EQ(p.skip['a'], 1u);
    EXPECT_EQ(p.skip['c'], 2u);
    EXPECT_EQ(p.skip['z'], 5u);
}

TEST(SkipTable, WildcardLowersEveryEntryToItsShift) {
    const Pattern p = MakePattern("ab?de", true);
    EXPECT_EQ(p.skip['z'], 2u);  // any byte may stand for "?"
    EXPECT_EQ(p.skip['a'], 2u);  // "?" came after "a" and lowered it too
    EXPECT_EQ(p.skip['d'], 1u);
    EXPECT_EQ(p.skip['e'], 0u);
}

TEST(SkipTable, CaseInsensitivePatternGivesBothCasesTheSameShift) {
    const Pattern p = MakePattern("<html", false);
    EXPECT_EQ(p.skip['h'], p.skip['H']);
    EXPECT_EQ(p.skip['L'], 0u);
    EXPECT_EQ(p.skip['<'], 4u);
}

TEST(PatternSearch, FindsTheFirstMatch) {
    EXPECT_EQ(Find("needle", "hay needle hay needle"), 4u);
    EXPECT_EQ(Find("ab", "ab"), 0u);
    EXPECT_EQ(Find("end", "at the end"), 7u);
}

TEST(PatternSearch, ReportsNoMatch) {
    EXPECT_FALSE(Find("needle", "haystack without it"));
    EXPECT_FALSE(Find("longer than text", "short"));
    EXPECT_FALSE(Find("", "anything"));
    EXPECT_FALSE(Find("x", ""));
}

TEST(PatternSearch, WildcardMatchesAnyByte) {
    EXPECT_EQ(Find("a?c", "xxabcxx"), 2u);
    EXPECT_EQ(Find("a?c", std::string_view("xxa\0c", 5)), 2u);
    EXPECT_FALSE(Find("a?c", "xxabdxx"));
}

TEST(PatternSearch, CaseFoldingOnlyForInsensitivePatterns) {
    EXPECT_EQ(Find("</html>", "text </HTML> more", false), 5u);
    EXPECT_FALSE(Find("</html>", "text </HTML> more", true));
    // Only bytes in 65..122 that differ by exactly 32 are folded.
    EXPECT_FALSE(Find("a", "!", false));
    EXPECT_FALSE(Find("[", "{", false));
}

TEST(PatternSearch, BinarySignaturesOfTheTypeTable) {
    for (const TypeSpec& type : DefaultTypeTable()) {
        std::string data(1000, '\x55');
        data.replace(333, type.header.size(), std::string(type.header.bytes.begin(), type.header.bytes.end()));
        EXPECT_EQ(FindPattern(type.header, Span(data)), 333u) << type.suffix;
    }
}

TEST(PatternSearch, AgreesWithANaiveSearchOnRepetitiveText) {
    const std::string text = "aababaabaababaababaabaab";
    for (const std::string_view pattern : {"aab", "abaab", "baba", "bb", "aabaab"}) {
        const std::size_t naive = text.find(pattern);
        const auto found = Find(pattern, text);
        if (naive == std::string::npos) {
            EXPECT_FALSE(found) << pattern;
        } else {
            EXPECT_EQ(found, naive) << pattern;
        }
    }
}

TEST(TypeTable, HoldsTheFourteenTypesThenThePhoneMediaInTableOrder) {
    const auto table = DefaultTypeTable();
    std::string order;
    for (const TypeSpec& t : table) order += t.suffix + " ";
    EXPECT_EQ(order, "jpg gif bmp wmv mov rif htm ole zip rar exe png mpg pdf mp4 webp mp3 ogg sqlite amr flac mkv ");
    EXPECT_EQ(table[0].maxLength, 64u * 1048576);
    EXPECT_EQ(table[4].leadIn, 4u);  // the "moov" atom's size before its type
    EXPECT_EQ(table[7].header.size(), 16u);  // OLE signature and eight zero bytes
    EXPECT_FALSE(table[6].caseSensitive);
    EXPECT_EQ(table[13].markers.size(), 4u);
    EXPECT_EQ(std::string(table[13].Marker(0).bytes.begin(), table[13].Marker(0).bytes.end()), "/L ");
    EXPECT_TRUE(table[2].footer.empty());
}

TEST(TypeTable, BuildsFromAListOfNames) {
    std::string unknown;
    const auto some = TypeTableFromList("png,jpg", &unknown);
    ASSERT_TRUE(some);
    ASSERT_EQ(some->size(), 2u);
    EXPECT_EQ((*some)[0].suffix, "png");
    EXPECT_EQ((*some)[1].suffix, "jpg");
    EXPECT_EQ(TypeTableFromList("mp4,mp3")->back().moreHeaders.size(), 1u);  // the frame sync
    EXPECT_FALSE(TypeTableFromList("jpg,tiff", &unknown));
    EXPECT_EQ(unknown, "tiff");
    EXPECT_FALSE(TypeTableFromList("", &unknown));
}

}  // namespace
}  // namespace qb::cdr

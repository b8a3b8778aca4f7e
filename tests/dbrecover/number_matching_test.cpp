// Phone numbers compared the way phones compare them, on numbers written as
// phones, operators and people write them.
#include <gtest/gtest.h>

#include "dbrecover/number_matching.h"

namespace qb::dbrecover {
namespace {

TEST(NumberMatching, RealFormatsOfOneNumberMatchAndOthersDoNot) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        // France: international, national with trunk zero, 00 prefix, spaced, dotted.
        {"+33612345678", "0612345678", true},
        {"+33 6 12 34 56 78", "06 12 34 56 78", true},
        {"0033612345678", "06.12.34.56.78", true},
        {"+33612345678", "0033 6 12 34 56 78", true},
        {"+33612345678", "612345678", true},
        // Another subscriber, another country, two trunk prefixes.
        {"+33612345678", "+33712345678", false},
        {"+33612345678", "+44612345678", false},
        {"0612345678", "0712345678", false},
        {"0033612345678", "0044612345678", false},
        // Germany, Japan, the US (011 is its international prefix).
        {"+49 30 1234567", "030-1234567", true},
        {"+81 90-1234-5678", "090-1234-5678", true},
        {"+1 (415) 555-0142", "415.555.0142", true},
        {"01133612345678", "0612345678", true},
        {"+1 415 555 0142", "+1 415 555 0143", false},
        // Seven digits are enough when nothing else is written.
        {"5551234", "+1 415 555 1234", true},
        {"555-1234", "5551234", true},
        {"5551234", "5559876", false},
        // Short codes: the same digits only.
        {"80888", "80888", true},
        {"80 888", "80888", true},
        {"80888", "180888", false},
        {"80888", "81888", false},
        {"12345", "+44 20 7946 12345", false},
        {"112", "0112", false},
        // Not phone numbers.
        {"VODAFONE", "VODAFONE", false},
        {"*100#", "*100#", false},
        {"", "", false},
        {"+", "+", false},
        {"6+12345678", "612345678", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SamePhoneNumber(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(SamePhoneNumber(c.b, c.a), c.same) << c.b << " / " << c.a;
        if (c.same) {
            EXPECT_EQ(NumberMatchKey(c.a), NumberMatchKey(c.b)) << c.a << " / " << c.b;
        }
    }
}

TEST(NumberMatching, KeysAreTheLastSevenDigits) {
    EXPECT_EQ(NumberMatchKey("+33 6 12 34 56 78"), "2345678");
    EXPECT_EQ(NumberMatchKey("80 888"), "80888");
    EXPECT_EQ(NumberMatchKey("Google"), "");
}

}  // namespace
}  // namespace qb::dbrecover

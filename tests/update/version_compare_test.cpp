// Version comparison of the manual check: four numbers compared in order,
// anything without four parts counts as newer.
#include "update/version_compare.h"

#include <gtest/gtest.h>

#include <string>

#include "update/update_constants.h"

namespace qb::update {
namespace {

struct Case {
    const char* advertised;
    const char* program;
    bool newer;
};

TEST(VersionCompareTest, AgainstTheProgramVersion) {
    const Case cases[] = {
        {"1.0.0.23", "1.0.0.22", true},
        {"1.0.1.22", "1.0.0.22", true},   // the third part counts
        {"1.1.0.0", "1.0.0.22", true},    // a higher minor beats a higher build
        {"2.0.0.0", "1.0.0.22", true},
        {"1.0.0.22", "1.0.0.22", false},
        {"1.0.0.21", "1.0.0.22", false},
        {"0.9.9.99", "1.0.0.22", false},
        {"1.0.0.100", "1.0.0.22", true},  // numbers, not texts
        {"01.00.00.022", "1.0.0.22", false},
        {"1.0.0.22.", "1.0.0.22", false},  // a trailing dot adds no part
        {"1.0.0.23.", "1.0.0.22", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsNewerVersion(c.advertised, c.program), c.newer) << c.advertised << " vs " << c.program;
    }
    EXPECT_EQ(kProgramVersion, "1.0.0.22");
}

TEST(VersionCompareTest, OtherPartCountsCountAsNewer) {
    for (const char* advertised : {"1.0.23", "1.0.0.22.1", "1.0.0.22..", "", "1", "1.0.0.0.0", "."}) {
        EXPECT_TRUE(IsNewerVersion(advertised, "1.0.0.22")) << '"' << advertised << '"';
    }
    // The program side is split the same way.
    EXPECT_TRUE(IsNewerVersion("1.0.0.1", "1.0.22"));
}

TEST(VersionCompareTest, PartsAreReadFromTheirLeadingDigits) {
    EXPECT_FALSE(IsNewerVersion("1.0.0.22beta", "1.0.0.22"));
    EXPECT_TRUE(IsNewerVersion("1.0.0.23rc1", "1.0.0.22"));
    EXPECT_FALSE(IsNewerVersion("x.y.z.w", "0.0.0.0"));   // no digits read as 0
    EXPECT_FALSE(IsNewerVersion("1..0.22", "1.0.0.22"));  // empty part is 0
    EXPECT_FALSE(IsNewerVersion("1.0.0.-5", "1.0.0.0"));
    EXPECT_FALSE(IsNewerVersion("1.0.0. 5", "1.0.0.22"));
}

TEST(VersionCompareTest, HugeNumbersSaturate) {
    const std::string max = "18446744073709551615";
    EXPECT_TRUE(IsNewerVersion("1.0.0." + max, "1.0.0.22"));
    EXPECT_TRUE(IsNewerVersion(max + ".0.0.0", "99999999999999999.0.0.0"));
    // Everything beyond the 64-bit range is the same largest number.
    EXPECT_FALSE(IsNewerVersion("1.0.0.99999999999999999999999999", "1.0.0." + max));
    EXPECT_FALSE(IsNewerVersion("1.0.0." + max, "1.0.0.99999999999999999999999999"));
    EXPECT_TRUE(IsNewerVersion("1.0.1.0", "1.0.0.99999999999999999999999999"));
}

}  // namespace
}  // namespace qb::update

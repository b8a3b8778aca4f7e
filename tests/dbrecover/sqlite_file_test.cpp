// The facts the raw pass reads from a database file: varints, serial types,
// big-endian integers, the text test and the page size.
#include "dbrecover/sqlite_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/sqlite_image.h"
#include "tests/support/temp_folder.h"

namespace qb::dbrecover {
namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// ---------------------------------------------------------------- varints

struct VarintCase {
    std::vector<std::uint8_t> bytes;
    std::uint64_t value;
    unsigned length;
};

class VarintDecoding : public ::testing::TestWithParam<VarintCase> {};

TEST_P(VarintDecoding, GivesValueAndLength) {
    const VarintCase& c = GetParam();
    const Varint v = ReadVarint(c.bytes, 0);
    EXPECT_EQ(v.value, c.value);
    EXPECT_EQ(v.length, c.length);
}

INSTANTIATE_TEST_SUITE_P(
    Sqlite, VarintDecoding,
    ::testing::Values(VarintCase {Bytes({0x00}), 0, 1}, VarintCase {Bytes({0x7F}), 127, 1},
                      VarintCase {Bytes({0x81, 0x00}), 128, 2}, VarintCase {Bytes({0xFF, 0x7F}), 16383, 2},
                      VarintCase {Bytes({0x81, 0x81, 0x01}), 16513, 3},
                      VarintCase {Bytes({0x81, 0x80, 0x00}), 16384, 3},
                      VarintCase {Bytes({0x81, 0x80, 0x80, 0x00}), 1u << 21, 4},
                      VarintCase {Bytes({0xFF, 0xFF, 0xFF, 0x7F}), (1u << 28) - 1, 4},
                      VarintCase {Bytes({0x81, 0x80, 0x80, 0x80, 0x00}), 1u << 28, 5},
                      VarintCase {Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), (1ull << 56) - 1, 8},
                      // The ninth byte contributes all eight of its bits.
                      VarintCase {Bytes({0x81, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}), 1ull << 57, 9},
                      VarintCase {Bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0xFF}), 255, 9},
                      VarintCase {Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
                                  std::numeric_limits<std::uint64_t>::max(), 9},
                      // Nothing after the ninth byte belongs to the varint.
                      VarintCase {Bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 0x7F}), 1, 9}));

TEST(VarintDecoding, ReadsAtThePositionGiven) {
    const auto bytes = Bytes({0x7F, 0x81, 0x81, 0x01, 0x05});
    EXPECT_EQ(ReadVarint(bytes, 1).value, 16513u);
    EXPECT_EQ(ReadVarint(bytes, 1).length, 3);
    EXPECT_EQ(ReadVarint(bytes, 4).value, 5u);
}

TEST(VarintDecoding, BytesPastTheBufferReadAsZero) {
    EXPECT_EQ(ReadVarint(Bytes({0x81}), 0).value, 128u);
    EXPECT_EQ(ReadVarint(Bytes({0x81}), 0).length, 2);
    // 0xFF 0xFF then an implied 0x00: a three-byte varint.
    EXPECT_EQ(ReadVarint(Bytes({0xFF, 0xFF}), 0).value, 127u * 16384 + 127u * 128);
    EXPECT_EQ(ReadVarint(Bytes({0xFF, 0xFF}), 0).length, 3);
    EXPECT_EQ(ReadVarint(Bytes({0x05}), 7).value, 0u);
    EXPECT_EQ(ReadVarint(Bytes({0x05}), 7).length, 1);
    EXPECT_EQ(ReadVarint({}, 0).value, 0u);
}

TEST(VarintDecoding, DecodesEveryEncodedWidth) {
    for (const std::uint64_t value : std::initializer_list<std::uint64_t> {0ull, 1ull, 127ull, 128ull, 240ull, 16383ull, 16384ull, (1ull << 21) - 1,
                                1ull << 21, (1ull << 28) + 5, 1ull << 35, (1ull << 42) - 1, 1ull << 49,
                                (1ull << 56) - 1, 1ull << 56, 0x0123456789ABCDEFull, 1ull << 63,
                                std::numeric_limits<std::uint64_t>::max()}) {
        const std::string encoded = testsupport::Varint(value);
        const Varint v = ReadVarint(Bytes(encoded), 0);
        EXPECT_EQ(v.value, value) << "value " << value;
        EXPECT_EQ(v.length, encoded.size()) << "value " << value;
    }
}

TEST(VarintDecoding, AcceptsLeadingZeroGroups) {
    // Not how SQLite writes small numbers, but how random bytes may look.
    for (std::size_t length = 1; length <= 9; ++length) {
        const Varint v = ReadVarint(Bytes(testsupport::VarintOfLength(11, length)), 0);
        EXPECT_EQ(v.value, 11u) << length << " bytes";
        EXPECT_EQ(v.length, length);
    }
}

// The test images are built with these encodings; they follow the file
// format byte for byte.
TEST(RecordEncoding, HeaderLengthCountsItselfAndTheTypes) {
    using testsupport::Field;
    EXPECT_EQ(testsupport::Record({Field::Null(), Field::Int(5), Field::Text("Ann")}),
              std::string("\x04\x00\x01\x13\x05" "Ann", 8));
    // 127 one-byte types: with its own byte the length would be 128, which
    // takes two bytes, so the header is 129 bytes long.
    const std::string record = testsupport::Record(std::vector<Field>(127, Field::Null()));
    EXPECT_EQ(record.substr(0, 2), "\x81\x01");
    EXPECT_EQ(record.size(), 129u);
    EXPECT_EQ(testsupport::LeafCell(300, {Field::Int(-1)}), std::string("\x03\x82\x2C\x02\x01\xFF", 6));
}

TEST(SerialTypes, ValuesBeyond32BitsBecomeTheLargestType) {
    EXPECT_EQ(AsSerialType(12), 12u);
    EXPECT_EQ(AsSerialType(0xFFFFFFFFull), 0xFFFFFFFFu);
    EXPECT_EQ(AsSerialType(1ull << 32), 0xFFFFFFFFu);
    EXPECT_EQ(AsSerialType((1ull << 32) | 13), 0xFFFFFFFFu);
    EXPECT_EQ(AsSerialType(std::numeric_limits<std::uint64_t>::max()), 0xFFFFFFFFu);
}

TEST(SerialTypes, ContentSizes) {
    const std::array<std::uint64_t, 12> small = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    for (std::uint32_t t = 0; t < small.size(); ++t) EXPECT_EQ(SerialTypeSize(t), small[t]) << "type " << t;
    EXPECT_EQ(SerialTypeSize(12), 0u);
    EXPECT_EQ(SerialTypeSize(13), 0u);
    EXPECT_EQ(SerialTypeSize(14), 1u);
    EXPECT_EQ(SerialTypeSize(15), 1u);
    EXPECT_EQ(SerialTypeSize(19), 3u);
    EXPECT_EQ(SerialTypeSize(20), 4u);
    EXPECT_EQ(SerialTypeSize(0xFFFFFFFEu), 2147483641u);
    EXPECT_EQ(SerialTypeSize(0xFFFFFFFFu), 2147483641u);
}

// ---------------------------------------------------------------- integers

TEST(BigEndian, ReadsUnsignedWithoutSignExtension) {
    EXPECT_EQ(ReadBigEndian(Bytes({0xFF, 0xFF, 0xFE}), 0, 3), 16777214u);
    EXPECT_EQ(ReadBigEndian(Bytes({0xFF}), 0, 1), 255u);
    EXPECT_EQ(ReadBigEndian(Bytes({1, 2, 3, 4, 5, 6, 7, 8}), 0, 8), 0x0102030405060708u);
    EXPECT_EQ(ReadBigEndian(Bytes({9, 1, 2}), 1, 2), 0x0102u);
}

TEST(BigEndian, ZeroBytesGiveZero) { EXPECT_EQ(ReadBigEndian(Bytes({0xAB}), 0, 0), 0u); }

TEST(BigEndian, BytesPastTheBufferReadAsZero) {
    EXPECT_EQ(ReadBigEndian(Bytes({0x12}), 0, 2), 0x1200u);
    EXPECT_EQ(ReadBigEndian(Bytes({0x12, 0x34}), 1, 3), 0x340000u);
    EXPECT_EQ(ReadBigEndian(Bytes({0x12}), 5, 4), 0u);
}

class IntegerContent : public ::testing::Test {
protected:
    // The content bytes followed by bytes that belong to the next column.
    std::uint64_t Read(std::uint32_t type, std::initializer_list<int> content) {
        auto bytes = Bytes(content);
        bytes.resize(bytes.size() + 8, 0xAA);
        return ReadIntegerContent(bytes.data(), type);
    }
};

TEST_F(IntegerContent, ReadsTheContentWidthOfEachType) {
    EXPECT_EQ(Read(1, {0xFE}), 0xFEu);
    EXPECT_EQ(Read(2, {0x01, 0x00}), 256u);
    EXPECT_EQ(Read(3, {0xFF, 0xFF, 0xFE}), 16777214u);
    EXPECT_EQ(Read(4, {0x80, 0, 0, 1}), 0x80000001u);
    EXPECT_EQ(Read(5, {0, 0, 0, 0, 1, 0}), 256u);
    EXPECT_EQ(Read(6, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF9}), 0xFFFFFFFFFFFFFFF9u);
}

TEST_F(IntegerContent, TypesEightAndNineAreTheConstantsZeroAndOne) {
    EXPECT_EQ(Read(8, {0x05}), 0u);
    EXPECT_EQ(Read(9, {0x05}), 1u);
    EXPECT_EQ(Read(9, {}), 1u);
}

// ---------------------------------------------------------------- text test

struct TextCase {
    const char* name;
    std::string bytes;
    bool valid;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class TextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextTest, AcceptsExactlyWellFormedPrintableText) {
    const TextCase& c = GetParam();
    EXPECT_EQ(IsValidUtf8Text(c.bytes.data(), c.bytes.size()), c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Sqlite, TextTest,
    ::testing::Values(
        TextCase {"empty", "", true}, TextCase {"umlauts_and_line_feed", "Gr\xC3\xBC\xC3\x9F" "e\n", true},
        TextCase {"tab_cr_lf", "\t\r\n", true}, TextCase {"printable_ascii_ends", " ~", true},
        TextCase {"two_byte_lowest", "\xC2\x80", true}, TextCase {"two_byte_highest", "\xDF\xBF", true},
        TextCase {"e0_lowest", "\xE0\xA0\x80", true}, TextCase {"e1", "\xE1\x80\x80", true},
        TextCase {"ec_highest", "\xEC\xBF\xBF", true}, TextCase {"ed_below_surrogates", "\xED\x9F\xBF", true},
        TextCase {"ee", "\xEE\x80\x80", true}, TextCase {"ef_highest", "\xEF\xBF\xBF", true},
        TextCase {"f0_lowest", "\xF0\x90\x80\x80", true}, TextCase {"f1", "\xF1\x80\x80\x80", true},
        TextCase {"f3_highest", "\xF3\xBF\xBF\xBF", true}, TextCase {"f4_highest", "\xF4\x8F\xBF\xBF", true},
        TextCase {"nul", std::string("A\0B", 3), false}, TextCase {"escape", "A\x1B", false},
        TextCase {"delete", "A\x7F", false}, TextCase {"backspace", "\x08", false},
        TextCase {"vertical_tab", "\x0B", false}, TextCase {"form_feed", "\x0C", false},
        TextCase {"unit_separator", "\x1F", false}, TextCase {"lone_lead", "\xC3", false},
        TextCase {"lead_then_ascii", "\xC3" "A", false}, TextCase {"stray_continuation", "\x80", false},
        TextCase {"stray_continuation_high", "A\xBF", false}, TextCase {"overlong_c0", "\xC0\x80", false},
        TextCase {"overlong_c1", "\xC1\xBF", false}, TextCase {"overlong_e0", "\xE0\x9F\xBF", false},
        TextCase {"overlong_f0", "\xF0\x8F\xBF\xBF", false}, TextCase {"surrogate_low_end", "\xED\xA0\x80", false},
        TextCase {"surrogate_high_end", "\xED\xBF\xBF", false},
        TextCase {"beyond_unicode", "\xF4\x90\x80\x80", false}, TextCase {"f5", "\xF5\x80\x80\x80", false},
        TextCase {"fe", "\xFE", false}, TextCase {"ff", "\xFF", false},
        TextCase {"truncated_three", "\xE2\x82", false}, TextCase {"truncated_four", "\xF0\x9F\x98", false},
        TextCase {"bad_second", "\xE2\x28\xA1", false}, TextCase {"bad_third", "\xE2\x82\x28", false},
        TextCase {"bad_fourth", "\xF0\x9F\x98\x41", false}, TextCase {"valid_then_nul", std::string("Ann\0", 4), false}));

TEST(TextTest, LooksAtExactlyTheGivenLength) {
    const std::string text("AB\0\xC3\xBC", 5);
    EXPECT_TRUE(IsValidUtf8Text(text.data(), 2));
    EXPECT_FALSE(IsValidUtf8Text(text.data(), 3));
    // A sequence cut by the length is rejected even though its bytes follow.
    EXPECT_FALSE(IsValidUtf8Text(text.data() + 3, 1));
    EXPECT_TRUE(IsValidUtf8Text(text.data() + 3, 2));
}

// Long texts are mostly printable ASCII; a byte that breaks the rules must be
// found wherever it stands among them.
TEST(TextTest, FindsABadByteAnywhereInALongText) {
    for (const int bad : {0x00, 0x01, 0x08, 0x0B, 0x0C, 0x1B, 0x1F, 0x7F, 0x80, 0xA0, 0xBF, 0xC0, 0xC1, 0xF5, 0xFF}) {
        for (std::size_t at = 0; at < 40; ++at) {
            std::string text(40, 'a');
            for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(' ' + (i * 7) % 95);
            text[at] = static_cast<char>(bad);
            EXPECT_FALSE(IsValidUtf8Text(text.data(), text.size())) << "byte " << bad << " at " << at;
        }
    }
}

TEST(TextTest, AcceptsLongTextsWithWhitespaceAndMultiByteCharacters) {
    for (const std::string piece : {"\t", "\n", "\r", "\xC3\xBC", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", " ~"}) {
        for (std::size_t at = 0; at < 30; ++at) {
            std::string text(30, 'x');
            text.insert(at, piece);
            EXPECT_TRUE(IsValidUtf8Text(text.data(), text.size())) << "at " << at;
        }
    }
    const std::string printable = [] {
        std::string all;
        for (int b = 0x20; b <= 0x7E; ++b) all += static_cast<char>(b);
        return all;
    }();
    EXPECT_TRUE(IsValidUtf8Text(printable.data(), printable.size()));
}

TEST(TextTest, MultiByteCharacterCutByTheEndOfALongTextIsRejected) {
    const std::string text = std::string(29, 'x') + "\xE2\x82\xAC";
    EXPECT_TRUE(IsValidUtf8Text(text.data(), text.size()));
    EXPECT_FALSE(IsValidUtf8Text(text.data(), text.size() - 1));
    EXPECT_FALSE(IsValidUtf8Text(text.data(), text.size() - 2));
    EXPECT_TRUE(IsValidUtf8Text(text.data(), text.size() - 3));
}

// ---------------------------------------------------------------- page size

TEST(PageSize, FieldOneMeans65536) { EXPECT_EQ(PageSizeFromField(1), 65536u); }

TEST(PageSize, PowersOfTwoFrom512To65536AreKept) {
    for (std::uint32_t size = 512; size <= 65536; size *= 2) EXPECT_EQ(PageSizeFromField(size), size);
}

TEST(PageSize, AnythingElseIsNotScanned) {
    for (std::uint32_t field : {0u, 2u, 256u, 511u, 513u, 1000u, 3072u, 4095u, 65535u, 131072u}) {
        EXPECT_EQ(PageSizeFromField(field), 0u) << "field " << field;
    }
}

TEST(PageSize, ReadsTheRawFieldAtOffsetSixteen) {
    const testsupport::ScopedTempFolder folder;
    EXPECT_EQ(ReadPageSize(folder.Write("a.db", testsupport::DatabaseImage(4096).Bytes())), 4096u);
    EXPECT_EQ(ReadPageSize(folder.Write("b.db", testsupport::DatabaseImage(65536).Bytes())), 1u);
    testsupport::DatabaseImage odd(1024);
    odd.SetPageSizeField(0xABCD);
    EXPECT_EQ(ReadPageSize(folder.Write("c.db", odd.Bytes())), 0xABCDu);
}

TEST(PageSize, MissingFileReadsZero) {
    const testsupport::ScopedTempFolder folder;
    EXPECT_EQ(ReadPageSize(folder.File("missing.db")), 0u);
}

}  // namespace
}  // namespace qb::dbrecover

// The sliding search over one region of free space: column rules, text test,
// what ends a start position and what ends the whole region.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "dbrecover/page_scanner.h"
#include "tests/dbrecover/scan_helpers.h"
#include "tests/support/recording_sink.h"
#include "tests/support/sqlite_image.h"

namespace qb::dbrecover {
namespace {

using scantest::CarveBytes;
using scantest::ContactRow;
using scantest::ContactsLayout;
using scantest::MessagesLayout;
using scantest::SmsRow;
using testsupport::CarvedDataRow;
using testsupport::CarvedSmsRow;
using testsupport::Field;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Hex(std::initializer_list<int> bytes) {
    std::string out;
    for (int b : bytes) out += static_cast<char>(b);
    return out;
}

Field Int1(std::uint8_t v) { return Field::IntOfType(1, v); }

// ================================================================ contacts

class ContactsCarving : public ::testing::Test {
protected:
    std::vector<CarvedDataRow> Carve(const std::string& region) { return CarveBytes(ContactsLayout(), region).dataRows; }
};

TEST_F(ContactsCarving, AcceptsAWellFormedRow) {
    EXPECT_THAT(Carve(ContactRow(5, 7, "Ann Lee")), ElementsAre(CarvedDataRow {5, 7, "Ann Lee"}));
}

TEST_F(ContactsCarving, FindsARowAnywhereInTheRegion) {
    const std::string region = std::string(37, '\0') + ContactRow(5, 7, "Ann Lee") + std::string(11, '\0');
    EXPECT_THAT(Carve(region), ElementsAre(CarvedDataRow {5, 7, "Ann Lee"}));
}

struct RawIdCase {
    const char* name;
    Field raw;
    std::uint64_t expected;
};
void PrintTo(const RawIdCase& c, std::ostream* os) { *os << c.name; }

class ContactsRawContactId : public ContactsCarving, public ::testing::WithParamInterface<RawIdCase> {};

TEST_P(ContactsRawContactId, IsTheUnsignedValueOfItsSerialType) {
    const RawIdCase& c = GetParam();
    EXPECT_THAT(Carve(ContactRow(Int1(5), c.raw, Field::Text("Ann Lee"))),
                ElementsAre(CarvedDataRow {5, c.expected, "Ann Lee"}));
}

INSTANTIATE_TEST_SUITE_P(
    Carving, ContactsRawContactId,
    ::testing::Values(RawIdCase {"one_byte_not_sign_extended", Field::IntOfType(1, 0xF9), 249},
                      RawIdCase {"two_bytes", Field::IntOfType(2, 256), 256},
                      RawIdCase {"three_bytes_ff_ff_fe", Field::IntOfType(3, 0xFFFFFE), 16777214},
                      RawIdCase {"four_bytes", Field::IntOfType(4, 0x01020304), 0x01020304},
                      RawIdCase {"six_bytes", Field::IntOfType(5, 0x010203040506), 0x010203040506},
                      RawIdCase {"eight_bytes", Field::IntOfType(6, 1ull << 32), 1ull << 32},
                      RawIdCase {"constant_one", Field::One(), 1},
                      RawIdCase {"constant_zero", Field::Zero(), 0}));

TEST_F(ContactsCarving, ContentOffsetsSkipTheContentsOfEarlierColumns) {
    // _id and is_primary hold 8-byte values (a 64-bit integer and a float).
    const std::string region = testsupport::TypesAndBody(
        {Field::IntOfType(6, 0x1122334455667788), Int1(5), Field::IntOfType(2, 0x0107),
         Field::IntOfType(7, 0x3FF0000000000000), Field::Text("Ann Lee"), Field::Text("data2")});
    EXPECT_THAT(Carve(region), ElementsAre(CarvedDataRow {5, 0x0107, "Ann Lee"}));
}

struct RuleCase {
    const char* name;
    std::string row;  // a row that one column rule turns down
};
void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class ContactsRejectedRow : public ContactsCarving, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(ContactsRejectedRow, IsSkippedAndCarvingGoesOn) {
    const std::string region = GetParam().row + ContactRow(6, 8, "Bob");
    EXPECT_THAT(Carve(region), ElementsAre(CarvedDataRow {6, 8, "Bob"}));
}

INSTANTIATE_TEST_SUITE_P(
    Carving, ContactsRejectedRow,
    ::testing::Values(
        RuleCase {"mimetype_two_bytes", ContactRow(Field::IntOfType(2, 5), Int1(7), Field::Text("Ann Lee"))},
        RuleCase {"mimetype_constant_zero", ContactRow(Field::Zero(), Int1(7), Field::Text("Ann Lee"))},
        RuleCase {"mimetype_null", ContactRow(Field::Null(), Int1(7), Field::Text("Ann Lee"))},
        RuleCase {"mimetype_text", ContactRow(Field::Text("x"), Int1(7), Field::Text("Ann Lee"))},
        RuleCase {"raw_contact_id_null", ContactRow(Int1(5), Field::Null(), Field::Text("Ann Lee"))},
        RuleCase {"text_before_data1", ContactRow(Int1(5), Int1(7), Field::Text("Ann Lee"), Field::Text("x"))},
        RuleCase {"empty_blob_before_data1",
                  ContactRow(Int1(5), Int1(7), Field::Text("Ann Lee"), Field::Blob(""))},
        RuleCase {"data1_empty_text", ContactRow(Int1(5), Int1(7), Field::Text(""))},
        RuleCase {"data1_empty_blob", ContactRow(Int1(5), Int1(7), Field::Blob(""))},
        RuleCase {"data1_null", ContactRow(Int1(5), Int1(7), Field::Null())},
        RuleCase {"data1_integer", ContactRow(Int1(5), Int1(7), Field::IntOfType(1, 'A'))},
        RuleCase {"data1_holds_nul", ContactRow(Int1(5), Int1(7), Field::Text(std::string("A\0B", 3)))},
        RuleCase {"data1_holds_escape", ContactRow(Int1(5), Int1(7), Field::Text("A\x1B" "B"))},
        RuleCase {"data1_holds_delete", ContactRow(Int1(5), Int1(7), Field::Text("A\x7F"))},
        RuleCase {"data1_lone_lead_byte", ContactRow(Int1(5), Int1(7), Field::Text("\xC3"))},
        RuleCase {"data1_surrogate", ContactRow(Int1(5), Int1(7), Field::Text("x\xED\xA0\x80z"))}));

TEST_F(ContactsCarving, MimetypeIdMayBeTheConstantOne) {
    EXPECT_THAT(Carve(ContactRow(Field::One(), Int1(7), Field::Text("Ann Lee"))),
                ElementsAre(CarvedDataRow {1, 7, "Ann Lee"}));
}

TEST_F(ContactsCarving, Data1MayBeABlobThatPassesTheTextTest) {
    EXPECT_THAT(Carve(ContactRow(Int1(5), Int1(7), Field::Blob("Ann"))), ElementsAre(CarvedDataRow {5, 7, "Ann"}));
}

TEST_F(ContactsCarving, ColumnsAfterData1AreNotChecked) {
    // An invalid text and a serial type beyond 32 bits after data1.
    EXPECT_THAT(Carve(ContactRow(Int1(5), Int1(7), Field::Text("Ann"), Field::Null(), Field::Text("\x01\x02"))),
                ElementsAre(CarvedDataRow {5, 7, "Ann"}));
    EXPECT_THAT(Carve(ContactRow(Int1(5), Int1(7), Field::Text("Ann"), Field::Null(), Field::Raw(1ull << 40, ""))),
                ElementsAre(CarvedDataRow {5, 7, "Ann"}));
}

TEST_F(ContactsCarving, AcceptsSerialTypesWrittenAsLongVarints) {
    const std::string region = testsupport::TypesAndBody({Field::Null(), Int1(5), Int1(7).WithTypeLength(5),
                                                          Field::Null(), Field::Text("Ann Lee").WithTypeLength(9),
                                                          Field::Null()});
    EXPECT_THAT(Carve(region), ElementsAre(CarvedDataRow {5, 7, "Ann Lee"}));
}

TEST_F(ContactsCarving, Data1ReachingPastTheRegionEndIsRejected) {
    const std::string row = ContactRow(5, 7, "Ann Lee");
    EXPECT_THAT(Carve(row.substr(0, row.size() - 3)), IsEmpty());
}

TEST_F(ContactsCarving, TypeListCutByTheRegionEndGivesNothing) {
    const std::string row = ContactRow(5, 7, "Ann Lee");
    EXPECT_THAT(Carve(row.substr(0, 5)), IsEmpty());
}

// After an accepted row the search goes on one byte further, not after the
// row: a row inside another one's bytes is found too (a shifted copy of the
// same row is accepted again in the same way).
TEST_F(ContactsCarving, GoesOnOneByteAfterAnAcceptedRow) {
    // The second row lies inside the first one's data2 blob.
    const std::string inner = ContactRow(5, 7, "A");
    const std::string outer = ContactRow(Int1(2), Int1(3), Field::Text("X"), Field::Null(), Field::Blob(inner));
    EXPECT_THAT(Carve(outer), ElementsAre(CarvedDataRow {2, 3, "X"}, CarvedDataRow {5, 7, "A"}));
}

// A start position whose header passes every rule but whose contents would
// lie past the region's end is only rejected: on pages SQLite rebuilt, stale
// header fragments lie among whole records, and the search goes on.
TEST_F(ContactsCarving, ContentPastTheRegionEndRejectsOnlyThatStart) {
    const std::string row = ContactRow(5, 7, "A");
    // _id a float, mimetype 1 byte, raw_contact_id 8 bytes, is_primary a
    // float, data1 one byte of text, data2 NULL: raw_contact_id's content
    // would start 9 bytes into the body, exactly at the region's end, and
    // data1 17 bytes further on.
    const std::string fragment = Hex({0x07, 0x01, 0x06, 0x07, 0x0F, 0x00});
    EXPECT_THAT(Carve(fragment + row), ElementsAre(CarvedDataRow {5, 7, "A"}));
    // With its contents present the fragment is a header like any other.
    EXPECT_THAT(Carve(fragment + row + std::string(17, 'A')),
                ElementsAre(CarvedDataRow {'A', 0x4141414141414141, "A"}, CarvedDataRow {5, 7, "A"}));
}

TEST_F(ContactsCarving, Data1PastTheRegionEndRejectsOnlyThatStart) {
    // data1 would start 17 bytes into the body, past the region's end.
    const std::string fragment = Hex({0x00, 0x01, 0x06, 0x07, 0x0F, 0x00});
    EXPECT_THAT(Carve(fragment + ContactRow(5, 7, "A")), ElementsAre(CarvedDataRow {5, 7, "A"}));
}

TEST_F(ContactsCarving, EmptyRegionGivesNothing) { EXPECT_THAT(Carve(""), IsEmpty()); }

// Bytes that keep a varint going run on into the padding after the region;
// the search reads no further than that.
TEST(CarveRegionEnd, LongVarintBytesAtTheEndAreHarmless) {
    const std::string region = ContactRow(5, 7, "Ann") + std::string(40, '\xFF');
    EXPECT_THAT(CarveBytes(ContactsLayout(), region).dataRows, ElementsAre(CarvedDataRow {5, 7, "Ann"}));
    EXPECT_THAT(CarveBytes(MessagesLayout(), std::string(40, '\x81')).smsRows, IsEmpty());
    EXPECT_THAT(CarveBytes(ContactsLayout(), std::string(1, '\x80')).dataRows, IsEmpty());
}

// ================================================================ messages

class MessagesCarving : public ::testing::Test {
protected:
    std::vector<CarvedSmsRow> Carve(const std::string& region) { return CarveBytes(MessagesLayout(), region).smsRows; }
};

// Column 0, the row id alias, has no serial type in the bytes: the row
// starts with the type of thread_id.
TEST_F(MessagesCarving, AcceptsAWellFormedRow) {
    EXPECT_THAT(Carve(SmsRow(3, "5551234", "Hi there", 1400000000000, 2)),
                ElementsAre(CarvedSmsRow {"5551234", "Hi there", 1400000000000, 3, 2}));
}

TEST_F(MessagesCarving, ConstantTypesGiveZeroAndOne) {
    // A byte after the row keeps the contentless type column inside the
    // region.
    const std::string after(1, '\0');
    EXPECT_THAT(Carve(SmsRow(Int1(3), Field::Text("555"), Field::Text("Hi"), Field::IntOfType(6, 1000), Field::One()) +
                      after),
                ElementsAre(CarvedSmsRow {"555", "Hi", 1000, 3, 1}));
    EXPECT_THAT(Carve(SmsRow(Int1(3), Field::Text("555"), Field::Text("Hi"), Field::IntOfType(6, 1000), Field::Zero()) +
                      after),
                ElementsAre(CarvedSmsRow {"555", "Hi", 1000, 3, 0}));
    EXPECT_THAT(Carve(SmsRow(Field::One(), Field::Text("555"), Field::Text("Hi"), Field::One(), Int1(2))),
                ElementsAre(CarvedSmsRow {"555", "Hi", 1, 1, 2}));
}

TEST_F(MessagesCarving, NumbersAreUnsignedBigEndianOfTheirWidth) {
    EXPECT_THAT(Carve(SmsRow(Field::IntOfType(2, 0x0102), Field::Text("555"), Field::Text("Hi"),
                             Field::IntOfType(3, 0xFFFFFE), Field::IntOfType(1, 0xFF))),
                ElementsAre(CarvedSmsRow {"555", "Hi", 16777214, 0x0102, 255}));
}

TEST_F(MessagesCarving, AcceptsFourByteVarints) {
    EXPECT_THAT(Carve(SmsRow(Int1(3), Field::Text("555").WithTypeLength(4), Field::Text("Hi"),
                             Field::IntOfType(6, 1000), Int1(2).WithTypeLength(4))),
                ElementsAre(CarvedSmsRow {"555", "Hi", 1000, 3, 2}));
}

class MessagesRejectedRow : public MessagesCarving, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(MessagesRejectedRow, IsSkippedAndCarvingGoesOn) {
    const std::string region = GetParam().row + SmsRow(4, "777", "Yo", 1000, 1);
    EXPECT_THAT(Carve(region), ElementsAre(CarvedSmsRow {"777", "Yo", 1000, 4, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    Carving, MessagesRejectedRow,
    ::testing::Values(
        RuleCase {"date_null", SmsRow(Int1(3), Field::Text("555"), Field::Text("Hi"), Field::Null(), Int1(2))},
        RuleCase {"column1_null",
                  SmsRow(Field::Null(), Field::Text("555"), Field::Text("Hi"), Field::IntOfType(6, 1000), Int1(2))},
        RuleCase {"column1_text",
                  SmsRow(Field::Text("7"), Field::Text("555"), Field::Text("Hi"), Field::IntOfType(6, 1000), Int1(2))},
        RuleCase {"column1_empty_blob",
                  SmsRow(Field::Blob(""), Field::Text("555"), Field::Text("Hi"), Field::IntOfType(6, 1000), Int1(2))},
        RuleCase {"address_empty_text",
                  SmsRow(Int1(3), Field::Text(""), Field::Text("Hi"), Field::IntOfType(6, 1000), Int1(2))},
        RuleCase {"address_integer",
                  SmsRow(Int1(3), Field::IntOfType(4, 5551234), Field::Text("Hi"), Field::IntOfType(6, 1000), Int1(2))},
        RuleCase {"body_null",
                  SmsRow(Int1(3), Field::Text("555"), Field::Null(), Field::IntOfType(6, 1000), Int1(2))},
        RuleCase {"address_fails_text_test", SmsRow(Int1(3), Field::Text(std::string("55\0", 3)), Field::Text("Hi"),
                                                    Field::IntOfType(6, 1000), Int1(2))},
        RuleCase {"body_fails_text_test",
                  SmsRow(Int1(3), Field::Text("555"), Field::Text("Hi\x7F"), Field::IntOfType(6, 1000), Int1(2))},
        RuleCase {"five_byte_varint_in_a_ruled_column",
                  SmsRow(Int1(3), Field::Text("555").WithTypeLength(5), Field::Text("Hi"), Field::IntOfType(6, 1000),
                         Int1(2))},
        RuleCase {"five_byte_varint_in_an_unruled_column",
                  SmsRow(Int1(3), Field::Text("555"), Field::Text("Hi"), Field::IntOfType(6, 1000),
                         Int1(2).WithTypeLength(5))}));

TEST_F(MessagesCarving, BodyReachingPastTheRegionEndIsRejected) {
    const std::string row = SmsRow(Int1(3), Field::Text("555"), Field::Text("Hello"), Field::One(), Int1(2));
    // Cut inside the body text; the date and type contents are empty.
    EXPECT_THAT(Carve(row.substr(0, row.size() - 2)), IsEmpty());
}

// The same in the messages variant: a header whose type content would
// begin past the region's end, though its address and body are valid texts.
TEST_F(MessagesCarving, ContentPastTheRegionEndRejectsOnlyThatStart) {
    const std::string row = SmsRow(Int1(3), Field::Text("A"), Field::Text("B"), Int1(7), Int1(2));
    // thread_id 6 bytes, address and body one byte each (landing on the
    // row's "A" and "B"), date 8 bytes, type 1 byte: type would start 16
    // bytes into a 10-byte body.
    const std::string fragment = Hex({0x05, 0x0F, 0x0F, 0x06, 0x01});
    EXPECT_THAT(Carve(fragment + row), ElementsAre(CarvedSmsRow {"A", "B", 7, 3, 2}));
    // With its contents present the fragment is a header like any other.
    EXPECT_THAT(Carve(fragment + row + std::string(7, 'Z')),
                ElementsAre(CarvedSmsRow {"A", "B", 0x07025A5A5A5A5A5A, 0x010F0F010103, 'Z'},
                            CarvedSmsRow {"A", "B", 7, 3, 2}));
}

// A column without content (here the constant type 1) still has a content
// offset; at the region's end it is past the region.
TEST_F(MessagesCarving, ConstantColumnAtTheRegionEndIsPastIt) {
    const std::string row =
        SmsRow(Int1(3), Field::Text("555"), Field::Text("Hi"), Field::IntOfType(6, 1000), Field::One());
    EXPECT_THAT(Carve(row), IsEmpty());
    EXPECT_THAT(Carve(row + std::string(1, '\0')), ElementsAre(CarvedSmsRow {"555", "Hi", 1000, 3, 1}));
}

// ================================================================ layouts

TEST(CarveRegionLayout, UnscannableLayoutCarvesNothing) {
    TableLayout contacts = ContactsLayout();
    contacts.rawContactIdColumn = 0;
    EXPECT_THAT(CarveBytes(contacts, ContactRow(5, 7, "Ann Lee")).dataRows, IsEmpty());
    TableLayout messages = MessagesLayout();
    messages.dateColumn = 6;
    EXPECT_THAT(CarveBytes(messages, SmsRow(3, "555", "Hi", 1000, 2)).smsRows, IsEmpty());
}

TEST(CarveRegionLayout, ContactsColumnsMayStandAnywhere) {
    // data1 right after _id; the mimetype id and raw_contact_id after it.
    TableLayout l = ContactsLayout();
    l.columnCount = 4;
    l.data1Column = 1;
    l.rawContactIdColumn = 3;
    const std::string region = testsupport::TypesAndBody({Field::Null(), Field::Text("Ann"), Int1(5), Int1(7)});
    EXPECT_THAT(CarveBytes(l, region).dataRows, ElementsAre(CarvedDataRow {5, 7, "Ann"}));
}

TEST(CarveRegionLayout, MessagesColumnsMayStandAnywhere) {
    // Android's order: _id, thread_id, address, person, date, type, body.
    TableLayout l = MessagesLayout();
    l.columnCount = 7;
    l.threadIdColumn = 1;
    l.addressColumn = 2;
    l.personColumn = 3;
    l.dateColumn = 4;
    l.typeColumn = 5;
    l.bodyColumn = 6;
    const std::string region = testsupport::TypesAndBody(
        {Int1(9), Field::Text("+15551234"), Field::Null(), Field::IntOfType(6, 1400000000000), Int1(1),
         Field::Text("See you")});
    EXPECT_THAT(CarveBytes(l, region).smsRows,
                ElementsAre(CarvedSmsRow {"+15551234", "See you", 1400000000000, 9, 1}));
}

}  // namespace
}  // namespace qb::dbrecover

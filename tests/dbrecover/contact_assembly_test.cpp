// Folding data rows into contacts: the value list rule, the field of each
// mimetype, live rows of the current and backup copies, and carved rows.
#include "dbrecover/contact_assembly.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dbrecover/scan_helpers.h"
#include "tests/support/sqlite_image.h"

namespace qb::dbrecover {
namespace {

using ::testing::ElementsAre;
using ::testing::Key;

// ---------------------------------------------------------------- value lists

TEST(AppendValue, FirstValueBecomesTheField) {
    std::string field;
    AppendValue(field, "5551234");
    EXPECT_EQ(field, "5551234");
}

TEST(AppendValue, NewValuesAreJoinedWithABar) {
    std::string field = "5551234";
    AppendValue(field, "555");
    EXPECT_EQ(field, "5551234|555");
    AppendValue(field, "5551234");
    EXPECT_EQ(field, "5551234|555");
    AppendValue(field, "555");
    EXPECT_EQ(field, "5551234|555");
    AppendValue(field, "55512");
    EXPECT_EQ(field, "5551234|555|55512");
}

TEST(AppendValue, ValuesAreComparedWholeAndExactly) {
    std::string field = "Ann";
    AppendValue(field, "Ann Lee");
    AppendValue(field, "ann");
    AppendValue(field, "An");
    EXPECT_EQ(field, "Ann|Ann Lee|ann|An");
    AppendValue(field, "Ann Lee");
    AppendValue(field, "An");
    EXPECT_EQ(field, "Ann|Ann Lee|ann|An");
}

TEST(AppendValue, EmptyValueChangesNothing) {
    std::string empty;
    AppendValue(empty, "");
    EXPECT_EQ(empty, "");
    std::string field = "Ann";
    AppendValue(field, "");
    EXPECT_EQ(field, "Ann");
}

// FieldValues applies the rule of AppendValue through an index: the same
// fields come out, also for values that hold a "|" and for fields changed
// between two values.
TEST(FieldValues, GiveTheFieldsOfAppendValue) {
    const std::vector<std::vector<std::string>> sequences = {
        {"5551234", "555", "5551234", "555", "55512"},
        {"Ann", "Ann Lee", "ann", "An", "Ann Lee", "An", ""},
        {"a|b", "a", "b", "a|b", "c", "b|c", "c"},
        {"", "x", "", "x", "|", "||", "", "y|"},
        {"|x", "x", "", "|x"},
    };
    for (const auto& values : sequences) {
        std::string expected, field, normalized;
        FieldValues index;
        for (const std::string& value : values) {
            AppendValue(expected, value);
            index.Append(field, value);
            EXPECT_EQ(field, expected) << "after " << value;
        }
        // A field changed behind the index's back is read anew.
        field += "|zz";
        expected += "|zz";
        for (const char* value : {"zz", "z", "a"}) {
            AppendValue(expected, value);
            index.Append(field, value);
        }
        EXPECT_EQ(field, expected);
    }
}

TEST(FieldValues, FindValuesThatBeginWithAText) {
    std::string field;
    FieldValues index;
    for (const char* value : {"Hello world", "Help"}) index.Append(field, value);
    EXPECT_TRUE(index.HoldsValueBeginningWith(field, "Hello"));
    EXPECT_TRUE(index.HoldsValueBeginningWith(field, "Help"));
    EXPECT_FALSE(index.HoldsValueBeginningWith(field, "Helpful"));
    EXPECT_FALSE(index.HoldsValueBeginningWith(field, "hello"));
    index.Append(field, "Helpful");
    EXPECT_TRUE(index.HoldsValueBeginningWith(field, "Helpf"));
    std::string other = "Zoe|Zoë";
    EXPECT_TRUE(index.HoldsValueBeginningWith(other, "Zo\xC3"));
    EXPECT_FALSE(index.HoldsValueBeginningWith(other, "Zoe|"));
}

// ---------------------------------------------------------------- kinds and names

struct KindCase {
    const char* mimetype;
    FieldKind kind;
    std::string ContactItem::*field;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.mimetype; }

class MimetypeKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(MimetypeKinds, NameGivesKindAndField) {
    const KindCase& c = GetParam();
    EXPECT_EQ(FieldKindOfName(c.mimetype), c.kind);
    ContactItem contact;
    FieldOf(contact, c.kind) = "value";
    EXPECT_EQ(contact.*c.field, "value");
}

INSTANTIATE_TEST_SUITE_P(
    Android, MimetypeKinds,
    ::testing::Values(KindCase {"vnd.android.cursor.item/email_v2", kKindEmail, &ContactItem::email},
                      KindCase {"vnd.android.cursor.item/im", kKindIm, &ContactItem::im},
                      KindCase {"vnd.android.cursor.item/nickname", kKindNickname, &ContactItem::nickname},
                      KindCase {"vnd.android.cursor.item/organization", kKindOrganization, &ContactItem::organization},
                      KindCase {"vnd.android.cursor.item/phone_v2", kKindPhone, &ContactItem::phone},
                      KindCase {"vnd.android.cursor.item/sip_address", kKindSipAddress, &ContactItem::sipAddress},
                      KindCase {"vnd.android.cursor.item/name", kKindName, &ContactItem::name},
                      KindCase {"vnd.android.cursor.item/postal-address_v2", kKindPostalAddress,
                                &ContactItem::postalAddress},
                      KindCase {"vnd.android.cursor.item/group_membership", kKindGroupMembership, &ContactItem::others},
                      KindCase {"vnd.android.cursor.item/website", kKindWebsite, &ContactItem::website},
                      KindCase {"vnd.android.cursor.item/note", kKindNote, &ContactItem::note},
                      KindCase {"vnd.android.cursor.item/contact_event", kKindContactEvent, &ContactItem::others},
                      KindCase {"vnd.android.cursor.item/identity", kKindIdentity, &ContactItem::others},
                      KindCase {"vnd.android.cursor.item/photo", kKindPhoto, &ContactItem::others},
                      KindCase {"vnd.android.cursor.item/relation", kKindRelation, &ContactItem::others},
                      KindCase {"vnd.android.cursor.item/phone", kKindUnknown, &ContactItem::others},
                      KindCase {"VND.ANDROID.CURSOR.ITEM/NAME", kKindUnknown, &ContactItem::others},
                      KindCase {"", kKindUnknown, &ContactItem::others}));

TEST(MimetypeNames, UnknownIdHasTheEmptyNameAndGoesToOthers) {
    MimetypeNames names;
    EXPECT_EQ(names.NameOf(5), "");
    EXPECT_EQ(KindOf(5, names), kKindUnknown);
}

TEST(MimetypeNames, LaterEntryWithTheSameIdWins) {
    MimetypeNames names;
    names.Replace({{5, "vnd.android.cursor.item/email_v2"}, {5, "vnd.android.cursor.item/phone_v2"}});
    EXPECT_EQ(names.NameOf(5), "vnd.android.cursor.item/phone_v2");
    EXPECT_EQ(KindOf(5, names), kKindPhone);
}

TEST(MimetypeNames, NonEmptyReadingReplacesAllNames) {
    MimetypeNames names;
    names.Replace({{1, "vnd.android.cursor.item/name"}, {2, "vnd.android.cursor.item/note"}});
    names.Replace({{2, "vnd.android.cursor.item/email_v2"}});
    EXPECT_EQ(names.NameOf(1), "");
    EXPECT_EQ(KindOf(2, names), kKindEmail);
}

TEST(MimetypeNames, EmptyReadingKeepsThePreviousNames) {
    MimetypeNames names;
    names.Replace({{1, "vnd.android.cursor.item/name"}});
    names.Replace({});
    EXPECT_EQ(KindOf(1, names), kKindName);
}

// ---------------------------------------------------------------- live rows

constexpr std::uint32_t kName = 10;
constexpr std::uint32_t kPhone = 11;
constexpr std::uint32_t kEmail = 12;
constexpr std::uint32_t kPhoto = 13;

std::vector<LiveMimetype> AndroidMimetypes() {
    return {{kName, "vnd.android.cursor.item/name"},
            {kPhone, "vnd.android.cursor.item/phone_v2"},
            {kEmail, "vnd.android.cursor.item/email_v2"},
            {kPhoto, "vnd.android.cursor.item/photo"}};
}

class LiveContacts : public ::testing::Test {
protected:
    MimetypeNames names;
    GroupTitles titles;
    ContactMap working;
};

TEST_F(LiveContacts, RowsOfOneRawContactFormOneContact) {
    LiveContactsReading current {{{kName, 3, "Ann"},
                                  {kName, 3, "Ann Lee"},
                                  {kPhone, 3, "5551234"},
                                  {kPhoto, 3, "thumbnail"},
                                  {kEmail, 4, "bo@example.com"},
                                  {99, 4, "mystery"}},
                                 AndroidMimetypes()};
    AddLiveDataRows(current, 0, names, titles, working);

    ASSERT_THAT(working, ElementsAre(Key(3), Key(4)));
    const ContactItem& ann = working.at(3);
    EXPECT_EQ(ann.rawContactId, 3);
    EXPECT_EQ(ann.deleted, 0);
    EXPECT_EQ(ann.selected, 1);
    EXPECT_EQ(ann.name, "Ann|Ann Lee");
    EXPECT_EQ(ann.phone, "5551234");
    EXPECT_EQ(ann.others, "thumbnail");
    EXPECT_EQ(ann.email, "");
    const ContactItem& bo = working.at(4);
    EXPECT_EQ(bo.email, "bo@example.com");
    EXPECT_EQ(bo.others, "mystery");
}

TEST_F(LiveContacts, PhoneRowsKeepTheirNormalisedNumbers) {
    LiveContactsReading reading {{{kPhone, 3, "06 12 34 56 78"}, {kName, 3, "Amélie"}, {kPhone, 3, "5551234"}},
                                 AndroidMimetypes()};
    reading.rows[0].data4 = "+33612345678";
    reading.rows[1].data4 = "not a number";
    AddLiveDataRows(reading, 0, names, titles, working);
    EXPECT_EQ(working.at(3).phone, "06 12 34 56 78|5551234");
    EXPECT_EQ(working.at(3).phoneNormalized, "+33612345678");
}

TEST_F(LiveContacts, RowWithoutData1StillMakesTheContact) {
    AddLiveDataRows({{{kPhone, 8, ""}}, AndroidMimetypes()}, 0, names, titles, working);
    ASSERT_THAT(working, ElementsAre(Key(8)));
    EXPECT_EQ(working.at(8).phone, "");
}

TEST_F(LiveContacts, RawContactIdIsSignExtendedFrom32Bits) {
    AddLiveDataRows({{{kName, 0xFFFFFFFFu, "Minus One"}}, AndroidMimetypes()}, 0, names, titles, working);
    ASSERT_THAT(working, ElementsAre(Key(-1)));
    EXPECT_EQ(working.at(-1).rawContactId, -1);
}

TEST_F(LiveContacts, BackupCopyAddsDeletedContactsAndMissingValues) {
    AddLiveDataRows({{{kName, 1, "Ann"}, {kPhone, 1, "5551234"}}, AndroidMimetypes()}, 0, names, titles, working);
    AddLiveDataRows({{{kPhone, 1, "5551234"}, {kPhone, 1, "5559876"}, {kName, 2, "Bob"}}, AndroidMimetypes()}, 1,
                    names, titles, working);

    ASSERT_THAT(working, ElementsAre(Key(1), Key(2)));
    EXPECT_EQ(working.at(1).deleted, 0);
    EXPECT_EQ(working.at(1).phone, "5551234|5559876");
    EXPECT_EQ(working.at(2).deleted, 1);
    EXPECT_EQ(working.at(2).selected, 1);
    EXPECT_EQ(working.at(2).name, "Bob");
}

TEST_F(LiveContacts, EachReadingResolvesThroughItsOwnNames) {
    AddLiveDataRows({{{7, 1, "Ann"}}, {{7, "vnd.android.cursor.item/name"}}}, 0, names, titles, working);
    AddLiveDataRows({{{7, 1, "5551234"}}, {{7, "vnd.android.cursor.item/phone_v2"}}}, 1, names, titles, working);
    EXPECT_EQ(working.at(1).name, "Ann");
    EXPECT_EQ(working.at(1).phone, "5551234");
}

TEST_F(LiveContacts, ReadingWithoutMimetypesUsesTheNamesBefore) {
    AddLiveDataRows({{{kName, 1, "Ann"}}, AndroidMimetypes()}, 0, names, titles, working);
    AddLiveDataRows({{{kPhone, 2, "5559876"}}, {}}, 1, names, titles, working);
    EXPECT_EQ(working.at(2).phone, "5559876");
}

// Raw contacts the phone marked deleted and keeps until the deletion is
// synced are deleted contacts; the current copy's mark decides.
TEST_F(LiveContacts, ContactsThePhoneMarkedDeletedAreDeleted) {
    LiveContactsReading current {{{kName, 1, "Ann"}, {kName, 2, "Bob"}, {kName, 0xFFFFFFFFu, "Minus"}}, AndroidMimetypes()};
    current.pendingDeletes = {2, 0xFFFFFFFFu, 9};
    AddLiveDataRows(current, 0, names, titles, working);
    LiveContactsReading backup {{{kName, 1, "Ann"}, {kName, 3, "Cy"}}, AndroidMimetypes()};
    backup.pendingDeletes = {1};
    AddLiveDataRows(backup, 1, names, titles, working);
    ASSERT_THAT(working, ElementsAre(Key(-1), Key(1), Key(2), Key(3)));
    EXPECT_EQ(working.at(-1).deleted, 1);
    EXPECT_EQ(working.at(1).deleted, 0);
    EXPECT_EQ(working.at(2).deleted, 1);
    EXPECT_EQ(working.at(2).name, "Bob");
    EXPECT_EQ(working.at(3).deleted, 1);
}

// Group memberships name their group by its _id; they show its title where
// a reading's groups have one, live or carved.
TEST_F(LiveContacts, GroupMembershipsShowTheGroupsTitle) {
    constexpr std::uint32_t kGroup = 20, kNote = 21;
    std::vector<LiveMimetype> mimetypes = AndroidMimetypes();
    mimetypes.push_back({kGroup, "vnd.android.cursor.item/group_membership"});
    mimetypes.push_back({kNote, "vnd.android.cursor.item/note"});
    LiveContactsReading current {{{kGroup, 1, "1"},
                                  {kGroup, 1, "6"},
                                  {kGroup, 1, "7"},
                                  {kGroup, 1, "01"},
                                  {kGroup, 1, "-2"},
                                  {kGroup, 1, "Friends"},
                                  {kNote, 1, "1"}},
                                 mimetypes};
    current.groups = {{1, "Friends"}, {6, ""}, {-2, "Négatif & Co"}};
    AddLiveDataRows(current, 0, names, titles, working);
    EXPECT_EQ(working.at(1).others, "Friends|6|7|01|Négatif & Co");
    EXPECT_EQ(working.at(1).note, "1");

    // A copy without groups keeps the titles read before.
    AddLiveDataRows({{{kGroup, 2, "1"}}, mimetypes}, 1, names, titles, working);
    EXPECT_EQ(working.at(2).others, "Friends");
    ContactMap carved;
    ContactCarver carver(carved, names, titles);
    carver.AddDeletedDataRow(kGroup, 2, "-2");
    carver.AddDeletedDataRow(kGroup, 2, "3");
    EXPECT_EQ(carved.at(2).others, "Négatif & Co|3");

    // Another copy's groups replace them.
    AddLiveDataRows({{{kGroup, 3, "1"}}, mimetypes, {}, {{1, "Family"}}}, 1, names, titles, working);
    EXPECT_EQ(working.at(3).others, "Family");
}

// ---------------------------------------------------------------- carved rows

class CarvedContacts : public ::testing::Test {
protected:
    void SetUp() override { names.Replace(AndroidMimetypes()); }
    MimetypeNames names;
    GroupTitles titles;
    ContactMap contacts;
};

TEST_F(CarvedContacts, FormDeletedContactsUnderThePositiveId) {
    ContactCarver carver(contacts, names, titles);
    carver.AddDeletedDataRow(kName, 7, "Ann");
    carver.AddDeletedDataRow(kPhone, 7, "5551234");
    ASSERT_THAT(contacts, ElementsAre(Key(7)));
    const ContactItem& c = contacts.at(7);
    EXPECT_EQ(c.deleted, 1);
    EXPECT_EQ(c.selected, 1);
    EXPECT_EQ(c.rawContactId, 7);
    EXPECT_EQ(c.name, "Ann");
    EXPECT_EQ(c.phone, "5551234");
}

TEST_F(CarvedContacts, StandBesideTheLiveContactOfTheSameId) {
    ContactItem live;
    live.rawContactId = 7;
    live.name = "Ann";
    contacts.emplace(-7, live);
    ContactCarver carver(contacts, names, titles);
    carver.AddDeletedDataRow(kPhone, 7, "5551234");

    ASSERT_THAT(contacts, ElementsAre(Key(-7), Key(7)));
    EXPECT_EQ(contacts.at(-7).deleted, 0);
    EXPECT_EQ(contacts.at(-7).phone, "");
    EXPECT_EQ(contacts.at(7).deleted, 1);
    EXPECT_EQ(contacts.at(7).phone, "5551234");
    EXPECT_EQ(contacts.at(7).name, "");
}

// Through the path that knows where rows were found: a carved row of a raw
// contact the copies still hold joins that contact, as an old copy of one
// of its values (only where it was found) or as an earlier value; a row of
// any other raw contact forms a deleted one.
TEST_F(CarvedContacts, RowsOfALiveRawContactJoinItAsOldCopiesOrEarlierValues) {
    ContactMap working;
    AddLiveDataRows({{{kName, 7, "Ann"}, {kPhone, 7, "5551234"}}, AndroidMimetypes()}, 0, names, titles, working);
    contacts.emplace(-7, std::move(working.at(7)));
    ContactCarver carver(contacts, names, titles);
    const auto carve = [&](std::uint64_t mimetype, std::uint64_t raw, const char* value, bool cutShort,
                           std::uint32_t page) {
        CarvedDataRow row;
        row.mimetypeId = mimetype;
        row.rawContactId = raw;
        row.data1 = value;
        row.cutShort = cutShort;
        row.from.source = RowSource::Journal;
        row.from.page = page;
        carver.AddCarvedDataRow(row);
        return RecordOrigin::Carved(CopyKind::Current, row.from);
    };
    const RecordOrigin oldName = carve(kName, 7, "Ann", false, 2);
    const RecordOrigin slice = carve(kPhone, 7, "555", true, 3);
    const RecordOrigin earlier = carve(kPhone, 7, "5550000", false, 4);
    carve(kPhone, 7, "5550000", false, 4);
    const RecordOrigin other = carve(kPhone, 8, "5559999", false, 5);

    ASSERT_THAT(contacts, ElementsAre(Key(-7), Key(8)));
    const ContactItem& ann = contacts.at(-7);
    EXPECT_EQ(ann.deleted, 0);
    EXPECT_EQ(ann.phone, "5551234") << "earlier values are no field values";
    const RecordOrigin live = RecordOrigin::Live(CopyKind::Current);
    ASSERT_EQ(ann.values.size(), 3u);
    EXPECT_EQ(ann.values[0].foundIn, (std::vector<RecordOrigin> {live, oldName}));
    EXPECT_EQ(ann.values[1].foundIn, (std::vector<RecordOrigin> {live, slice}));
    EXPECT_FALSE(ann.values[1].earlier);
    EXPECT_EQ(ann.values[2].value, "5550000");
    EXPECT_TRUE(ann.values[2].earlier);
    EXPECT_EQ(ann.values[2].foundIn, (std::vector<RecordOrigin> {earlier}));
    EXPECT_EQ(contacts.at(8).deleted, 1);
    EXPECT_EQ(contacts.at(8).phone, "5559999");
    EXPECT_EQ(contacts.at(8).values.at(0).foundIn, (std::vector<RecordOrigin> {other}));
}

// Raw contact ids are positive: a carved id of 0, or one so large that it
// turns negative as a key, would otherwise fold into a live contact.
TEST_F(CarvedContacts, IdsThatCannotBePositiveKeysAreDropped) {
    ContactItem live;
    live.rawContactId = 7;
    contacts.emplace(-7, live);
    ContactCarver carver(contacts, names, titles);
    carver.AddDeletedDataRow(kPhone, 0, "5550000");
    carver.AddDeletedDataRow(kPhone, 0xFFFFFFFFFFFFFFF9ull, "5551234");
    ASSERT_THAT(contacts, ElementsAre(Key(-7)));
    EXPECT_EQ(contacts.at(-7).phone, "");
    EXPECT_EQ(contacts.at(-7).deleted, 0);
}

TEST_F(CarvedContacts, RepeatedRowsKeepEachValueOnce) {
    ContactCarver carver(contacts, names, titles);
    for (int i = 0; i < 3; ++i) carver.AddDeletedDataRow(kPhone, 7, "5551234");
    carver.AddDeletedDataRow(kPhone, 7, "555");
    EXPECT_EQ(contacts.at(7).phone, "5551234|555");
}

TEST_F(CarvedContacts, MimetypeIdUsesItsLow32Bits) {
    ContactCarver carver(contacts, names, titles);
    carver.AddDeletedDataRow((std::uint64_t {1} << 32) | kEmail, 7, "ann@example.com");
    EXPECT_EQ(contacts.at(7).email, "ann@example.com");
}

TEST_F(CarvedContacts, UnlistedMimetypeGoesToOthers) {
    ContactCarver carver(contacts, names, titles);
    carver.AddDeletedDataRow(250, 7, "something");
    EXPECT_EQ(contacts.at(7).others, "something");
}

// The same row in a freeblock and in the gap reaches assembly twice and is
// kept once.
TEST_F(CarvedContacts, RowCarvedTwiceFromOnePageIsKeptOnce) {
    const std::string image = scantest::ImageWithRowInGapAndFreeblock(scantest::ContactRow(kPhone, 7, "5551234"));
    const platform::MemorySource file(image);
    ContactCarver carver(contacts, names, titles);
    PageScanner scanner(file, scantest::ContactsLayout(2), carver);
    EXPECT_EQ(scanner.Run().candidates, 2u);
    ASSERT_THAT(contacts, ElementsAre(Key(7)));
    EXPECT_EQ(contacts.at(7).phone, "5551234");
}

}  // namespace
}  // namespace qb::dbrecover

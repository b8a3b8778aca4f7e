// Folding sms rows into conversations: date texts, repeats, the deleted
// flags of messages and conversations, conversation order, names and the
// order of messages.
#include "dbrecover/message_assembly.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/dbrecover/scan_helpers.h"
#include "tests/support/sqlite_image.h"
#include "tests/support/temp_folder.h"

namespace qb::dbrecover {
namespace {

using ::testing::ElementsAre;
using ::testing::Key;

class LocalTimeUtc : public ::testing::Test {
protected:
    void SetUp() override { testsupport::UseUtcLocalTime(); }
};

// ---------------------------------------------------------------- date text

class MessageDate : public LocalTimeUtc {};

TEST_F(MessageDate, MillisecondsBecomeLocalTimeText) {
    EXPECT_EQ(FormatMessageDate(1400000000000), "2014-05-13 16:53:20");
    EXPECT_EQ(FormatMessageDate(0), "1970-01-01 00:00:00");
}

TEST_F(MessageDate, UtcOffsetIsThatOfTheLocalTimeAtTheDate) {
    EXPECT_EQ(UtcOffsetText(1400000000), "UTC");
    testsupport::UseLocalTimeZone("EST5EDT");
    EXPECT_EQ(UtcOffsetText(1388534400), "UTC-05:00");  // January
    EXPECT_EQ(UtcOffsetText(1400000000), "UTC-04:00");  // May, daylight saving time
    testsupport::UseLocalTimeZone("IST-5:30");
    EXPECT_EQ(UtcOffsetText(1400000000), "UTC+05:30");
    testsupport::UseUtcLocalTime();
}

TEST_F(MessageDate, MillisecondsAreTruncated) {
    EXPECT_EQ(FormatMessageDate(999), "1970-01-01 00:00:00");
    EXPECT_EQ(FormatMessageDate(1999), "1970-01-01 00:00:01");
    EXPECT_EQ(FormatMessageDate(1400000000999), "2014-05-13 16:53:20");
}

TEST_F(MessageDate, LatestDateIsKept) {
    EXPECT_EQ(FormatMessageDate(32535194399000), "3000-12-31 17:59:59");
    EXPECT_EQ(FormatMessageDate(32535194399999), "3000-12-31 17:59:59");
}

TEST_F(MessageDate, OutOfRangeDatesGiveTheEpoch) {
    const std::string epoch = "1970-01-01 00:00:00";
    EXPECT_EQ(FormatMessageDate(32535194400000), epoch);
    // Values of 2^63 and more are negative once read back as signed.
    EXPECT_EQ(FormatMessageDate(static_cast<std::uint64_t>(-1000)), epoch);
    EXPECT_EQ(FormatMessageDate(static_cast<std::uint64_t>(-86400000)), epoch);
    EXPECT_EQ(FormatMessageDate(std::uint64_t {1} << 63), epoch);
    EXPECT_EQ(FormatMessageDate(std::numeric_limits<std::uint64_t>::max()), epoch);
    EXPECT_EQ(FormatMessageDate(std::numeric_limits<std::int64_t>::max()), epoch);
}

// ---------------------------------------------------------------- repeats

MsgItem Message(std::int32_t type, std::int64_t thread, const std::string& dateText, const std::string& address,
                const std::string& body) {
    MsgItem m;
    m.type = type;
    m.threadId = thread;
    m.dateText = dateText;
    m.address = address;
    m.body = body;
    return m;
}

// The first copy wins and gains the later one's origins; a live repeat
// makes it live.
TEST(AddMessage, RepeatIsDroppedAndTheFirstCopyWins) {
    MsgThread thread;
    MsgItem carved = Message(1, 5, "2014-05-13 16:53:20", "555", "Hi");
    carved.deleted = 1;
    carved.date = 1400000000123;
    Provenance freeblock;
    freeblock.page = 7;
    carved.foundIn = {RecordOrigin::Carved(CopyKind::Current, freeblock)};
    AddMessage(thread, carved);
    AddMessage(thread, carved);
    MsgItem live = carved;
    live.deleted = 0;
    live.date = 0;
    live.foundIn = {RecordOrigin::Live(CopyKind::Current)};
    AddMessage(thread, live);
    ASSERT_EQ(thread.messages.size(), 1u);
    EXPECT_EQ(thread.messages[0].deleted, 0);
    EXPECT_EQ(thread.messages[0].date, 1400000000123);
    EXPECT_EQ(thread.messages[0].foundIn, (std::vector<RecordOrigin> {carved.foundIn[0], live.foundIn[0]}));
}

struct DifferenceCase {
    const char* name;
    MsgItem other;
};
void PrintTo(const DifferenceCase& c, std::ostream* os) { *os << c.name; }

class AddMessageDifference : public ::testing::TestWithParam<DifferenceCase> {};

TEST_P(AddMessageDifference, MessageThatDiffersIsAppended) {
    MsgThread thread;
    AddMessage(thread, Message(1, 5, "2014-05-13 16:53:20", "555", "Hi"));
    AddMessage(thread, GetParam().other);
    ASSERT_EQ(thread.messages.size(), 2u);
    EXPECT_EQ(thread.messages[1].body, GetParam().other.body);
    EXPECT_EQ(thread.messages[1].type, GetParam().other.type);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, AddMessageDifference,
    ::testing::Values(DifferenceCase {"type", Message(2, 5, "2014-05-13 16:53:20", "555", "Hi")},
                      DifferenceCase {"thread_id", Message(1, 6, "2014-05-13 16:53:20", "555", "Hi")},
                      DifferenceCase {"date_text", Message(1, 5, "2014-05-13 16:53:21", "555", "Hi")},
                      DifferenceCase {"address", Message(1, 5, "2014-05-13 16:53:20", "+555", "Hi")},
                      DifferenceCase {"body", Message(1, 5, "2014-05-13 16:53:20", "555", "Hi!")},
                      DifferenceCase {"body_case", Message(1, 5, "2014-05-13 16:53:20", "555", "hi")}));

// A body cut short (its overflow pages gone) is the same message as one whose
// body begins with it, whatever came first; bodies are (text, cut short).
struct CutShortCase {
    const char* name;
    std::vector<std::pair<std::string, bool>> added;
    std::vector<std::pair<std::string, bool>> kept;
};
void PrintTo(const CutShortCase& c, std::ostream* os) { *os << c.name; }

class AddMessageCutShort : public ::testing::TestWithParam<CutShortCase> {};

TEST_P(AddMessageCutShort, KeepsEachMessageOnceAndWhole) {
    MsgThread thread;
    for (const auto& [body, cut] : GetParam().added) {
        MsgItem m = Message(1, 5, "2014-05-13 16:53:20", "555", body);
        m.bodyCutShort = cut ? 1 : 0;
        AddMessage(thread, m);
    }
    std::vector<std::pair<std::string, bool>> kept;
    for (const MsgItem& m : thread.messages) kept.emplace_back(m.body, m.bodyCutShort != 0);
    EXPECT_EQ(kept, GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, AddMessageCutShort,
    ::testing::Values(
        CutShortCase {"cut_then_whole", {{"Hello", true}, {"Hello world", false}}, {{"Hello world", false}}},
        CutShortCase {"whole_then_cut", {{"Hello world", false}, {"Hello", true}}, {{"Hello world", false}}},
        CutShortCase {"cut_then_longer_cut", {{"Hello", true}, {"Hello wo", true}}, {{"Hello wo", true}}},
        CutShortCase {"cut_then_shorter_cut", {{"Hello wo", true}, {"Hello", true}}, {{"Hello wo", true}}},
        CutShortCase {"cut_then_the_same_whole", {{"Hello", true}, {"Hello", false}}, {{"Hello", false}}},
        CutShortCase {"whole_then_the_same_cut", {{"Hello", false}, {"Hello", true}}, {{"Hello", false}}},
        CutShortCase {"shorter_whole_is_another_message", {{"Hello", true}, {"Hel", false}},
                      {{"Hello", true}, {"Hel", false}}},
        CutShortCase {"several_beginnings",
                      {{"Hel", true}, {"Hex", true}, {"A", false}, {"Hello", false}, {"Hexagon", false}, {"He", true},
                       {"Hexagon", true}, {"Hel", false}, {"Hello", false}},
                      {{"Hello", false}, {"Hexagon", false}, {"A", false}, {"Hel", false}}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(AddMessage, CutShortBodyOfAnotherKindIsAnotherMessage) {
    MsgThread thread;
    MsgItem cut = Message(1, 5, "2014-05-13 16:53:20", "555", "Hello");
    cut.bodyCutShort = 1;
    AddMessage(thread, cut);
    AddMessage(thread, Message(2, 5, "2014-05-13 16:53:20", "555", "Hello world"));
    AddMessage(thread, Message(1, 5, "2014-05-13 16:53:21", "555", "Hello world"));
    ASSERT_EQ(thread.messages.size(), 3u);
    EXPECT_EQ(thread.messages[0].body, "Hello");
    EXPECT_EQ(thread.messages[0].bodyCutShort, 1);
}

// The conversation's index follows its messages when they are sorted, when
// the conversation is copied and when messages come in without AddMessage.
TEST(AddMessage, RepeatsAreFoundAfterTheMessagesChanged) {
    ThreadMap threads;
    MsgThread& thread = FindOrCreateThread(threads, "555", 5, 1);
    for (const char* date : {"2014-05-13 16:53:22", "2014-05-13 16:53:20", "2014-05-13 16:53:21"}) {
        AddMessage(thread, Message(1, 5, date, "555", "Hi"));
    }
    ResolveNamesAndSort({}, threads);
    AddMessage(thread, Message(1, 5, "2014-05-13 16:53:22", "555", "Hi"));
    MsgThread copy = thread;
    AddMessage(copy, Message(1, 5, "2014-05-13 16:53:20", "555", "Hi"));
    AddMessage(copy, Message(1, 5, "2014-05-13 16:53:23", "555", "Hi"));
    thread.messages.push_back(Message(1, 5, "2014-05-13 16:53:30", "555", "Pushed"));
    AddMessage(thread, Message(1, 5, "2014-05-13 16:53:30", "555", "Pushed"));
    ASSERT_EQ(thread.messages.size(), 4u);
    EXPECT_EQ(thread.messages[3].body, "Pushed");
    ASSERT_EQ(copy.messages.size(), 4u);
    EXPECT_EQ(copy.messages[3].dateText, "2014-05-13 16:53:23");
}

// ---------------------------------------------------------------- conversations

TEST(Conversations, AreCreatedOnceWithTheirFirstFlag) {
    ThreadMap threads;
    MsgThread& created = FindOrCreateThread(threads, "555", 5, 1);
    EXPECT_EQ(created.address, "555");
    EXPECT_EQ(created.threadId, 5);
    EXPECT_EQ(created.deleted, 1);
    EXPECT_EQ(created.selected, 1);
    EXPECT_EQ(created.name, "");
    MsgThread& again = FindOrCreateThread(threads, "555", 5, 0);
    EXPECT_EQ(&again, &created);
    EXPECT_EQ(again.deleted, 1);
}

TEST(Conversations, AreOrderedByUnsignedAddressBytesThenSignedThreadId) {
    ThreadMap threads;
    for (const auto& [address, thread] : std::vector<std::pair<std::string, std::int64_t>> {
             {"\xC3\xA9", 1}, {"5551234", 2}, {"Z", 1}, {"555", 9}, {"5551234", -1}, {"", 3}}) {
        FindOrCreateThread(threads, address, thread, 0);
    }
    std::vector<ThreadKey> order;
    for (const auto& entry : threads) order.push_back(entry.first);
    EXPECT_THAT(order, ElementsAre(ThreadKey {"", 3}, ThreadKey {"555", 9}, ThreadKey {"5551234", -1},
                                   ThreadKey {"5551234", 2}, ThreadKey {"Z", 1}, ThreadKey {"\xC3\xA9", 1}));
}

class LiveMessages : public ::testing::Test {
protected:
    static LiveSmsRow Row(std::uint32_t thread, const std::string& address, const std::string& dateText,
                          std::uint32_t type, const std::string& body) {
        return {thread, address, dateText, type, body};
    }
    ThreadMap threads;
};

TEST_F(LiveMessages, BackupOnlyMessageJoinsTheLiveConversationAsDeleted) {
    AddLiveSmsRows({Row(5, "555", "2014-05-13 16:53:20", 1, "Hi")}, 0, threads);
    AddLiveSmsRows({Row(5, "555", "2014-05-13 16:53:20", 1, "Hi"), Row(5, "555", "2014-05-13 16:54:00", 2, "Bye")}, 1,
                   threads);
    ASSERT_THAT(threads, ElementsAre(Key(ThreadKey {"555", 5})));
    const MsgThread& t = threads.at({"555", 5});
    EXPECT_EQ(t.deleted, 0);
    ASSERT_EQ(t.messages.size(), 2u);
    EXPECT_EQ(t.messages[0].deleted, 0);
    EXPECT_EQ(t.messages[1].deleted, 1);
    EXPECT_EQ(t.messages[1].body, "Bye");
    EXPECT_EQ(t.messages[1].type, 2);
    EXPECT_EQ(t.messages[1].date, 0);
    EXPECT_EQ(t.messages[1].dateText, "2014-05-13 16:54:00");
    EXPECT_EQ(t.messages[1].address, "555");
    EXPECT_EQ(t.messages[1].threadId, 5);
}

TEST_F(LiveMessages, KeepTheirDateAsStored) {
    LiveSmsRow row = Row(5, "555", "2014-05-13 16:53:20", 1, "Hi");
    row.date = 1400000000123;
    AddLiveSmsRows({row}, 0, threads);
    EXPECT_EQ(threads.at({"555", 5}).messages.at(0).date, 1400000000123);
}

TEST_F(LiveMessages, BackupOnlyConversationIsDeleted) {
    AddLiveSmsRows({Row(5, "555", "2014-05-13 16:53:20", 1, "Hi")}, 0, threads);
    AddLiveSmsRows({Row(6, "777", "2014-05-13 16:53:20", 1, "Yo")}, 1, threads);
    EXPECT_EQ(threads.at({"555", 5}).deleted, 0);
    EXPECT_EQ(threads.at({"777", 6}).deleted, 1);
    EXPECT_EQ(threads.at({"777", 6}).messages.at(0).deleted, 1);
}

TEST_F(LiveMessages, SameAddressWithTwoThreadIdsMakesTwoConversations) {
    AddLiveSmsRows({Row(5, "555", "2014-05-13 16:53:20", 1, "Hi"), Row(6, "555", "2014-05-13 16:53:20", 1, "Hi")}, 0,
                   threads);
    EXPECT_THAT(threads, ElementsAre(Key(ThreadKey {"555", 5}), Key(ThreadKey {"555", 6})));
}

TEST_F(LiveMessages, ThreadIdAndTypeAreSignExtendedFrom32Bits) {
    AddLiveSmsRows({Row(0xFFFFFFFFu, "", "2014-05-13 16:53:20", 0xFFFFFFFEu, "Hi")}, 0, threads);
    ASSERT_THAT(threads, ElementsAre(Key(ThreadKey {"", -1})));
    EXPECT_EQ(threads.at({"", -1}).threadId, -1);
    EXPECT_EQ(threads.at({"", -1}).messages.at(0).threadId, -1);
    EXPECT_EQ(threads.at({"", -1}).messages.at(0).type, -2);
}

class CarvedMessages : public LocalTimeUtc {
protected:
    ThreadMap threads;
    MessageCarver carver {threads};
};

TEST_F(CarvedMessages, FormDeletedConversationsAndMessages) {
    carver.AddDeletedSmsRow("5551234", "Hi", 1400000000000, 5, (std::uint64_t {1} << 32) | 1);
    ASSERT_THAT(threads, ElementsAre(Key(ThreadKey {"5551234", 5})));
    const MsgThread& t = threads.at({"5551234", 5});
    EXPECT_EQ(t.deleted, 1);
    EXPECT_EQ(t.selected, 1);
    ASSERT_EQ(t.messages.size(), 1u);
    const MsgItem& m = t.messages[0];
    EXPECT_EQ(m.type, 1);
    EXPECT_EQ(m.threadId, 5);
    EXPECT_EQ(m.deleted, 1);
    EXPECT_EQ(m.date, 1400000000000);
    EXPECT_EQ(m.dateText, "2014-05-13 16:53:20");
    EXPECT_EQ(m.address, "5551234");
    EXPECT_EQ(m.body, "Hi");
}

TEST_F(CarvedMessages, LiveCopyOfACarvedMessageIsNotAddedAgain) {
    carver.AddDeletedSmsRow("555", "Hi", 1400000000000, 5, 1);
    AddLiveSmsRows({{5, "555", "2014-05-13 16:53:20", 1, "Hi"}, {5, "555", "2014-05-13 16:55:00", 2, "Later"}}, 0,
                   threads);
    const MsgThread& t = threads.at({"555", 5});
    ASSERT_EQ(t.messages.size(), 2u);
    EXPECT_EQ(t.messages[0].deleted, 0);
    EXPECT_EQ(t.messages[0].date, 1400000000000);
    EXPECT_EQ(t.messages[1].deleted, 0);
}

// A carved row equal to a live row of either copy (address, date, type and
// body; the thread id may differ) is that row's old copy: it only adds where
// it was found to the live message, whatever page version it came from.
TEST_F(CarvedMessages, OldCopiesOfLiveRowsJoinTheirLiveMessage) {
    LiveSmsRow current {5, "555", "2014-05-13 16:53:20", 1, "Hi", 1400000000000};
    LiveSmsRow backupOnly {6, "777", "2014-05-13 16:53:20", 2, "Bye", 1400000000000};
    carver.AddLiveRows({current});
    carver.AddLiveRows({backupOnly});
    const auto carve = [&](const LiveSmsRow& r, std::uint64_t threadId, const std::string& body, RowSource source,
                           std::uint32_t page) {
        CarvedSmsRow row;
        row.address = r.address;
        row.body = body;
        row.date = static_cast<std::uint64_t>(r.date);
        row.threadId = threadId;
        row.type = r.type;
        row.bodyCutShort = body.size() < r.body.size();
        row.from.source = source;
        row.from.page = page;
        carver.AddCarvedSmsRow(row);
        return RecordOrigin::Carved(CopyKind::Current, row.from);
    };
    const RecordOrigin a = carve(current, 5, "Hi", RowSource::FreeSpace, 3);
    const RecordOrigin b = carve(current, 9, "H", RowSource::Journal, 4);
    carver.SetCopy(CopyKind::Backup);
    const RecordOrigin c = carve(backupOnly, 6, "Bye", RowSource::OlderPage, 2);
    const RecordOrigin c2 = RecordOrigin::Carved(CopyKind::Backup, c.carved);
    // Not equal: another date.
    LiveSmsRow later = current;
    later.date += 1000;
    carve(later, 5, "Hi", RowSource::FreeSpace, 8);
    EXPECT_EQ(threads.size(), 1u) << "only the row of another date is a deleted message yet";

    AddLiveSmsRows({current}, 0, threads);
    AddLiveSmsRows({backupOnly}, 1, threads);
    carver.AttachOldCopies();
    const MsgThread& live = threads.at({"555", 5});
    EXPECT_EQ(live.deleted, 1) << "made by the deleted row of another date";
    ASSERT_EQ(live.messages.size(), 2u);
    const MsgItem& hi = live.messages[1];
    EXPECT_EQ(hi.deleted, 0);
    EXPECT_EQ(hi.foundIn, (std::vector<RecordOrigin> {RecordOrigin::Live(CopyKind::Current), a, b}));
    const MsgThread& gone = threads.at({"777", 6});
    EXPECT_EQ(gone.messages.at(0).deleted, 1);
    EXPECT_EQ(gone.messages.at(0).foundIn, (std::vector<RecordOrigin> {RecordOrigin::Live(CopyKind::Backup), c2}));
}

TEST(RecordOrigins, LabelsAndDetailsNameTheSourcePageAndOffset) {
    Provenance p;
    p.page = 12;
    p.offset = 420;
    p.rowid = 55;
    const auto with = [&](RowSource source, PageArea area, std::uint32_t frame) {
        Provenance q = p;
        q.source = source;
        q.area = area;
        q.frame = frame;
        if (frame) q.older = OlderVersion::LogFrame;
        return q;
    };
    const struct {
        RecordOrigin origin;
        const char* label;
        const char* detailPart;
    } cases[] = {
        {RecordOrigin::Live(CopyKind::Current), "live row", "live row of the current copy"},
        {RecordOrigin::Live(CopyKind::Backup), "backup copy", "backup copy only"},
        {RecordOrigin::Carved(CopyKind::Current, with(RowSource::FreeSpace, PageArea::Freeblock, 0)), "freeblock p.12 @420",
         "a freeblock of page 12 at offset 420 in the current version"},
        {RecordOrigin::Carved(CopyKind::Current, with(RowSource::FreeSpace, PageArea::Gap, 0)), "gap p.12 @420",
         "unallocated gap"},
        {RecordOrigin::Carved(CopyKind::Current, with(RowSource::OlderPage, PageArea::Cell, 7)),
         "log frame 7 cell p.12 @420", "log frame 7"},
        {RecordOrigin::Carved(CopyKind::Backup, with(RowSource::Journal, PageArea::Freeblock, 0)),
         "backup: journal freeblock p.12 @420", "rollback journal"},
        {RecordOrigin::Carved(CopyKind::Current, with(RowSource::Freelist, PageArea::Cell, 0)), "freelist cell p.12 @420",
         "row id 55"},
        {RecordOrigin::Carved(CopyKind::Current, [&] {
             Provenance q = with(RowSource::OlderPage, PageArea::Gap, 0);
             q.older = OlderVersion::MainFile;
             return q;
         }()),
         "main file gap p.12 @420", "under the log's frames"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OriginLabel(c.origin), c.label);
        EXPECT_NE(OriginDetail(c.origin).find(c.detailPart), std::string::npos) << OriginDetail(c.origin);
    }
}

TEST_F(CarvedMessages, CarvedRowDoesNotMarkALiveConversationDeleted) {
    AddLiveSmsRows({{5, "555", "2014-05-13 16:53:20", 1, "Hi"}}, 0, threads);
    carver.AddDeletedSmsRow("555", "Gone", 1400000000000, 5, 2);
    const MsgThread& t = threads.at({"555", 5});
    EXPECT_EQ(t.deleted, 0);
    ASSERT_EQ(t.messages.size(), 2u);
    EXPECT_EQ(t.messages[1].deleted, 1);
}

TEST_F(CarvedMessages, SmsCarvedFromAFreeblockAndTheGapIsKeptOnce) {
    const std::string image =
        scantest::ImageWithRowInGapAndFreeblock(scantest::SmsRow(5, "5551234", "Hi there", 1400000000000, 1));
    const platform::MemorySource file(image);
    PageScanner scanner(file, scantest::MessagesLayout(2), carver);
    EXPECT_EQ(scanner.Run().candidates, 2u);
    ASSERT_THAT(threads, ElementsAre(Key(ThreadKey {"5551234", 5})));
    ASSERT_EQ(threads.at({"5551234", 5}).messages.size(), 1u);
    EXPECT_EQ(threads.at({"5551234", 5}).messages[0].body, "Hi there");
}

// ---------------------------------------------------------------- names and order

class NamesAndOrder : public ::testing::Test {
protected:
    static ContactItem Contact(const std::string& name, const std::string& phone) {
        ContactItem c;
        c.name = name;
        c.phone = phone;
        return c;
    }
    const std::string& NameOf(const std::string& address, std::int64_t thread = 1) {
        return threads.at({address, thread}).name;
    }
    void Conversations(std::initializer_list<const char*> addresses) {
        for (const char* a : addresses) FindOrCreateThread(threads, a, 1, 0);
    }
    ContactMap contacts;
    ThreadMap threads;
};

TEST_F(NamesAndOrder, EveryNumberOfAContactNamesItsConversation) {
    contacts[-1] = Contact("Ann|Ann Lee", "5551234|5559876");
    Conversations({"5551234", "5559876", "555"});
    ResolveNamesAndSort(contacts, threads);
    EXPECT_EQ(NameOf("5551234"), "Ann|Ann Lee");
    EXPECT_EQ(NameOf("5559876"), "Ann|Ann Lee");
    EXPECT_EQ(NameOf("555"), "");
}

TEST_F(NamesAndOrder, TheSameNumberWrittenOtherwiseNamesAConversationAndAnExactOneWins) {
    contacts[-1] = Contact("Ann", "5551234");
    contacts[-2] = Contact("Amélie", "06 12 34 56 78|0033 6 99 99 99 99");
    contacts[-3] = Contact("Exact", "+33612345678");
    contacts[-4] = Contact("Earlier", "+336 99 99 99 99");
    Conversations({"+15551234", "5551234 ", "555-1234", "+33612345678", "+33 6 12 34 56 78", "+33699999999",
                   "+33712345678", "55512", "VODAFONE"});
    ResolveNamesAndSort(contacts, threads);
    EXPECT_EQ(NameOf("+15551234"), "Ann");
    EXPECT_EQ(NameOf("5551234 "), "Ann");
    EXPECT_EQ(NameOf("555-1234"), "Ann");
    EXPECT_EQ(NameOf("+33612345678"), "Exact");
    // Both match; the later contact in key order wins, as with exact numbers.
    EXPECT_EQ(NameOf("+33 6 12 34 56 78"), "Amélie");
    EXPECT_EQ(NameOf("+33699999999"), "Amélie");
    EXPECT_EQ(NameOf("+33712345678"), "");
    EXPECT_EQ(NameOf("55512"), "");
    EXPECT_EQ(NameOf("VODAFONE"), "");
}

TEST_F(NamesAndOrder, TheNormalisedNumberNamesExactly) {
    contacts[-2] = Contact("Typed", "612-345");
    contacts[-2].phoneNormalized = "+33612345678";
    contacts[-1] = Contact("Later", "0612345678");
    Conversations({"+33612345678", "0033612345678"});
    ResolveNamesAndSort(contacts, threads);
    EXPECT_EQ(NameOf("+33612345678"), "Typed");
    EXPECT_EQ(NameOf("0033612345678"), "Later");
}

TEST_F(NamesAndOrder, LaterContactInKeyOrderWins) {
    contacts[3] = Contact("Carved", "555");
    contacts[-5] = Contact("Live", "555");
    Conversations({"555"});
    ResolveNamesAndSort(contacts, threads);
    EXPECT_EQ(NameOf("555"), "Carved");
}

TEST_F(NamesAndOrder, ContactsWithoutNameOrPhoneNameNothing) {
    contacts[-5] = Contact("Ann", "555");
    contacts[3] = Contact("", "555");
    contacts[4] = Contact("Bob", "");
    Conversations({"555", ""});
    ResolveNamesAndSort(contacts, threads);
    EXPECT_EQ(NameOf("555"), "Ann");
    EXPECT_EQ(NameOf(""), "");
}

TEST_F(NamesAndOrder, EmptyPiecesOfAPhoneListNameNothing) {
    contacts[-5] = Contact("Ann", "|555||");
    Conversations({"555", ""});
    ResolveNamesAndSort(contacts, threads);
    EXPECT_EQ(NameOf("555"), "Ann");
    EXPECT_EQ(NameOf(""), "");
}

TEST_F(NamesAndOrder, MessagesAreSortedStablyByDateText) {
    MsgThread& t = FindOrCreateThread(threads, "555", 1, 0);
    for (const auto& [dateText, body] : std::vector<std::pair<std::string, std::string>> {
             {"2014-05-13 16:53:20", "a"},
             {"2013-01-01 00:00:00", "b"},
             {"2014-05-13 16:53:20", "c"},
             {"2012-12-31 23:59:59", "d"},
             {"2014-05-13 16:53:20", "e"},
             {"2014-05-13 16:53:19", "f"}}) {
        t.messages.push_back(Message(1, 1, dateText, "555", body));
    }
    ResolveNamesAndSort(contacts, threads);
    std::string bodies;
    for (const MsgItem& m : t.messages) bodies += m.body;
    EXPECT_EQ(bodies, "dbface");
}

TEST_F(NamesAndOrder, LongConversationsKeepTheArrivalOrderOfEqualDates) {
    MsgThread& t = FindOrCreateThread(threads, "555", 1, 0);
    const std::vector<std::string> dates = {"2014-05-13 16:53:22", "2014-05-13 16:53:20", "2014-05-13 16:53:21"};
    for (int i = 0; i < 90; ++i) t.messages.push_back(Message(1, 1, dates[i % 3], "555", std::to_string(i)));
    ResolveNamesAndSort(contacts, threads);
    ASSERT_EQ(t.messages.size(), 90u);
    for (std::size_t i = 0; i < 90; ++i) {
        const std::size_t group = i / 30, k = i % 30;
        // Dates ...20 came at 1, 4, 7, ...; ...21 at 2, 5, 8, ...; ...22 at 0, 3, 6, ...
        const int arrival = static_cast<int>(3 * k + (group == 0 ? 1 : group == 1 ? 2 : 0));
        EXPECT_EQ(t.messages[i].body, std::to_string(arrival)) << "position " << i;
    }
}

TEST_F(NamesAndOrder, DateTextsCompareAsUnsignedBytes) {
    MsgThread& t = FindOrCreateThread(threads, "555", 1, 0);
    t.messages.push_back(Message(1, 1, "\xC3\xA9", "555", "high"));
    t.messages.push_back(Message(1, 1, "z", "555", "low"));
    t.messages.push_back(Message(1, 1, "", "555", "empty"));
    ResolveNamesAndSort(contacts, threads);
    ASSERT_EQ(t.messages.size(), 3u);
    EXPECT_EQ(t.messages[0].body, "empty");
    EXPECT_EQ(t.messages[1].body, "low");
    EXPECT_EQ(t.messages[2].body, "high");
}

}  // namespace
}  // namespace qb::dbrecover

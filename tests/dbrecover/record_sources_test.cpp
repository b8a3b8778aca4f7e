// The record shape from a table's schema, the cell decoder's acceptance rules
// (whole cells, cells rebuilt after a freeblock header overwrote their first
// bytes, overflow chains), and the readers of the places deleted rows
// survive: the write-ahead log, the rollback journal, the freelist.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dbrecover/cell_carver.h"
#include "dbrecover/freelist_walk.h"
#include "dbrecover/journal_reader.h"
#include "dbrecover/live_row_reader.h"
#include "dbrecover/record_shape.h"
#include "dbrecover/schema_probe.h"
#include "dbrecover/table_recovery.h"
#include "dbrecover/wal_reader.h"
#include "platform/file.h"
#include "tests/support/sqlite_image.h"
#include "tests/support/scratch_folder_test.h"

namespace qb::dbrecover {
namespace {

using testsupport::Field;

constexpr const char* kSms =
    "CREATE TABLE sms (_id INTEGER PRIMARY KEY, thread_id INTEGER, address TEXT, person INTEGER, date INTEGER, "
    "type INTEGER, body TEXT, seen INTEGER DEFAULT 0)";

RecordShape SmsShape() { return *LayoutFromColumns(TableKind::Messages, ColumnsFromCreateTable(kSms))->shape; }

std::vector<Field> Sms(std::int64_t thread, const std::string& address, std::int64_t date, const std::string& body) {
    return {Field::Null(), Field::Int(thread), Field::Text(address), Field::Null(), Field::Int(date), Field::Int(1),
            Field::Text(body), Field::One()};
}

struct Collected final : CarvedRowSink {
    void AddCarvedSmsRow(const CarvedSmsRow& r) override {
        rows.push_back({std::string(r.address), std::string(r.body), r.date, r.bodyCutShort, r.from});
    }
    void AddCarvedDataRow(const CarvedDataRow& r) override { data.emplace_back(r.rawContactId, std::string(r.data1)); }
    struct Row {
        std::string address, body;
        std::uint64_t date;
        bool cut;
        Provenance from;
    };
    std::vector<Row> rows;
    std::vector<std::pair<std::uint64_t, std::string>> data;
};

// A page buffer as the carver wants it: the page, then zero padding.
std::vector<std::uint8_t> Buffer(const std::string& page) {
    std::vector<std::uint8_t> b(page.begin(), page.end());
    b.resize(page.size() + CellCarver::kPadding, 0);
    return b;
}

// ---------------------------------------------------------------- shape

TEST(RecordShape, AffinityFollowsSQLitesRules) {
    EXPECT_EQ(AffinityOf("INTEGER"), Affinity::Integer);
    EXPECT_EQ(AffinityOf("TINYINT"), Affinity::Integer);
    EXPECT_EQ(AffinityOf("VARCHAR(20)"), Affinity::Text);
    EXPECT_EQ(AffinityOf(""), Affinity::Blob);
    EXPECT_EQ(AffinityOf("DOUBLE"), Affinity::Real);
    EXPECT_EQ(AffinityOf("DECIMAL(10,5)"), Affinity::Numeric);
}

TEST(RecordShape, EveryAndroidLayoutOfDataAndSmsGivesAShape) {
    for (TableKind kind : {TableKind::Contacts, TableKind::Messages}) {
        for (const std::string& sql : KnownAndroidTables(kind)) {
            SCOPED_TRACE(sql.substr(0, 120));
            const auto layout = LayoutFromColumns(kind, ColumnsFromCreateTable(sql));
            ASSERT_TRUE(layout);
            const RecordShape& s = *layout->shape;
            EXPECT_TRUE(s.columns[0].rowidAlias);
            EXPECT_TRUE(s.Accepts(0, 0));
            EXPECT_FALSE(s.Accepts(0, 1));
            if (kind == TableKind::Contacts) {
                // Android 7's hash_id before is_read_only is a text column, no
                // longer "a number before data1".
                EXPECT_EQ(s.columns[s.rawContactIdColumn - 1].name, "mimetype_id");
                if (s.columns[4].name == "hash_id") { EXPECT_TRUE(s.Accepts(4, 13 + 2 * 40)); }
                EXPECT_TRUE(s.Accepts(s.data1Column, 13 + 2 * 5));
                EXPECT_FALSE(s.Accepts(s.data1Column, 13));  // empty data1
                EXPECT_FALSE(s.Accepts(s.rawContactIdColumn, 0));
            } else {
                EXPECT_FALSE(s.Accepts(s.dateColumn, 0));
                EXPECT_FALSE(s.Accepts(s.threadIdColumn, 13 + 2));
            }
        }
    }
}

TEST(RecordShape, RecordsWrittenBeforeAnUpgradeMayHaveFewerColumns) {
    const auto& data = KnownAndroidTables(TableKind::Contacts);
    // The upgraded layout (hash_id and carrier_presence added at the end)
    // begins with Android 4's 27 columns.
    const auto layout = LayoutFromColumns(TableKind::Contacts, ColumnsFromCreateTable(data.back()));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->shape->counts, (std::vector<std::uint16_t> {29, 27}));
    RecordShape shape = *layout->shape;
    shape.AddCount(3);  // below the columns of interest: refused
    EXPECT_EQ(shape.counts.size(), 2u);
}

TEST(RecordShape, OnlyOneCreateTableStatementIsRead) {
    EXPECT_FALSE(ColumnsFromCreateTable(kSms).empty());
    EXPECT_TRUE(ColumnsFromCreateTable("DROP TABLE sms").empty());
    EXPECT_TRUE(ColumnsFromCreateTable(std::string(kSms) + "; DROP TABLE x").empty());
    EXPECT_TRUE(ColumnsFromCreateTable("CREATE TABLE t AS SELECT 1").size() <= 1);
}

// ---------------------------------------------------------------- carver

TEST(CellCarver, CellWhoseFirstFourBytesAFreeblockHeaderOverwroteIsRebuilt) {
    RecordShape shape = SmsShape();
    // Payload length 1 byte, row id 2 bytes, header length 1 byte: the
    // freeblock header takes all three (lost: header length); then a 1-byte
    // row id, so the first serial type goes as well.
    for (std::int64_t rowid : {300, 5}) {
        SCOPED_TRACE(rowid);
        const std::string cell = testsupport::LeafCell(rowid, Sms(4, "+4930123", 1409529600000, "Bis morgen!"));
        testsupport::TablePage leaf = testsupport::TablePage::Leaf(1024);
        leaf.AddFreeblock(600, static_cast<std::uint16_t>(cell.size()), std::string_view(cell).substr(4));
        auto page = Buffer(leaf.bytes());
        Collected sink;
        ScanStats stats;
        CellCarver carver(shape, 1024, 1024, sink, nullptr, stats);
        carver.CarveFreeSpace(page.data(), 1024, 2, RowSource::FreeSpace);
        ASSERT_EQ(sink.rows.size(), 1u);
        EXPECT_EQ(sink.rows[0].body, "Bis morgen!");
        EXPECT_EQ(sink.rows[0].address, "+4930123");
        EXPECT_EQ(sink.rows[0].date, 1409529600000u);
        EXPECT_TRUE(sink.rows[0].from.rebuilt);
    }
}

TEST(CellCarver, RebuiltCellMustEndWhereTheFreeblockDoes) {
    RecordShape shape = SmsShape();
    const std::string cell = testsupport::LeafCell(300, Sms(4, "+4930123", 1409529600000, "Bis morgen!"));
    testsupport::TablePage leaf = testsupport::TablePage::Leaf(1024);
    // Seven bytes too many, and nothing that starts a cell or a freeblock there.
    leaf.AddFreeblock(600, static_cast<std::uint16_t>(cell.size() + 7), std::string(cell.substr(4)) + "XXXXXXX");
    auto page = Buffer(leaf.bytes());
    Collected sink;
    ScanStats stats;
    CellCarver(shape, 1024, 1024, sink, nullptr, stats).CarveFreeSpace(page.data(), 1024, 2, RowSource::FreeSpace);
    EXPECT_TRUE(sink.rows.empty());
}

TEST(CellCarver, WholeCellNeedsItsPayloadLengthToAddUp) {
    RecordShape shape = SmsShape();
    std::string cell = testsupport::LeafCell(300, Sms(4, "+4930123", 1409529600000, "Bis morgen!"));
    testsupport::TablePage good = testsupport::TablePage::Leaf(1024);
    good.PutInGap(std::string(8, '\0') + cell, 40);
    cell[0] = static_cast<char>(cell[0] + 1);  // payload length one too long
    testsupport::TablePage bad = testsupport::TablePage::Leaf(1024);
    bad.PutInGap(std::string(8, '\0') + cell, 40);
    ScanStats stats;
    Collected goodRows, badRows;
    auto a = Buffer(good.bytes()), b = Buffer(bad.bytes());
    CellCarver(shape, 1024, 1024, goodRows, nullptr, stats).CarveFreeSpace(a.data(), 1024, 2, RowSource::FreeSpace);
    CellCarver(shape, 1024, 1024, badRows, nullptr, stats).CarveFreeSpace(b.data(), 1024, 2, RowSource::FreeSpace);
    ASSERT_EQ(goodRows.rows.size(), 1u);
    EXPECT_EQ(goodRows.rows[0].from.rowid, 300);
    EXPECT_FALSE(goodRows.rows[0].from.rebuilt);
    EXPECT_TRUE(badRows.rows.empty());
}

// The Samsung case: hash_id as the last column of data; a freeblock holding
// several deleted rows must give exactly those rows, never values read a few
// bytes off inside them.
TEST(CellCarver, FreeblocksOfAnUpgradedDataTableGiveNoRowsReadOffTheirStart) {
    const auto layout = LayoutFromColumns(TableKind::Contacts,
                                          ColumnsFromCreateTable(KnownAndroidTables(TableKind::Contacts).back()));
    RecordShape shape = *layout->shape;
    auto dataRow = [](std::int64_t raw, std::int64_t mimetype, const std::string& data1, bool upgraded) {
        std::vector<Field> f(27, Field::Null());
        f[2] = Field::Int(mimetype);
        f[3] = Field::Int(raw);
        f[4] = Field::Zero();
        f[5] = Field::One();
        f[6] = Field::Zero();
        f[7] = Field::Int(2);
        f[8] = Field::Text(data1);
        f[9] = Field::Text("2");
        if (upgraded) {
            f.push_back(Field::Text("3b0e5c7a9f1d2e4b6a8c0d1e2f3a4b5c6d7e8f90"));
            f.push_back(Field::Zero());
        }
        return f;
    };
    testsupport::TablePage leaf = testsupport::TablePage::Leaf(4096);
    std::string run;
    const std::vector<std::pair<std::int64_t, std::string>> rows = {
        {12, "+49 171 2345678"}, {12, "Jana Nowak"}, {13, "jana@example.pl"}, {14, "+48 601 222 333"}};
    std::int64_t rowid = 1500;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        run += testsupport::LeafCell(rowid++, dataRow(rows[i].first, 5 + static_cast<std::int64_t>(i), rows[i].second, i % 2 == 1));
    }
    leaf.AddFreeblock(2000, static_cast<std::uint16_t>(run.size()), std::string_view(run).substr(4));
    auto page = Buffer(leaf.bytes());
    Collected sink;
    ScanStats stats;
    CellCarver(shape, 4096, 4096, sink, nullptr, stats).CarveFreeSpace(page.data(), 4096, 2, RowSource::FreeSpace);
    std::map<std::uint64_t, std::vector<std::string>> got;
    for (const auto& [raw, value] : sink.data) got[raw].push_back(value);
    EXPECT_EQ(got, (std::map<std::uint64_t, std::vector<std::string>> {
                       {12, {"+49 171 2345678", "Jana Nowak"}}, {13, {"jana@example.pl"}}, {14, {"+48 601 222 333"}}}));
}

// Overflow pages handed out from memory.
struct Pages final : PageLookup {
    std::map<std::uint32_t, std::string> pages;
    std::set<std::uint32_t> free;
    std::size_t ReadPage(std::uint32_t n, std::uint8_t* out) const override {
        const auto it = pages.find(n);
        if (it == pages.end()) return 0;
        std::memcpy(out, it->second.data(), it->second.size());
        return it->second.size();
    }
    bool FreeOrUnused(std::uint32_t n) const override { return free.count(n) != 0; }
};

TEST(CellCarver, LongBodyIsReadFromFreeOverflowPagesElseKeptCutShort) {
    RecordShape shape = SmsShape();
    std::string body;
    while (body.size() < 1500) body += "Eine lange Nachricht über den Urlaub am See. ";
    // The record, split as SQLite splits it on 1 KiB pages.
    std::string record = testsupport::Record(Sms(4, "+4930123", 1409529600000, body));
    const std::size_t usable = 1024, minLocal = (usable - 12) * 32 / 255 - 23, maxLocal = usable - 35;
    std::size_t local = minLocal + (record.size() - minLocal) % (usable - 4);
    if (local > maxLocal) local = minLocal;
    std::string cell = testsupport::Varint(record.size()) + testsupport::Varint(300) + record.substr(0, local) +
                       testsupport::BigEndian(7, 4);
    Pages pages;
    std::string rest = record.substr(local);
    for (std::uint32_t n = 7; !rest.empty(); ++n) {
        const std::size_t take = std::min(rest.size(), usable - 4);
        std::string page = testsupport::BigEndian(rest.size() > take ? n + 1 : 0, 4) + rest.substr(0, take);
        page.resize(usable, '\0');
        pages.pages[n] = page;
        pages.free.insert(n);
        rest.erase(0, take);
    }
    testsupport::TablePage leaf = testsupport::TablePage::Leaf(1024);
    leaf.AddFreeblock(300, static_cast<std::uint16_t>(cell.size()), std::string_view(cell).substr(4));
    auto page = Buffer(leaf.bytes());
    ScanStats stats;
    Collected whole, cut;
    CellCarver(shape, 1024, 1024, whole, &pages, stats).CarveFreeSpace(page.data(), 1024, 2, RowSource::FreeSpace);
    ASSERT_EQ(whole.rows.size(), 1u);
    EXPECT_EQ(whole.rows[0].body, body);
    EXPECT_FALSE(whole.rows[0].cut);
    pages.free.erase(7);  // the overflow page is in use again
    CellCarver(shape, 1024, 1024, cut, &pages, stats).CarveFreeSpace(page.data(), 1024, 2, RowSource::FreeSpace);
    ASSERT_EQ(cut.rows.size(), 1u);
    EXPECT_TRUE(cut.rows[0].cut);
    EXPECT_EQ(body.rfind(cut.rows[0].body, 0), 0u);
    EXPECT_LT(cut.rows[0].body.size(), local);
}

// ---------------------------------------------------------------- readers

class Database {
public:
    explicit Database(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
    ~Database() { sqlite3_close(db_); }
    void Exec(const std::string& sql) { ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql; }

private:
    sqlite3* db_ = nullptr;
};

std::string Insert(int id, const std::string& body) {
    return "INSERT INTO sms VALUES (" + std::to_string(id) + ", 1, '+4930123', NULL, " +
           std::to_string(1409529600000 + id) + ", 1, '" + body + "', 1);";
}

class LogAndJournal : public testsupport::ScratchFolderTest {};

using LiveContactsReader = testsupport::ScratchFolderTest;

TEST_F(LiveContactsReader, ReadsTheNormalisedNumberWhereTheTableHasOne) {
    for (const bool withData4 : {true, false}) {
        const std::string path = Path(withData4 ? "with.db" : "without.db");
        {
            Database db(path);
            db.Exec("CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY, mimetype TEXT);"
                    "INSERT INTO mimetypes VALUES (5, 'vnd.android.cursor.item/phone_v2');");
            db.Exec(std::string("CREATE TABLE data (_id INTEGER PRIMARY KEY, mimetype_id INTEGER, raw_contact_id "
                                "INTEGER, data1 TEXT") + (withData4 ? ", data4 TEXT);" : ");"));
            db.Exec(withData4 ? "INSERT INTO data VALUES (1, 5, 3, '06 12 34 56 78', '+33612345678');"
                              : "INSERT INTO data VALUES (1, 5, 3, '06 12 34 56 78');");
        }
        const dbrecover::LiveContactsReading reading = dbrecover::ReadLiveContacts(path);
        ASSERT_EQ(reading.rows.size(), 1u) << path;
        EXPECT_EQ(reading.rows[0].rawContactId, 3u);
        EXPECT_EQ(reading.rows[0].data1, "06 12 34 56 78");
        EXPECT_EQ(reading.rows[0].data4, withData4 ? "+33612345678" : "");
        ASSERT_EQ(reading.mimetypes.size(), 1u);
    }
}

// The contacts the phone marked deleted and the group titles come from
// Android's raw_contacts and groups tables; other shapes give none.
TEST_F(LiveContactsReader, ReadsMarkedDeletionsAndGroupsWhereTheTablesAreAndroids) {
    struct Case {
        const char* name;
        const char* sql;
        std::vector<std::uint32_t> pending;
        std::size_t groups;
    };
    const Case cases[] = {
        {"android",
         "CREATE TABLE raw_contacts (_id INTEGER PRIMARY KEY, deleted INTEGER NOT NULL DEFAULT 0);"
         "INSERT INTO raw_contacts VALUES (1, 0), (2, 1), (3, 1), (4, 2);"
         "CREATE TABLE groups (_id INTEGER PRIMARY KEY, title TEXT);"
         "INSERT INTO groups VALUES (1, 'Friends'), (5, NULL);",
         {2, 3}, 2},
        {"without_columns",
         "CREATE TABLE raw_contacts (_id INTEGER PRIMARY KEY); INSERT INTO raw_contacts VALUES (2);"
         "CREATE TABLE groups (_id INTEGER PRIMARY KEY, name TEXT); INSERT INTO groups VALUES (1, 'Friends');",
         {}, 0},
        {"views",
         "CREATE VIEW raw_contacts AS SELECT 2 AS _id, 1 AS deleted;"
         "CREATE VIEW groups AS SELECT 1 AS _id, 'Friends' AS title;",
         {}, 0},
    };
    for (const Case& c : cases) {
        const std::string path = Path(std::string(c.name) + ".db");
        Database(path).Exec(c.sql);
        const dbrecover::LiveContactsReading reading = dbrecover::ReadLiveContacts(path);
        EXPECT_EQ(reading.pendingDeletes, c.pending) << c.name;
        ASSERT_EQ(reading.groups.size(), c.groups) << c.name;
        if (c.groups == 2) {
            EXPECT_EQ(reading.groups[0].id, 1);
            EXPECT_EQ(reading.groups[0].title, "Friends");
            EXPECT_EQ(reading.groups[1].title, "");
        }
    }
}

TEST_F(LogAndJournal, RowsInsertedAndDeletedBetweenCheckpointsAreFoundInTheLogOnly) {
    const std::string live = Path("phone/mmssms.db"), copy = Path("mmssms.db");
    platform::CreateFolders(Path("phone"));
    {
        Database db(live);
        db.Exec("PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; PRAGMA secure_delete=ON;");
        db.Exec(kSms);
        for (int i = 1; i <= 30; ++i) db.Exec(Insert(i, "Frühe Nachricht " + std::to_string(i)));
        db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        for (int i = 31; i <= 60; ++i) db.Exec(Insert(i, "Im Log " + std::to_string(i)));
        db.Exec("PRAGMA wal_checkpoint(PASSIVE)");  // the next write starts the log again
        db.Exec("DELETE FROM sms WHERE _id > 30");
        db.Exec(Insert(61, "Nach dem Neustart"));
        db.Exec("DELETE FROM sms WHERE _id = 61");
        ASSERT_TRUE(platform::CopyFileReplace(live, copy));
        ASSERT_TRUE(platform::CopyFileReplace(live + "-wal", copy + "-wal"));
    }
    const std::string wal = platform::ReadWholeFile(copy + "-wal").value_or("");
    const WalLog log = ReadWal(wal, 1024);
    ASSERT_TRUE(log.headerOk);
    EXPECT_EQ(log.pageSize, 1024u);
    ASSERT_FALSE(log.frames.empty());
    EXPECT_NE(log.databasePages, 0u);
    bool stale = false;
    for (const WalFrame& f : log.frames) stale = stale || !f.saltsMatch;
    EXPECT_TRUE(stale) << "frames of the log's first life lie behind the second";

    Collected sink;
    const ScanStats stats = RecoverTable(CaptureCompanions(copy), TableKind::Messages, sink);
    EXPECT_GT(stats.walFrames, 0u);
    std::set<std::string> bodies;
    for (const auto& r : sink.rows) {
        bodies.insert(r.body);
        // Live rows come only from older page versions, where the loaders
        // know them as live; the current free space is zeroed.
        if (r.body.find("Frühe") != std::string::npos) { EXPECT_NE(r.from.source, RowSource::FreeSpace); }
    }
    EXPECT_TRUE(bodies.count("Nach dem Neustart"));
    for (int i = 31; i <= 60; ++i) EXPECT_TRUE(bodies.count("Im Log " + std::to_string(i))) << i;

    // A damaged frame is still carved, but the log SQLite sees ends before it.
    std::string damaged = wal;
    damaged[32 + 24 + 100] ^= 0x55;
    const WalLog cut = ReadWal(damaged, 1024);
    EXPECT_FALSE(cut.frames[0].checksumOk);
    EXPECT_TRUE(cut.currentFrameOf.empty());
}

TEST_F(LogAndJournal, JournalLeftInPersistModeHoldsThePagesFromBeforeTheDelete) {
    const std::string live = Path("phone/mmssms.db"), copy = Path("mmssms.db");
    platform::CreateFolders(Path("phone"));
    {
        Database db(live);
        db.Exec("PRAGMA page_size=1024; PRAGMA journal_mode=PERSIST; PRAGMA secure_delete=ON;");
        db.Exec(kSms);
        db.Exec("BEGIN");
        for (int i = 1; i <= 40; ++i) db.Exec(Insert(i, "Nachricht " + std::to_string(i)));
        db.Exec("COMMIT");
        db.Exec("DELETE FROM sms WHERE _id % 4 = 0");
        ASSERT_TRUE(platform::CopyFileReplace(live, copy));
        ASSERT_TRUE(platform::CopyFileReplace(live + "-journal", copy + "-journal"));
    }
    const std::string bytes = platform::ReadWholeFile(copy + "-journal").value_or("");
    const Journal journal = ReadJournal(bytes, 1024, 100);
    EXPECT_FALSE(journal.headerOk) << "PERSIST zeroes the header";
    ASSERT_FALSE(journal.pages.empty());
    for (const JournalPage& p : journal.pages) EXPECT_LE(p.page, 100u);

    Collected sink;
    RecoverTable(CaptureCompanions(copy), TableKind::Messages, sink);
    std::set<std::string> bodies;
    for (const auto& r : sink.rows) {
        if (r.from.source == RowSource::Journal) bodies.insert(r.body);
    }
    for (int i = 4; i <= 40; i += 4) EXPECT_TRUE(bodies.count("Nachricht " + std::to_string(i))) << i;

    // Garbage and a header of its own in the middle are stepped over.
    const std::string noisy = bytes + std::string(700, '\x7f') + bytes.substr(0, 28);
    EXPECT_GE(ReadJournal(noisy, 1024, 100).pages.size(), journal.pages.size());
}

TEST(FreelistWalk, LoopsAndCountsPastThePageAreCut) {
    std::map<std::uint32_t, std::string> pages;
    auto trunk = [](std::uint32_t next, std::vector<std::uint32_t> leaves, std::uint32_t count) {
        std::string p = testsupport::BigEndian(next, 4) + testsupport::BigEndian(count, 4);
        for (std::uint32_t l : leaves) p += testsupport::BigEndian(l, 4);
        p.resize(1024, '\0');
        return p;
    };
    pages[2] = trunk(3, {4, 5, 99}, 3);     // 99 is past the database
    pages[3] = trunk(2, {5, 6}, 0xFFFFFFF);  // back to 2; a count no page holds
    const auto read = [&](std::uint32_t n, std::uint8_t* out) -> std::size_t {
        if (!pages.count(n)) return 0;
        std::memcpy(out, pages[n].data(), 1024);
        return 1024;
    };
    const Freelist list = WalkFreelist(2, 10, 1024, 1024, read);
    EXPECT_EQ(list.trunks, (std::vector<std::uint32_t> {2, 3}));
    EXPECT_EQ(list.leaves, (std::vector<std::uint32_t> {4, 5, 6}));
    EXPECT_TRUE(WalkFreelist(0, 10, 1024, 1024, read).trunks.empty());
}

}  // namespace
}  // namespace qb::dbrecover

#include "tools/sample_phone/sample_phone.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string_view>

#include "platform/file.h"
#include "tools/sample_phone/android_schema.h"
#include "tools/sample_phone/sql_value.h"

namespace qb::tools {
namespace {

// splitmix64: the same sequence on every platform and library.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : Next() % n; }
    template <typename T>
    void Shuffle(std::vector<T>& v) {
        for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[Below(i)]);
    }

private:
    std::uint64_t state_;
};

// ---------------------------------------------------------------- content

constexpr const char* kPrefix = "vnd.android.cursor.item/";

struct MimetypeInfo {
    const char* name;   // after the common prefix, unless it has its own
    const char* field;  // the contact field its values belong to
};

// Android's kinds of data row, plus one that a messenger app adds.
const MimetypeInfo kMimetypes[] = {
    {"email_v2", "email"},          {"im", "im"},
    {"nickname", "nickname"},       {"organization", "organization"},
    {"phone_v2", "phone"},          {"sip_address", "sipAddress"},
    {"name", "name"},               {"postal-address_v2", "postalAddress"},
    {"group_membership", "others"}, {"website", "website"},
    {"note", "note"},               {"contact_event", "others"},
    {"identity", "others"},         {"photo", "others"},
    {"relation", "others"},         {"vnd.com.whatsapp.profile", "others"},
};

std::string FullMimetype(const MimetypeInfo& m) {
    const std::string name = m.name;
    return name.rfind("vnd.", 0) == 0 ? name : kPrefix + name;
}

struct Item {
    const char* kind;  // a kMimetypes name
    const char* value;
};

struct Person {
    const char* given;
    const char* family;
    std::vector<Item> items;
    bool photo = false;
};

const std::vector<Person>& People() {
    static const std::vector<Person> people = {
        {"Zoë", "Ångström", {{"phone_v2", "+46 70 123 45 67"}, {"email_v2", "zoe.angstrom@example.se"},
          {"organization", "Nordvik Förlag AB"}, {"note", "Met at the Göteborg book fair"}, {"nickname", "Zo"}}, true},
        {"Łukasz", "Żółć", {{"phone_v2", "+48 601 234 567"}, {"phone_v2", "+48 22 555 01 23"},
          {"email_v2", "lukasz.zolc@example.pl"}}},
        {"小明", "王", {{"phone_v2", "+8613800138000"}, {"im", "xiaoming.wang"},
          {"website", "http://example.cn/~xiaoming"}}},
        {"Amélie", "Dubois", {{"phone_v2", "0612345678"}, {"postal-address_v2", "12 rue des Lilas\n75011 Paris\nFrance"},
          {"contact_event", "1988-06-21"}}, true},
        {"Søren", "Kierkegaard-Nielsen", {{"phone_v2", "+4520123456"}, {"email_v2", "soren@example.dk"},
          {"group_membership", "1"}}},
        {"Mia 🌸", "Schmidt", {{"phone_v2", "+4915112345678"}, {"nickname", "Mimi"}, {"relation", "Lena Schmidt"}}},
        {"José", "Álvarez", {{"phone_v2", "+34 612 345 678"}, {"organization", "Café Olé S.L."},
          {"sip_address", "jose@sip.example.es"}}},
        {"Ingrid", "Þórsdóttir", {{"phone_v2", "+354 555 1234"}, {"email_v2", "ingrid@example.is"}}},
        {"Ахмед", "Иванов", {{"phone_v2", "+7 912 345-67-89"}, {"note", "Встреча в пятницу"}}},
        {"Νίκος", "Παπαδόπουλος", {{"phone_v2", "+30 694 123 4567"}, {"note", "Κουμπάρος"}}},
        {"Chidi", "Okafor", {{"phone_v2", "+234 803 123 4567"}, {"website", "https://okafor.example.ng"},
          {"organization", "Lagos Teaching Hospital"}}, true},
        {"Hannah", "O'Brien", {{"phone_v2", "5551234"}, {"phone_v2", "5559876"},
          {"email_v2", "hannah.obrien@example.ie"}}},
        {"Priya", "Raghunathan", {{"phone_v2", "+91 98765 43210"}, {"im", "priya.r"}, {"identity", "PR-0042"}}},
        {"健二", "田中", {{"phone_v2", "090-1234-5678"}, {"postal-address_v2", "東京都渋谷区神南1-2-3"}}},
        {"Fatima", "Zahra", {{"phone_v2", "+212612345678"}, {"vnd.com.whatsapp.profile", "Fatima Z. (profile)"}}},
        {"Pedro", "Gonçalves", {{"phone_v2", "+351 912 345 678"}, {"nickname", "Pepe"}}},
        {"Anna-Lena", "Müller", {{"phone_v2", "+49 30 1234567"}, {"email_v2", "anna-lena.mueller@example.de"},
          {"note", "Schlüssel für den Keller"}}},
        {"Tomás", "Ó Súilleabháin", {{"phone_v2", "+353 87 123 4567"}}},
        {"Emily", "Chen", {{"phone_v2", "+1 415 555 0142"}, {"email_v2", "emily.chen@example.com"},
          {"organization", "Chen & Partners"}}, true},
        {"Oliver", "Twist", {{"phone_v2", "+44 20 7946 0018"}, {"postal-address_v2", "221B Baker Street, London"}}},
        {"Marta", "Kowalczyk", {{"phone_v2", "+48 512 987 654"}, {"contact_event", "1990-02-14"}}},
        {"Ümit", "Yılmaz", {{"phone_v2", "+90 532 123 45 67"}, {"email_v2", "umit@example.com.tr"}}},
        {"Chloé", "Lefèvre", {{"phone_v2", "+33781234567"}, {"website", "chloe-lefevre.example.fr"}}},
        {"Ravi", "Shankar", {{"phone_v2", "+91 22 2345 6789"}}},
        {"愛子", "鈴木", {{"phone_v2", "080-9876-5432"}, {"note", "誕生日は五月"}}},
        {"Björn", "Ironside", {{"phone_v2", "+47 412 34 567"}}},
        {"Leïla", "Benali", {{"phone_v2", "+33698765432"}, {"email_v2", "leila.benali@example.fr"}}},
        {"Lan", "Nguyễn Thị", {{"phone_v2", "+84 91 234 5678"}}},
        // Added on the phone after the last checkpoint.
        {"Sam", "Taylor", {{"phone_v2", "+1 202 555 0199"}}},
        {"Élodie", "Martin", {{"phone_v2", "+33611223344"}, {"email_v2", "elodie.martin@example.fr"}}},
    };
    return people;
}
constexpr std::size_t kPeopleAddedLate = 2;

// The groups of the phone's contacts; group membership rows hold the _id.
struct Group {
    std::int64_t id;
    const char* title;
    const char* systemId;
};
const Group kGroups[] = {{1, "Friends", nullptr}, {6, "My Contacts", "Contacts"}};

// Conversation partners: most are phone numbers of the contacts above,
// written exactly as the contact stores them, so that names resolve.
const std::vector<const char*>& Correspondents() {
    static const std::vector<const char*> addresses = {
        "+4915112345678", "5551234", "+8613800138000", "0612345678", "+4520123456", "+212612345678",
        "+447700900123",  "5559876", "+33781234567",   "80888",      "+33698765432", "+15005550006",
    };
    return addresses;
}

const std::vector<const char*>& Bodies() {
    static const std::vector<const char*> bodies = {
        "Hi! Are we still on for dinner tonight?",
        "Ja, um 19 Uhr im Café Glück. Grüße!",
        "Can you pick up milk on the way home?",
        "Je suis en retard, désolé 🙈",
        "晚上一起吃饭吗？",
        "Your verification code is 482913. Do not share it with anyone.",
        "Paket wurde zugestellt: Abholstation Müllerstraße 12.",
        "¿Nos vemos mañana a las diez?",
        "Happy birthday!!! 🎉🎂",
        "Landed safely, call you in an hour.",
        "Το τρένο αργεί 20 λεπτά.",
        "Can't talk now, in a meeting.",
        "Dziękuję za wczoraj, było super!",
        "The keys are under the mat.",
        "OK 👍",
        "Reminder: dentist appointment Thursday 14:30.",
        "Ring me when you get this please",
        "Tak, widzimy się w sobotę.",
        "Your parcel AB123456789 is out for delivery today between 10:00 and 14:00.",
        "Sorry, wrong number.",
        "Miss you already ❤️",
        "Did you see the match last night? Incredible second half, I still can't believe that goal in the 89th minute.",
        "Bring the charger, mine is dead.",
        "Kommst du morgen mit zum Flohmarkt?",
        "今日はありがとうございました。",
        "Rent is due on the 1st — transfer done.",
        "Running 5 min late, order me a flat white",
        "Grüße aus München 🍺",
        "Встретимся у метро в шесть.",
        "Quote of the day: \"Stay hungry, stay foolish\" \\o/",
        "Tab\tseparated\tlist: eggs\tflour\tsugar",
        "Line one\nLine two\nLine three",
        "We need to talk about the weekend plans, call me when you are free. I have some ideas for the trip to the lake "
        "and want to book the cabin before Friday.",
        "Merci beaucoup ! À bientôt.",
        "<b>not bold</b> & </script> stays text",
    };
    return bodies;
}

// ---------------------------------------------------------------- SQLite

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

class Database {
public:
    bool Open(const std::string& path, std::string* error) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            return Fail(error, "cannot create " + path);
        }
        return true;
    }
    ~Database() { sqlite3_close(db_); }
    sqlite3* get() const { return db_; }

    bool Exec(const std::string& sql, std::string* error) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "unknown error";
            sqlite3_free(message);
            return Fail(error, text + " in: " + sql.substr(0, 80));
        }
        return true;
    }

    // Inserts one row into all columns of a table; returns its row id, or 0.
    std::int64_t Insert(const std::string& table, const SqlRow& row, std::string* error) {
        std::string sql = "INSERT INTO " + table + " VALUES (";
        for (std::size_t i = 0; i < row.size(); ++i) sql += i ? ",?" : "?";
        sql += ")";
        return Run(sql, row, error) ? sqlite3_last_insert_rowid(db_) : 0;
    }

    bool Run(const std::string& sql, const SqlRow& parameters, std::string* error) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt);
            return Fail(error, std::string(sqlite3_errmsg(db_)) + " in: " + sql.substr(0, 80));
        }
        BindRow(stmt, parameters);
        const int rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) return Fail(error, std::string(sqlite3_errmsg(db_)) + " in: " + sql.substr(0, 80));
        return true;
    }

private:
    sqlite3* db_ = nullptr;
};

// The phases of a database's life before the pull.
using Phase = std::function<bool(Database&, std::string*)>;
struct Life {
    Phase fill;        // schema and every row
    Phase earlyChange; // before the last checkpoint
    Phase lateChange;  // after it, left in the log
    // Between the early change and the late one, each in a transaction of
    // its own; in WAL mode a checkpoint follows each round but the last, and
    // the next writer starts the log again from its first frame.
    std::vector<Phase> rounds;
};

// Lives a database through its phases in a scratch folder and copies it
// out as a pull does, while the phone still has it open: the main file with
// its companions into folder, the main file alone into folder/bak.
bool LiveAndPull(const std::string& scratch, const std::string& folder, const std::string& fileName,
                 const std::string& journalMode, const SamplePhoneOptions& options, Life& life, std::string* error) {
    const bool wal = journalMode == "wal";
    const std::string path = platform::JoinPath(scratch, fileName);
    Database db;
    if (!db.Open(path, error)) return false;
    const std::string setup = "PRAGMA page_size=" + std::to_string(options.pageSize) + ";" +
                              (wal ? "PRAGMA journal_mode=WAL;PRAGMA wal_autocheckpoint=0;"
                                   : "PRAGMA journal_mode=" + journalMode + ";") +
                              "PRAGMA secure_delete=" + (options.secureDelete ? "ON" : "OFF") + ";";
    if (!db.Exec(setup, error)) return false;
    if (!db.Exec("BEGIN", error) || !life.fill(db, error) || !db.Exec("COMMIT", error)) return false;
    if (!db.Exec("BEGIN", error) || !life.earlyChange(db, error) || !db.Exec("COMMIT", error)) return false;
    if (wal && !db.Exec("PRAGMA wal_checkpoint(TRUNCATE)", error)) return false;
    for (std::size_t r = 0; r < life.rounds.size(); ++r) {
        if (!db.Exec("BEGIN", error) || !life.rounds[r](db, error) || !db.Exec("COMMIT", error)) return false;
        if (wal && r + 1 < life.rounds.size() && !db.Exec("PRAGMA wal_checkpoint(PASSIVE)", error)) return false;
    }
    if (!db.Exec("BEGIN", error) || !life.lateChange(db, error) || !db.Exec("COMMIT", error)) return false;

    const std::string target = platform::JoinPath(folder, fileName);
    if (!platform::CopyFileReplace(path, target, error)) return false;
    for (const char* companion : {"-wal", "-shm"}) {
        if (!wal) break;
        if (!platform::CopyFileReplace(path + companion, target + companion, error)) return false;
    }
    if (platform::FileExists(path + "-journal") &&
        !platform::CopyFileReplace(path + "-journal", target + "-journal", error)) {
        return false;
    }
    return platform::CopyFileReplace(path, platform::JoinPath(platform::JoinPath(folder, "bak"), fileName), error);
}

// The pulled files as bytes, to find where a row's record still lies.
struct PullBytes {
    std::string currentFile, log, journal, backupFile;
    static PullBytes Read(const std::string& current, const std::string& backup) {
        PullBytes b;
        b.currentFile = platform::ReadWholeFile(current).value_or(std::string());
        b.log = platform::ReadWholeFile(current + "-wal").value_or(std::string());
        b.journal = platform::ReadWholeFile(current + "-journal").value_or(std::string());
        b.backupFile = platform::ReadWholeFile(backup).value_or(std::string());
        return b;
    }
};

// Where the record bytes of a row that no copy holds as a live row lie in
// the pull. For a text longer than its cell holds (text is its whole
// content), the key is cut after the text's first bytes, and whether the
// text's last bytes lie in the pull tells if its overflow pages survive.
// record: the whole record (header length, serial types, body) as SQLite
// stores it, to tell which of its bytes go to overflow pages.
void FindInPull(std::string key, const std::string& text, const std::string& record, std::uint32_t pageSize,
                const PullBytes& pull, Intact& intact) {
    const std::uint64_t usable = pageSize, payload = record.size();
    const std::uint64_t maxLocal = usable - 35, minLocal = (usable - 12) * 32 / 255 - 23;
    std::uint64_t local = payload;
    if (payload > maxLocal) {
        const std::uint64_t k = minLocal + (payload - minLocal) % (usable - 4);
        local = k <= maxLocal ? k : minLocal;
    }
    const bool spills = local < payload;
    if (spills) key.resize(key.size() - text.size() + std::min<std::size_t>(text.size(), 24));
    const auto anywhere = [&](std::string_view bytes) {
        for (const std::string* file : {&pull.currentFile, &pull.log, &pull.journal, &pull.backupFile}) {
            if (file->find(bytes) != std::string::npos) return true;
        }
        return false;
    };
    intact.inCurrentFile = pull.currentFile.find(key) != std::string::npos;
    intact.inLog = pull.log.find(key) != std::string::npos;
    intact.inJournal = pull.journal.find(key) != std::string::npos;
    intact.inBackupFile = pull.backupFile.find(key) != std::string::npos;
    // Whole when every overflow page's share of the record survives as it
    // was written (a freed page that became a freelist trunk lost its first bytes).
    // The cell's own part must be whole too: the overflow chain starts at
    // its end.
    const std::size_t headerLength = static_cast<unsigned char>(record[0]) < 0x80 ? 1 : 2;
    intact.tailInPull = !spills || anywhere(std::string_view(record).substr(headerLength, local - headerLength));
    for (std::uint64_t at = local; spills && at < payload; at += usable - 4) {
        const std::string_view chunk(record.data() + at, static_cast<std::size_t>(std::min(usable - 4, payload - at)));
        if (!anywhere(chunk)) intact.tailInPull = false;
    }
}

// The whole record of a row as SQLite stores it: header length, serial
// types, body.
std::string WholeRecord(const SqlRow& row) {
    const std::string types = CarveKey(row, 0, -1);
    const std::string all = CarveKey(row, 0, static_cast<int>(row.size()) - 1);
    std::uint64_t header = types.size() + 1;
    if (header >= 128) ++header;
    std::string length;
    if (header >= 128) length += static_cast<char>(0x80 | (header >> 7));
    length += static_cast<char>(header & 0x7F);
    return length + all;
}

// A copy of a database as the recovery reads it raw, with the leaf pages of
// one table: a deleted row is only recoverable while its bytes lie intact on
// one of those pages (stale copies on interior or freelist pages do not count).
struct TableImage {
    std::string bytes;
    std::uint32_t pageSize = 0;
    std::vector<std::uint32_t> leafPages;

    // How many times the record bytes lie on the table's leaf pages.
    std::size_t Occurrences(const std::string& key) const {
        std::size_t count = 0;
        for (std::uint32_t page : leafPages) {
            const std::size_t start = static_cast<std::size_t>(page - 1) * pageSize;
            if (start >= bytes.size()) continue;
            const std::string_view content(bytes.data() + start, std::min<std::size_t>(pageSize, bytes.size() - start));
            for (std::size_t at = content.find(key); at != std::string_view::npos; at = content.find(key, at + 1)) ++count;
        }
        return count;
    }
};

// Copies the file (and its companions, when withLog) into the scratch
// folder, finds the table's leaf pages through SQLite's page statistics, and
// reads the copy once SQLite has closed it, folding the log into the file.
TableImage ReadTableImage(const std::string& scratch, const std::string& source, const std::string& fileName,
                          const char* table, bool withLog, std::string* error) {
    TableImage image;
    const std::string checkFolder = platform::JoinPath(scratch, "check");
    platform::CreateFolder(checkFolder);
    const std::string copy = platform::JoinPath(checkFolder, fileName);
    for (const char* companion : {"-wal", "-shm"}) platform::DeleteFileIfExists(copy + companion);
    if (!platform::CopyFileReplace(source, copy, error)) return image;
    for (const char* companion : {"-wal", "-shm"}) {
        if (withLog && platform::FileExists(source + companion)) platform::CopyFileReplace(source + companion, copy + companion);
    }
    {
        Database db;
        if (!db.Open(copy, error)) return image;
        sqlite3_stmt* stmt = nullptr;
        const std::string sql = std::string("SELECT pageno FROM dbstat WHERE name='") + table + "' AND pagetype='leaf'";
        if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                image.leafPages.push_back(static_cast<std::uint32_t>(sqlite3_column_int64(stmt, 0)));
            }
        } else if (error) {
            *error = "SQLite lacks the dbstat table: " + std::string(sqlite3_errmsg(db.get()));
        }
        sqlite3_finalize(stmt);
    }
    image.bytes = platform::ReadWholeFile(copy).value_or(std::string());
    if (image.bytes.size() >= 18) {
        image.pageSize = static_cast<std::uint8_t>(image.bytes[16]) * 256u + static_cast<std::uint8_t>(image.bytes[17]);
        if (image.pageSize == 1) image.pageSize = 65536;
    }
    return image;
}

// A row is carvable from a copy when its record bytes lie on a leaf page
// more often than the copy holds it as a live row: a deleted row's cell, or
// a stale copy of a live row that SQLite left behind when it moved cells.
Intact FindIntact(const std::string& key, const TableImage& current, const TableImage& backup, RowState state) {
    const bool liveInCurrent = state == RowState::Live || state == RowState::AddedAfterCheckpoint;
    const bool liveInBackup = state == RowState::Live || state == RowState::DeletedAfterCheckpoint;
    Intact intact;
    intact.inCurrent = current.Occurrences(key) > (liveInCurrent ? 1u : 0u);
    intact.inBackup = backup.Occurrences(key) > (liveInBackup ? 1u : 0u);
    return intact;
}

// ---------------------------------------------------------------- contacts

struct PlannedDataRow {
    SqlRow row;
    std::string mimetype;
    std::string field;
    RowState state = RowState::Live;
    std::int64_t id = 0;  // once inserted
};

// Position of data1 in a data row of the layout.
int Data1Column(bool android7) { return android7 ? 9 : 8; }

// Android 7's layout: hash_id (a SHA-1 in hex of the row's value, for the
// kinds whose values are looked up) after raw_contact_id, carrier_presence
// at the end.
SqlRow Android7Row(SqlRow row, bool hashed) {
    std::string hash;
    if (hashed && row[8].kind == SqlValue::Kind::Text) {
        std::uint64_t h = 1469598103934665603ull;
        for (char c : row[8].bytes) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        static const char* kHex = "0123456789abcdef";
        for (int i = 0; i < 40; ++i) hash += kHex[(h >> ((i % 16) * 4)) & 15];
    }
    row.insert(row.begin() + 4, hashed ? SqlValue::Text(hash) : SqlValue::Null());
    row.push_back(SqlValue::Int(0));
    return row;
}

SqlRow DataRow(std::int64_t mimetypeId, std::int64_t rawContactId, int isPrimary, int version,
               std::optional<std::string> data1, std::optional<std::string> data2, std::optional<std::string> data3,
               std::optional<std::string> data15Blob) {
    SqlRow row(kDataColumns, SqlValue::Null());
    row[2] = SqlValue::Int(mimetypeId);
    row[3] = SqlValue::Int(rawContactId);
    row[4] = SqlValue::Int(0);
    row[5] = SqlValue::Int(isPrimary);
    row[6] = SqlValue::Int(isPrimary);
    row[7] = SqlValue::Int(version);
    if (data1) row[8] = SqlValue::Text(*data1);
    if (data2) row[9] = SqlValue::Text(*data2);
    if (data3) row[10] = SqlValue::Text(*data3);
    if (data15Blob) row[22] = SqlValue::Blob(*data15Blob);
    return row;
}

bool GenerateContacts(const std::string& scratch, const std::string& folder, const SamplePhoneOptions& options,
                      Rng& rng, GroundTruth& truth, std::string* error) {
    // Mimetype ids follow the order the phone first met each kind, which is
    // different on every phone.
    std::vector<std::size_t> mimetypeOrder(std::size(kMimetypes));
    for (std::size_t i = 0; i < mimetypeOrder.size(); ++i) mimetypeOrder[i] = i;
    rng.Shuffle(mimetypeOrder);
    std::map<std::string, std::int64_t> mimetypeId;
    std::map<std::string, std::string> fieldOf;
    for (std::size_t k = 0; k < mimetypeOrder.size(); ++k) {
        const MimetypeInfo& m = kMimetypes[mimetypeOrder[k]];
        mimetypeId[m.name] = static_cast<std::int64_t>(k + 1);
        fieldOf[m.name] = m.field;
    }

    const auto& people = People();
    const std::size_t early = people.size() - kPeopleAddedLate;
    struct PlannedPerson {
        std::string display;
        std::vector<PlannedDataRow> rows;
        bool addedLate = false;
        RowState state = RowState::Live;
    };
    std::vector<PlannedPerson> persons;
    for (int copy = 0; copy < options.scale; ++copy) {
        for (std::size_t i = 0; i < people.size(); ++i) {
            const Person& p = people[i];
            const std::string suffix = copy == 0 ? "" : " " + std::to_string(copy + 1);
            PlannedPerson planned;
            planned.display = std::string(p.given) + " " + p.family + suffix;
            planned.addedLate = i >= early;
            const std::int64_t raw = static_cast<std::int64_t>(persons.size()) + 1;
            auto add = [&](const std::string& kind, SqlRow row) {
                if (options.android7Contacts) row = Android7Row(std::move(row), kind == "phone_v2" || kind == "email_v2");
                planned.rows.push_back({std::move(row), FullMimetype({kind.c_str(), ""}), fieldOf[kind], RowState::Live, 0});
            };
            add("name", DataRow(mimetypeId["name"], raw, 0, 1, planned.display, std::string(p.given) + suffix,
                                std::string(p.family), std::nullopt));
            int n = 0;
            for (const Item& item : p.items) {
                std::string value = item.value;
                if (copy > 0) value += "-" + std::to_string(copy + 1);
                const bool phone = std::string(item.kind) == "phone_v2";
                add(item.kind, DataRow(mimetypeId[item.kind], raw, n == 0 ? 1 : 0, static_cast<int>(rng.Below(4)),
                                       value, phone ? std::optional<std::string>("2") : std::nullopt, std::nullopt,
                                       std::nullopt));
                ++n;
            }
            if (p.photo) {
                std::string jpeg = "\xFF\xD8\xFF\xE0";
                for (int k = 0; k < 60; ++k) jpeg.push_back(static_cast<char>(rng.Below(256)));
                jpeg += "\xFF\xD9";
                add("photo", DataRow(mimetypeId["photo"], raw, 0, 0, std::nullopt, std::nullopt, std::nullopt, jpeg));
            }
            persons.push_back(std::move(planned));
        }
    }

    // Who the owner deleted, before and after the last checkpoint: whole
    // contacts, and single rows of contacts that stay.
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < persons.size(); ++i) {
        if (!persons[i].addedLate) candidates.push_back(i);
    }
    rng.Shuffle(candidates);
    const std::size_t wholeEarly = 5 * static_cast<std::size_t>(options.scale);
    const std::size_t wholeLate = 4 * static_cast<std::size_t>(options.scale);
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        PlannedPerson& p = persons[candidates[k]];
        if (k < wholeEarly) {
            p.state = RowState::DeletedBeforeCheckpoint;
        } else if (k < wholeEarly + wholeLate) {
            p.state = RowState::DeletedAfterCheckpoint;
        } else if (k < wholeEarly + wholeLate + 5 * static_cast<std::size_t>(options.scale) && p.rows.size() > 2) {
            // One of the contact's detail rows goes, the contact stays.
            const RowState state = k % 2 ? RowState::DeletedBeforeCheckpoint : RowState::DeletedAfterCheckpoint;
            p.rows[1 + rng.Below(p.rows.size() - 1)].state = state;
        }
        for (auto& row : p.rows) {
            if (p.state != RowState::Live) row.state = p.state;
        }
    }
    // A bulk delete: a block of contacts next to each other (an account's),
    // whose rows fill whole leaf pages.
    if (options.bulkDelete) {
        for (std::size_t i = 0; i < persons.size() && i < 10 * static_cast<std::size_t>(options.scale); ++i) {
            if (persons[i].addedLate) continue;
            persons[i].state = RowState::DeletedBeforeCheckpoint;
            for (auto& row : persons[i].rows) row.state = RowState::DeletedBeforeCheckpoint;
        }
    }
    for (auto& p : persons) {
        if (p.addedLate) {
            p.state = RowState::AddedAfterCheckpoint;
            for (auto& row : p.rows) row.state = RowState::AddedAfterCheckpoint;
        }
    }
    // Contacts the owner deleted that the phone only marked deleted, waiting
    // for the deletion to be synced: one before the last checkpoint, one
    // after it (the backup copy shows it unmarked).
    std::vector<std::int64_t> pending;
    for (std::size_t i = 0; i < persons.size() && pending.size() < 2; ++i) {
        if (persons[i].state == RowState::Live) pending.push_back(static_cast<std::int64_t>(i) + 1);
    }
    truth.pendingDeletes = pending;
    const auto markDeleted = [&](Database& db, std::int64_t raw, std::string* err) {
        return db.Run("UPDATE raw_contacts SET deleted=1, dirty=1 WHERE _id=?", {SqlValue::Int(raw)}, err);
    };
    // Numbers added to live contacts and taken away again over the rounds
    // of the log's life.
    struct TransientRow {
        std::size_t person;
        PlannedDataRow row;
        std::size_t round;
    };
    std::vector<TransientRow> transients;
    if (options.logLife) {
        for (std::size_t round = 0; round < 3; ++round) {
            for (std::size_t k = 0; k < (4 - round) * static_cast<std::size_t>(options.scale); ++k) {
                const std::size_t i = rng.Below(persons.size());
                if (persons[i].state != RowState::Live) continue;
                const std::int64_t raw = static_cast<std::int64_t>(i) + 1;
                const std::string number = "+49 171 " + std::to_string(1000000 + rng.Below(8999999));
                SqlRow row = DataRow(mimetypeId["phone_v2"], raw, 0, 0, number, std::string("3"), std::nullopt,
                                     std::nullopt);
                if (options.android7Contacts) row = Android7Row(std::move(row), true);
                // The middle round's numbers are checkpointed before they go:
                // the backup copy still holds them.
                const RowState state = round == 1 ? RowState::DeletedAfterCheckpoint : RowState::Transient;
                transients.push_back({i, {std::move(row), FullMimetype({"phone_v2", ""}), "phone", state, 0}, round});
            }
        }
    }

    auto insertPerson = [&](Database& db, std::size_t index, std::string* err) {
        PlannedPerson& p = persons[index];
        const std::int64_t raw = static_cast<std::int64_t>(index) + 1;
        SqlRow contact = {SqlValue::Int(raw), SqlValue::Int(raw), SqlValue::Null(), SqlValue::Null(), SqlValue::Null(),
                          SqlValue::Int(0), SqlValue::Int(static_cast<std::int64_t>(rng.Below(20))), SqlValue::Null(),
                          SqlValue::Int(0), SqlValue::Int(1), SqlValue::Text("0r" + std::to_string(raw) + "-" + p.display),
                          SqlValue::Null(), SqlValue::Int(1409529600000 + raw * 1000)};
        if (!db.Insert("contacts", contact, err)) return false;
        if (!db.Run("INSERT INTO raw_contacts (_id, account_id, contact_id, display_name, display_name_alt, "
                    "display_name_source, sort_key, sort_key_alt) VALUES (?,1,?,?,?,40,?,?)",
                    {SqlValue::Int(raw), SqlValue::Int(raw), SqlValue::Text(p.display), SqlValue::Text(p.display),
                     SqlValue::Text(p.display), SqlValue::Text(p.display)},
                    err)) {
            return false;
        }
        for (PlannedDataRow& row : p.rows) {
            const std::int64_t id = db.Insert("data", row.row, err);
            if (id == 0) return false;
            row.id = id;
            if (row.field == "phone") {
                std::string digits;
                for (char ch : row.row[Data1Column(options.android7Contacts)].bytes) {
                    if (ch >= '0' && ch <= '9') digits += ch;
                }
                std::string minMatch(digits.rbegin(), digits.rend());
                minMatch.resize(std::min<std::size_t>(minMatch.size(), 7));
                if (!db.Run("INSERT INTO phone_lookup VALUES (?,?,?,?)",
                            {SqlValue::Int(id), SqlValue::Int(raw), SqlValue::Text(digits), SqlValue::Text(minMatch)},
                            err)) {
                    return false;
                }
            }
        }
        return true;
    };

    Life life;
    life.fill = [&](Database& db, std::string* err) {
        RegisterPhonebookCollation(db.get());
        if (!db.Exec(ContactsSchemaSql(options.android7Contacts), err)) return false;
        // A phone in use for a while: row ids are well past the first hundred.
        if (!db.Run("INSERT INTO sqlite_sequence (name, seq) VALUES ('data', 1499)", {}, err)) return false;
        if (!db.Run("INSERT INTO accounts VALUES (1, 'Phone', 'com.android.localphone', NULL)", {}, err)) return false;
        for (std::size_t k = 0; k < mimetypeOrder.size(); ++k) {
            if (!db.Insert("mimetypes", {SqlValue::Null(), SqlValue::Text(FullMimetype(kMimetypes[mimetypeOrder[k]]))},
                           err)) {
                return false;
            }
        }
        for (const Group& g : kGroups) {
            if (!db.Run("INSERT INTO groups (_id, account_id, title, system_id, group_visible) VALUES (?,1,?,?,1)",
                        {SqlValue::Int(g.id), SqlValue::Text(g.title),
                         g.systemId ? SqlValue::Text(g.systemId) : SqlValue::Null()},
                        err)) {
                return false;
            }
        }
        for (std::size_t i = 0; i < persons.size(); ++i) {
            if (!persons[i].addedLate && !insertPerson(db, i, err)) return false;
        }
        return true;
    };
    auto deleteIn = [&](RowState state) {
        return [&, state](Database& db, std::string* err) {
            for (std::size_t i = 0; i < persons.size(); ++i) {
                const PlannedPerson& p = persons[i];
                if (p.addedLate) continue;
                const std::int64_t raw = static_cast<std::int64_t>(i) + 1;
                if (p.state == state) {
                    // The provider's trigger takes the contact's data rows along.
                    if (!db.Run("DELETE FROM raw_contacts WHERE _id=?", {SqlValue::Int(raw)}, err)) return false;
                    if (!db.Run("DELETE FROM contacts WHERE _id=?", {SqlValue::Int(raw)}, err)) return false;
                } else if (p.state == RowState::Live) {
                    for (const PlannedDataRow& row : p.rows) {
                        if (row.state == state && !db.Run("DELETE FROM data WHERE _id=?", {SqlValue::Int(row.id)}, err)) {
                            return false;
                        }
                    }
                }
            }
            return true;
        };
    };
    auto earlyDeletes = deleteIn(RowState::DeletedBeforeCheckpoint);
    life.earlyChange = [&](Database& db, std::string* err) {
        return earlyDeletes(db, err) && (pending.empty() || markDeleted(db, pending[0], err));
    };
    auto lateDeletes = deleteIn(RowState::DeletedAfterCheckpoint);
    // Each round adds its numbers in one transaction and takes them away in
    // the next round's (the last round's stay in the log until the end).
    for (std::size_t round = 0; options.logLife && round < 3; ++round) {
        life.rounds.push_back([&, round](Database& db, std::string* err) {
            for (TransientRow& t : transients) {
                if (t.round + 1 == round && !db.Run("DELETE FROM data WHERE _id=?", {SqlValue::Int(t.row.id)}, err)) {
                    return false;
                }
            }
            for (TransientRow& t : transients) {
                if (t.round != round) continue;
                t.row.id = db.Insert("data", t.row.row, err);
                if (t.row.id == 0) return false;
            }
            return true;
        });
    }
    life.lateChange = [&](Database& db, std::string* err) {
        for (TransientRow& t : transients) {
            if (t.round == 2 && !db.Run("DELETE FROM data WHERE _id=?", {SqlValue::Int(t.row.id)}, err)) return false;
        }
        if (!lateDeletes(db, err)) return false;
        if (pending.size() > 1 && !markDeleted(db, pending[1], err)) return false;
        for (std::size_t i = 0; i < persons.size(); ++i) {
            if (persons[i].addedLate && !insertPerson(db, i, err)) return false;
        }
        return true;
    };
    if (!LiveAndPull(scratch, folder, "contacts2.db", "wal", options, life, error)) return false;

    const SamplePhonePaths paths = SamplePhoneLayout(folder);
    const TableImage current = ReadTableImage(scratch, paths.contacts, "contacts2.db", "data", true, error);
    const TableImage backup = ReadTableImage(scratch, paths.contactsBackup, "contacts2.db", "data", false, error);
    if (current.leafPages.empty() || backup.leafPages.empty()) return false;
    const PullBytes pull = PullBytes::Read(paths.contacts, paths.contactsBackup);
    const int data1 = Data1Column(options.android7Contacts);
    auto addTruth = [&](const PlannedDataRow& row, std::int64_t raw) {
        TruthDataRow t;
        t.id = row.id;
        t.rawContactId = raw;
        t.mimetype = row.mimetype;
        t.field = row.field;
        if (row.row[data1].kind == SqlValue::Kind::Text) t.data1 = row.row[data1].bytes;
        for (const Group& g : kGroups) {
            if (t.mimetype == FullMimetype({"group_membership", ""}) && t.data1 == std::to_string(g.id)) t.shown = g.title;
        }
        t.state = row.state;
        // The carver reads every serial type and the contents up to data1.
        const std::string key = CarveKey(row.row, 0, data1);
        t.intact = FindIntact(key, current, backup, row.state);
        if ((row.state == RowState::DeletedBeforeCheckpoint || row.state == RowState::Transient) && t.data1) {
            FindInPull(key, *t.data1, WholeRecord(row.row), options.pageSize, pull, t.intact);
        }
        truth.dataRows.push_back(std::move(t));
    };
    for (std::size_t i = 0; i < persons.size(); ++i) {
        for (const PlannedDataRow& row : persons[i].rows) addTruth(row, static_cast<std::int64_t>(i) + 1);
    }
    for (const TransientRow& t : transients) addTruth(t.row, static_cast<std::int64_t>(t.person) + 1);
    std::sort(truth.dataRows.begin(), truth.dataRows.end(),
              [](const TruthDataRow& a, const TruthDataRow& b) { return a.id < b.id; });
    return true;
}

// ---------------------------------------------------------------- messages

struct PlannedSms {
    SqlRow row;
    std::size_t thread = 0;
    RowState state = RowState::Live;
    std::int64_t id = 0;
};

bool GenerateMessages(const std::string& scratch, const std::string& folder, const SamplePhoneOptions& options,
                      Rng& rng, GroundTruth& truth, std::string* error) {
    const std::vector<std::string> columnNames = SmsColumnNames(options.android5Columns);
    const auto column = [&](const char* name) {
        return static_cast<std::size_t>(std::find(columnNames.begin(), columnNames.end(), name) - columnNames.begin());
    };
    const auto& partners = Correspondents();
    const auto& bodies = Bodies();
    std::vector<std::string> addresses;
    for (int copy = 0; copy < options.scale; ++copy) {
        for (const char* a : partners) addresses.push_back(copy == 0 ? a : std::string(a) + std::to_string(copy + 1));
    }
    const std::size_t conversations = addresses.size();
    // The old conversation a bulk delete takes away whole: its messages are
    // the oldest rows, next to each other on their leaf pages.
    if (options.bulkDelete) addresses.push_back("+15550100");

    // Conversations run side by side, so consecutive rows belong to
    // different threads, as on a phone.
    std::vector<PlannedSms> messages;
    std::int64_t date = 1409529600000;  // 2014-09-01 00:00:00 UTC
    const std::size_t bulk = options.bulkDelete ? 60 * static_cast<std::size_t>(options.scale) : 0;
    const std::size_t total = conversations * 10 + bulk;
    // A text longer than a page holds, made of the sample's bodies.
    auto longBody = [&](std::size_t n) {
        const std::size_t length = options.pageSize + 200 + rng.Below(options.pageSize / 2);
        std::string text = "Lange Nachricht " + std::to_string(n) + ": ";
        while (text.size() < length) {
            text += bodies[rng.Below(bodies.size())];
            text += ' ';
        }
        return text;
    };
    for (std::size_t n = 0; n < total; ++n) {
        const std::size_t thread = n < bulk ? conversations : rng.Below(conversations);
        date += 60000 * static_cast<std::int64_t>(20 + rng.Below(180)) + static_cast<std::int64_t>(rng.Below(60000));
        const bool received = rng.Below(100) < 55;
        // Every column is given a value, so the truth knows what each record holds.
        SqlRow row(columnNames.size(), SqlValue::Null());
        row[column("thread_id")] = SqlValue::Int(static_cast<std::int64_t>(thread) + 1);
        row[column("address")] = SqlValue::Text(addresses[thread]);
        row[column("date")] = SqlValue::Int(date);
        row[column("date_sent")] =
            SqlValue::Int(received ? date - 4000 - static_cast<std::int64_t>(rng.Below(20000)) : 0);
        row[column("protocol")] = received ? SqlValue::Int(0) : SqlValue::Null();
        row[column("read")] = SqlValue::Int(1);
        row[column("status")] = SqlValue::Int(-1);
        row[column("type")] = SqlValue::Int(received ? 1 : 2);
        row[column("reply_path_present")] = received ? SqlValue::Int(0) : SqlValue::Null();
        row[column("body")] = SqlValue::Text(options.longBodies && n % 7 == 3 ? longBody(n) : bodies[rng.Below(bodies.size())]);
        row[column("service_center")] = received ? SqlValue::Text("+491720000000") : SqlValue::Null();
        row[column("locked")] = SqlValue::Int(0);
        row[column("error_code")] = SqlValue::Int(0);
        row[column("seen")] = SqlValue::Int(1);
        if (options.android5Columns) {
            row[column("sub_id")] = SqlValue::Int(1);
            row[column("creator")] = SqlValue::Text("com.android.mms");
        }
        messages.push_back({std::move(row), thread, RowState::Live, 0});
    }

    // Deletions: one whole conversation and some single messages before the
    // checkpoint, another conversation and more single messages after it.
    // They stay clear of the newest rows, whose page new messages reuse.
    const std::size_t older = messages.size() * 3 / 4;
    const std::size_t earlyThread = 3 % conversations, lateThread = 7 % conversations;
    for (std::size_t i = bulk; i < older; ++i) {
        if (messages[i].thread == earlyThread) messages[i].state = RowState::DeletedBeforeCheckpoint;
        if (messages[i].thread == lateThread) messages[i].state = RowState::DeletedAfterCheckpoint;
    }
    for (std::size_t k = 0; k < 8 * static_cast<std::size_t>(options.scale); ++k) {
        PlannedSms& m = messages[rng.Below(older)];
        if (m.state == RowState::Live) m.state = k % 3 == 2 ? RowState::DeletedAfterCheckpoint : RowState::DeletedBeforeCheckpoint;
    }
    for (std::size_t i = 0; i < bulk; ++i) messages[i].state = RowState::DeletedBeforeCheckpoint;
    // Some of the long texts go, before the checkpoint.
    for (std::size_t i = 0, taken = 0; options.longBodies && i < older && taken < 3; ++i) {
        if (messages[i].row[column("body")].bytes.size() > options.pageSize && messages[i].state == RowState::Live) {
            messages[i].state = RowState::DeletedBeforeCheckpoint;
            ++taken;
        }
    }
    // "Delete all messages".
    if (options.emptyMessages) {
        for (PlannedSms& m : messages) m.state = RowState::DeletedBeforeCheckpoint;
    }
    const std::size_t lateAdded = options.emptyMessages ? 0 : 4;
    for (std::size_t k = 0; k < lateAdded; ++k) {
        PlannedSms m = messages[bulk + k];
        m.row[column("date")] = SqlValue::Int(date + 3600000 * static_cast<std::int64_t>(k + 1));
        m.row[column("body")] = SqlValue::Text(std::string("Added after the checkpoint: ") + bodies[k]);
        m.state = RowState::AddedAfterCheckpoint;
        messages.push_back(std::move(m));
    }
    // Drafts written and thrown away over the rounds of the log's life: the
    // first round's are checkpointed and then deleted, the middle round's
    // are deleted after the last checkpoint (the backup copy holds them), the
    // last round's never leave the log.
    std::vector<std::pair<PlannedSms, std::size_t>> transients;
    const bool wal = !options.messagesRollbackJournal && !options.persistJournal;
    for (std::size_t round = 0; options.logLife && wal && round < 3; ++round) {
        for (std::size_t k = 0; k < (6 - 2 * round) * static_cast<std::size_t>(options.scale); ++k) {
            PlannedSms m = messages[bulk + rng.Below(messages.size() - bulk)];
            m.row[column("date")] = SqlValue::Int(date + 600000 * static_cast<std::int64_t>(10 * round + k + 1));
            m.row[column("body")] = SqlValue::Text("Entwurf " + std::to_string(round) + "." + std::to_string(k) + ": " +
                                                   bodies[rng.Below(bodies.size())]);
            m.row[column("type")] = SqlValue::Int(3);
            m.state = round == 1 ? RowState::DeletedAfterCheckpoint : RowState::Transient;
            transients.emplace_back(std::move(m), round);
        }
    }
    // In rollback-journal mode there is no log: every deletion is in the
    // main file, and nothing is only in the current copy.
    if (!wal) {
        for (PlannedSms& m : messages) {
            if (m.state == RowState::DeletedAfterCheckpoint) m.state = RowState::DeletedBeforeCheckpoint;
            if (m.state == RowState::AddedAfterCheckpoint) m.state = RowState::Live;
        }
    }

    std::int64_t nextId = 2000;  // a phone in use for a while
    auto insertMessage = [&](Database& db, PlannedSms& m, std::string* err) {
        m.row[column("_id")] = SqlValue::Int(nextId++);
        m.id = db.Insert("sms", m.row, err);
        return m.id != 0;
    };
    Life life;
    life.fill = [&](Database& db, std::string* err) {
        if (!db.Exec(MessagesSchemaSql(options.android5Columns), err)) return false;
        for (std::size_t t = 0; t < addresses.size(); ++t) {
            if (!db.Run("INSERT INTO canonical_addresses VALUES (?,?)",
                        {SqlValue::Int(static_cast<std::int64_t>(t) + 1), SqlValue::Text(addresses[t])}, err) ||
                !db.Run("INSERT INTO threads (_id, recipient_ids) VALUES (?,?)",
                        {SqlValue::Int(static_cast<std::int64_t>(t) + 1), SqlValue::Text(std::to_string(t + 1))}, err)) {
                return false;
            }
        }
        for (PlannedSms& m : messages) {
            if (m.state != RowState::AddedAfterCheckpoint && !insertMessage(db, m, err)) return false;
        }
        return true;
    };
    auto deleteIn = [&](RowState state) {
        return [&, state](Database& db, std::string* err) {
            for (const PlannedSms& m : messages) {
                if (m.state == state && !db.Run("DELETE FROM sms WHERE _id=?", {SqlValue::Int(m.id)}, err)) return false;
            }
            return true;
        };
    };
    life.earlyChange = deleteIn(RowState::DeletedBeforeCheckpoint);
    auto lateDeletes = deleteIn(RowState::DeletedAfterCheckpoint);
    for (std::size_t round = 0; round < 3 && !transients.empty(); ++round) {
        life.rounds.push_back([&, round](Database& db, std::string* err) {
            for (auto& [m, r] : transients) {
                if (r + 1 == round && !db.Run("DELETE FROM sms WHERE _id=?", {SqlValue::Int(m.id)}, err)) return false;
            }
            for (auto& [m, r] : transients) {
                if (r == round && !insertMessage(db, m, err)) return false;
            }
            return true;
        });
    }
    life.lateChange = [&](Database& db, std::string* err) {
        for (auto& [m, r] : transients) {
            if (r == 2 && !db.Run("DELETE FROM sms WHERE _id=?", {SqlValue::Int(m.id)}, err)) return false;
        }
        if (!lateDeletes(db, err)) return false;
        for (PlannedSms& m : messages) {
            if (m.state == RowState::AddedAfterCheckpoint && !insertMessage(db, m, err)) return false;
        }
        return true;
    };
    const std::string mode = wal ? "wal" : options.persistJournal ? "persist" : "delete";
    if (!LiveAndPull(scratch, folder, "mmssms.db", mode, options, life, error)) return false;

    const SamplePhonePaths paths = SamplePhoneLayout(folder);
    const TableImage current = ReadTableImage(scratch, paths.messages, "mmssms.db", "sms", true, error);
    const TableImage backup = ReadTableImage(scratch, paths.messagesBackup, "mmssms.db", "sms", false, error);
    if ((current.leafPages.empty() || backup.leafPages.empty()) && !options.emptyMessages) return false;
    const PullBytes pull = PullBytes::Read(paths.messages, paths.messagesBackup);
    for (auto& [m, round] : transients) messages.push_back(m);
    for (const PlannedSms& m : messages) {
        TruthSmsRow t;
        t.id = m.id;
        t.threadId = m.row[column("thread_id")].integer;
        t.address = m.row[column("address")].bytes;
        t.body = m.row[column("body")].bytes;
        t.date = m.row[column("date")].integer;
        t.type = static_cast<std::int32_t>(m.row[column("type")].integer);
        t.state = m.state;
        // The carver reads the serial types from column 1 on and the contents
        // up to the body, the last column it takes.
        const std::string key = CarveKey(m.row, 1, static_cast<int>(column("body")));
        t.intact = FindIntact(key, current, backup, m.state);
        if (m.state == RowState::DeletedBeforeCheckpoint || m.state == RowState::Transient) {
            FindInPull(key, t.body, WholeRecord(m.row), options.pageSize, pull, t.intact);
        }
        truth.smsRows.push_back(std::move(t));
    }
    std::sort(truth.smsRows.begin(), truth.smsRows.end(),
              [](const TruthSmsRow& a, const TruthSmsRow& b) { return a.id < b.id; });
    return true;
}

}  // namespace

SamplePhonePaths SamplePhoneLayout(const std::string& folder) {
    const std::string bak = platform::JoinPath(folder, "bak");
    return {platform::JoinPath(folder, "contacts2.db"), platform::JoinPath(bak, "contacts2.db"),
            platform::JoinPath(folder, "mmssms.db"), platform::JoinPath(bak, "mmssms.db"),
            platform::JoinPath(folder, "truth.json")};
}

bool GenerateSamplePhone(const std::string& folder, const SamplePhoneOptions& options, std::string* error) {
    if (options.scale < 1) return Fail(error, "scale must be at least 1");
    if (options.pageSize < 512 || options.pageSize > 65536 || (options.pageSize & (options.pageSize - 1)) != 0) return Fail(error, "page size must be a power of two from 512 to 65536");
    if (!platform::CreateFolders(platform::JoinPath(folder, "bak"))) return Fail(error, "cannot create " + folder);
    const SamplePhonePaths paths = SamplePhoneLayout(folder);
    for (const std::string& file : {paths.contacts, paths.messages}) {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) platform::DeleteFileIfExists(file + suffix);
    }

    const std::string scratch = platform::MakeUniqueTempFolder("qb-sample-phone-");
    if (scratch.empty()) return Fail(error, "cannot create a scratch folder");
    GroundTruth truth;
    truth.seed = options.seed;
    truth.secureDelete = options.secureDelete;
    truth.contactsJournalMode = "wal";
    truth.messagesJournalMode = options.persistJournal            ? "persist"
                                : options.messagesRollbackJournal ? "delete"
                                                                  : "wal";
    truth.pageSize = options.pageSize;
    Rng rng(options.seed);
    const std::string contactsScratch = platform::JoinPath(scratch, "contacts");
    const std::string messagesScratch = platform::JoinPath(scratch, "messages");
    platform::CreateFolder(contactsScratch);
    platform::CreateFolder(messagesScratch);
    const bool ok = GenerateContacts(contactsScratch, folder, options, rng, truth, error) &&
                    GenerateMessages(messagesScratch, folder, options, rng, truth, error);
    platform::RemoveFolderTree(scratch);
    if (!ok) return false;
    return platform::WriteWholeFile(paths.truth, GroundTruthToJson(truth), error);
}

}  // namespace qb::tools

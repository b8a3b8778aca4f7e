#include "dbrecover/live_row_reader.h"

#include <sqlite3.h>

#include "dbrecover/message_assembly.h"
#include "platform/file.h"

namespace qb::dbrecover {
namespace {

// One connection to a copied database. Opened read-write without create, so
// that a write-ahead log beside the copy is applied and a missing file is not
// made, nor checkpointed on close. The database comes from a phone and is not trusted: its schema may
// not run functions, and the library's defensive mode is on.
class Database {
public:
    explicit Database(const std::string& path) {
        if (!platform::FileExists(path)) return;
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
            return;
        }
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        // The log beside the copy is applied when rows are read, but never
        // folded into the file nor deleted on close: the raw pass reads it.
        sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    explicit operator bool() const { return db_ != nullptr; }

    // Only real tables are read: a view of the same name could compute rows
    // without end.
    bool HasTable(const char* name) {
        bool found = false;
        Query("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1", name, [&](sqlite3_stmt*) { found = true; });
        return found;
    }

    // Runs a query and calls onRow for each row; stops quietly on any error.
    // False when the query cannot be prepared (a column the table lacks).
    template <typename OnRow>
    bool Query(const char* sql, const char* parameter, OnRow onRow) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK || !stmt) {
            sqlite3_finalize(stmt);
            return false;
        }
        if (parameter) sqlite3_bind_text(stmt, 1, parameter, -1, SQLITE_STATIC);
        while (sqlite3_step(stmt) == SQLITE_ROW) onRow(stmt);
        sqlite3_finalize(stmt);
        return true;
    }

private:
    sqlite3* db_ = nullptr;
};

std::string Text(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    if (!text) return {};
    return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
}

std::uint32_t Uint32(sqlite3_stmt* stmt, int column) {
    return static_cast<std::uint32_t>(sqlite3_column_int64(stmt, column));
}

}  // namespace

LiveContactsReading ReadLiveContacts(const std::string& path) {
    LiveContactsReading reading;
    Database db(path);
    if (!db) return reading;
    if (db.HasTable("data") &&
        !db.Query("SELECT mimetype_id, raw_contact_id, data1, data4 FROM data ORDER BY rowid", nullptr,
                  [&](sqlite3_stmt* s) { reading.rows.push_back({Uint32(s, 0), Uint32(s, 1), Text(s, 2), Text(s, 3)}); })) {
        db.Query("SELECT mimetype_id, raw_contact_id, data1 FROM data ORDER BY rowid", nullptr, [&](sqlite3_stmt* s) {
            reading.rows.push_back({Uint32(s, 0), Uint32(s, 1), Text(s, 2)});
        });
    }
    if (db.HasTable("raw_contacts")) {
        // Tables without the column (not Android's) mark nothing.
        db.Query("SELECT _id FROM raw_contacts WHERE deleted = 1 ORDER BY rowid", nullptr,
                 [&](sqlite3_stmt* s) { reading.pendingDeletes.push_back(Uint32(s, 0)); });
    }
    if (db.HasTable("groups")) {
        db.Query("SELECT _id, title FROM \"groups\" ORDER BY rowid", nullptr,
                 [&](sqlite3_stmt* s) { reading.groups.push_back({sqlite3_column_int64(s, 0), Text(s, 1)}); });
    }
    if (!db.HasTable("mimetypes")) return reading;
    db.Query("SELECT _id, mimetype FROM mimetypes ORDER BY rowid", nullptr, [&](sqlite3_stmt* s) {
        reading.mimetypes.push_back({Uint32(s, 0), Text(s, 1)});
    });
    return reading;
}

std::vector<LiveSmsRow> ReadLiveMessages(const std::string& path) {
    std::vector<LiveSmsRow> rows;
    Database db(path);
    if (!db || !db.HasTable("sms")) return rows;
    db.Query("SELECT thread_id, address, date, type, body FROM sms ORDER BY rowid", nullptr, [&](sqlite3_stmt* s) {
        LiveSmsRow row;
        row.threadId = Uint32(s, 0);
        row.address = Text(s, 1);
        row.dateText = FormatMessageDate(static_cast<std::uint64_t>(sqlite3_column_int64(s, 2)));
        row.type = Uint32(s, 3);
        row.body = Text(s, 4);
        row.date = sqlite3_column_int64(s, 2);
        rows.push_back(std::move(row));
    });
    return rows;
}

}  // namespace qb::dbrecover

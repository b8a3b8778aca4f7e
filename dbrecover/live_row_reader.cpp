#include "dbrecover/live_row_reader.h"

#include "dbrecover/message_assembly.h"
#include "dbrecover/sqlite_database.h"
#include "platform/file.h"

namespace qb::dbrecover {
namespace {

bool Has(SqliteDatabase& db, const char* table) { return db.HasTable(table).value_or(false); }

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
    // A copy that is missing stays unread: opening it would make it.
    if (!platform::FileExists(path)) return reading;
    SqliteDatabase db(path, SqliteDatabase::Access::ApplyLog);
    if (!db) return reading;
    if (Has(db, "data") &&
        !db.Query("SELECT mimetype_id, raw_contact_id, data1, data4 FROM data ORDER BY rowid", nullptr,
                  [&](sqlite3_stmt* s) { reading.rows.push_back({Uint32(s, 0), Uint32(s, 1), Text(s, 2), Text(s, 3)}); })) {
        db.Query("SELECT mimetype_id, raw_contact_id, data1 FROM data ORDER BY rowid", nullptr, [&](sqlite3_stmt* s) {
            reading.rows.push_back({Uint32(s, 0), Uint32(s, 1), Text(s, 2)});
        });
    }
    if (Has(db, "raw_contacts")) {
        // Tables without the column (not Android's) mark nothing.
        db.Query("SELECT _id FROM raw_contacts WHERE deleted = 1 ORDER BY rowid", nullptr,
                 [&](sqlite3_stmt* s) { reading.pendingDeletes.push_back(Uint32(s, 0)); });
    }
    if (Has(db, "groups")) {
        db.Query("SELECT _id, title FROM \"groups\" ORDER BY rowid", nullptr,
                 [&](sqlite3_stmt* s) { reading.groups.push_back({sqlite3_column_int64(s, 0), Text(s, 1)}); });
    }
    if (!Has(db, "mimetypes")) return reading;
    db.Query("SELECT _id, mimetype FROM mimetypes ORDER BY rowid", nullptr, [&](sqlite3_stmt* s) {
        reading.mimetypes.push_back({Uint32(s, 0), Text(s, 1)});
    });
    return reading;
}

std::vector<LiveSmsRow> ReadLiveMessages(const std::string& path) {
    std::vector<LiveSmsRow> rows;
    if (!platform::FileExists(path)) return rows;
    SqliteDatabase db(path, SqliteDatabase::Access::ApplyLog);
    if (!db || !Has(db, "sms")) return rows;
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

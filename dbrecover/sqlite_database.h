// The one wrapper of an SQLite connection in the recovery: every copy of a
// phone's database, and the scratch database that reads table statements,
// is opened, queried and closed through it.
//
// A copy comes from a phone and is not trusted: its schema may not run
// functions, and the library's defensive mode is on.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

namespace qb::dbrecover {

class SqliteDatabase {
public:
    enum class Access {
        // Read-write without create, so that a write-ahead log beside the
        // copy is applied when rows are read, but never folded into the file
        // nor deleted on close: the raw pass reads it.
        ApplyLog,
        // Read-only, as a check of whether SQLite reads the file at all.
        ReadOnly,
        // An empty in-memory database (the path is ignored).
        Scratch,
    };

    SqliteDatabase(const std::string& path, Access access);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    explicit operator bool() const { return db_ != nullptr; }
    sqlite3* handle() const { return db_; }
    // SQLite's words for the last failure, or for a failed open.
    const std::string& OpenError() const { return openError_; }

    // Whether the database has a real table of that name: a view of the same
    // name could compute rows without end. Nothing when the schema cannot be
    // read; why is then in error.
    std::optional<bool> HasTable(const char* name, std::string* error = nullptr);

    // Runs a query, with an optional text for ?1, and calls onRow for each
    // row; stops quietly on any error. False when the query cannot be
    // prepared (a column the table lacks).
    template <typename OnRow>
    bool Query(const char* sql, const char* parameter, OnRow onRow) {
        sqlite3_stmt* stmt = nullptr;
        if (!db_ || sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK || !stmt) {
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
    std::string openError_;
};

}  // namespace qb::dbrecover

#include "dbrecover/sqlite_database.h"

namespace qb::dbrecover {

SqliteDatabase::SqliteDatabase(const std::string& path, Access access) {
    const int flags = access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    const char* name = access == Access::Scratch ? ":memory:" : path.c_str();
    if (sqlite3_open_v2(name, &db_, flags, nullptr) != SQLITE_OK) {
        openError_ = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        return;
    }
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    if (access == Access::Scratch) return;
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
}

SqliteDatabase::~SqliteDatabase() { sqlite3_close(db_); }

std::optional<bool> SqliteDatabase::HasTable(const char* name, std::string* error) {
    if (!db_) {
        if (error) *error = openError_;
        return std::nullopt;
    }
    sqlite3_stmt* stmt = nullptr;
    std::optional<bool> found;
    if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1", -1, &stmt, nullptr) ==
        SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
        const int step = sqlite3_step(stmt);
        if (step == SQLITE_ROW || step == SQLITE_DONE) found = step == SQLITE_ROW;
    }
    if (!found && error) *error = sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return found;
}

}  // namespace qb::dbrecover

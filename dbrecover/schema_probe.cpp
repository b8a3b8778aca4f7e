#include "dbrecover/schema_probe.h"

#include <sqlite3.h>

#include <cstring>

#include "platform/file.h"

namespace qb::dbrecover {
namespace {

struct TableQueries {
    const char* rootPage;
    const char* layout;
};

TableQueries QueriesFor(TableKind kind) {
    if (kind == TableKind::Contacts) {
        return {"SELECT rootpage from sqlite_master where type=\"table\" and name=\"data\"", "SELECT * from data"};
    }
    return {"SELECT rootpage from sqlite_master where type=\"table\" and name=\"sms\"", "SELECT * from sms"};
}

// Stores column i into the layout field its name stands for.
void LocateColumn(TableLayout& layout, const char* name, std::int32_t i) {
    if (!name) return;
    struct Named {
        const char* name;
        std::int32_t TableLayout::*field;
    };
    static constexpr Named kContacts[] = {
        {"raw_contact_id", &TableLayout::rawContactIdColumn},
        {"data1", &TableLayout::data1Column},
    };
    static constexpr Named kMessages[] = {
        {"address", &TableLayout::addressColumn},   {"person", &TableLayout::personColumn},
        {"body", &TableLayout::bodyColumn},         {"thread_id", &TableLayout::threadIdColumn},
        {"date", &TableLayout::dateColumn},         {"type", &TableLayout::typeColumn},
    };
    const std::span<const Named> names =
        layout.kind == TableKind::Contacts ? std::span<const Named>(kContacts) : std::span<const Named>(kMessages);
    for (const Named& n : names) {
        if (std::strcmp(n.name, name) == 0) layout.*(n.field) = i;
    }
}

bool AllColumnsLocated(const TableLayout& l) {
    if (l.kind == TableKind::Contacts) return l.rawContactIdColumn >= 0 && l.data1Column >= 0;
    return l.addressColumn >= 0 && l.personColumn >= 0 && l.bodyColumn >= 0 && l.threadIdColumn >= 0 &&
           l.dateColumn >= 0 && l.typeColumn >= 0;
}

// Closes the connection whatever path the probe leaves by.
struct Connection {
    sqlite3* db = nullptr;
    ~Connection() { sqlite3_close(db); }
};

}  // namespace

const char* DatabaseFileName(TableKind kind) { return kind == TableKind::Contacts ? "contacts2.db" : "mmssms.db"; }

std::optional<TableLayout> ProbeSchema(const std::string& path, TableKind kind) {
    if (!platform::FileExists(path)) return std::nullopt;
    if (path.find(DatabaseFileName(kind)) == std::string::npos) return std::nullopt;

    Connection conn;
    if (sqlite3_open_v2(path.c_str(), &conn.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        return std::nullopt;
    }
    const TableQueries queries = QueriesFor(kind);

    bool haveRoot = false;
    std::int64_t rootPage = 0;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare(conn.db, queries.rootPage, -1, &stmt, nullptr) == SQLITE_OK && stmt) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const int n = sqlite3_data_count(stmt);
            for (int i = 0; i < n; ++i) {
                rootPage = sqlite3_column_int64(stmt, i);
                haveRoot = true;
            }
        }
    }
    sqlite3_finalize(stmt);
    stmt = nullptr;

    TableLayout layout;
    layout.kind = kind;
    bool haveRow = false;
    if (sqlite3_prepare(conn.db, queries.layout, -1, &stmt, nullptr) == SQLITE_OK && stmt) {
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            haveRow = true;
            const int count = sqlite3_column_count(stmt);
            layout.columnCount = static_cast<std::uint16_t>(count);
            for (int i = 0; i < count; ++i) LocateColumn(layout, sqlite3_column_name(stmt, i), i);
        }
    }
    sqlite3_finalize(stmt);

    if (!haveRoot || !haveRow || !AllColumnsLocated(layout)) return std::nullopt;
    // Page numbers are 32-bit in the file format; anything else is not a
    // page this file can have.
    if (rootPage < 1 || rootPage > 0x7FFFFFFF) return std::nullopt;
    layout.rootPage = static_cast<std::int32_t>(rootPage);
    return layout;
}

}  // namespace qb::dbrecover

namespace qb::dbrecover {

std::string DatabaseProblem(const std::string& path, TableKind kind) {
    std::string error;
    auto file = platform::ReadOnlyFile::Open(path, &error);
    if (!file) return error;
    static constexpr char kMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
    char header[16] = {};
    if (file->ReadAt(0, header, sizeof header) != sizeof header || std::memcmp(header, kMagic, sizeof kMagic) != 0) {
        return "is not an SQLite database";
    }
    sqlite3* db = nullptr;
    std::string problem;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        problem = std::string("cannot be opened: ") + sqlite3_errmsg(db);
    } else {
        const char* table = kind == TableKind::Contacts ? "data" : "sms";
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1", -1, &stmt, nullptr);
        if (rc != SQLITE_OK) {
            problem = std::string("cannot be read: ") + sqlite3_errmsg(db);
        } else {
            sqlite3_bind_text(stmt, 1, table, -1, SQLITE_STATIC);
            const int step = sqlite3_step(stmt);
            if (step == SQLITE_DONE) problem = std::string("has no table ") + table;
            if (step != SQLITE_ROW && step != SQLITE_DONE) problem = std::string("cannot be read: ") + sqlite3_errmsg(db);
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return problem;
}

}  // namespace qb::dbrecover

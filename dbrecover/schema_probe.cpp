#include "dbrecover/schema_probe.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <span>

#include "dbrecover/sqlite_database.h"
#include "dbrecover/sqlite_file.h"
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

}  // namespace

const char* DatabaseFileName(TableKind kind) { return kind == TableKind::Contacts ? "contacts2.db" : "mmssms.db"; }

const char* TableName(TableKind kind) { return kind == TableKind::Contacts ? "data" : "sms"; }

namespace {

std::string UpperCopy(const std::string& s) {
    std::string u = s;
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// The declared columns of a table through PRAGMA table_info: no row needed.
std::vector<ColumnSpec> TableInfo(sqlite3* db, const char* table) {
    std::vector<ColumnSpec> columns;
    const std::string sql = std::string("PRAGMA table_info(\"") + table + "\")";
    sqlite3_stmt* stmt = nullptr;
    int primaryKeys = 0;
    std::vector<int> pk;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && stmt) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            ColumnSpec c;
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
            const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2));
            c.name = name ? name : "";
            c.declaredType = type ? type : "";
            c.notNull = sqlite3_column_int(stmt, 3) != 0;
            if (sqlite3_column_type(stmt, 4) != SQLITE_NULL) {
                const auto* d = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 4));
                c.defaultValue = d ? d : "";
            }
            const int key = sqlite3_column_int(stmt, 5);
            primaryKeys += key > 0;
            pk.push_back(key);
            columns.push_back(std::move(c));
        }
    }
    sqlite3_finalize(stmt);
    // INTEGER PRIMARY KEY alone (exactly that type name) makes the column the
    // row id, stored in records as NULL.
    for (std::size_t i = 0; i < columns.size(); ++i) {
        columns[i].rowidAlias = primaryKeys == 1 && pk[i] == 1 && UpperCopy(columns[i].declaredType) == "INTEGER";
    }
    return columns;
}

std::vector<std::string> ColumnNames(const std::vector<ColumnSpec>& columns) {
    std::vector<std::string> names;
    for (const ColumnSpec& c : columns) names.push_back(c.name);
    return names;
}

}  // namespace

std::vector<ColumnSpec> ColumnsFromCreateTable(const std::string& sql) {
    // Only "CREATE TABLE name (...)" and nothing after it.
    std::size_t i = 0;
    while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
    if (UpperCopy(sql.substr(i, 12)) != "CREATE TABLE") return {};
    SqliteDatabase scratch({}, SqliteDatabase::Access::Scratch);
    if (!scratch) return {};
    sqlite3* db = scratch.handle();
    std::vector<ColumnSpec> columns;
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) == SQLITE_OK && stmt) {
        bool onlyOne = true;
        for (const char* t = tail; t && *t; ++t) {
            if (!std::isspace(static_cast<unsigned char>(*t)) && *t != ';') onlyOne = false;
        }
        if (onlyOne && sqlite3_step(stmt) == SQLITE_DONE) {
            sqlite3_finalize(stmt);
            stmt = nullptr;
            // The one table the statement made.
            std::string table;
            scratch.Query("SELECT name FROM sqlite_master WHERE type='table' LIMIT 1", nullptr, [&](sqlite3_stmt* names) {
                const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(names, 0));
                table = n ? n : "";
            });
            if (!table.empty() && table.find('"') == std::string::npos) columns = TableInfo(db, table.c_str());
        }
    }
    sqlite3_finalize(stmt);
    return columns;
}

std::optional<TableLayout> LayoutFromColumns(TableKind kind, std::vector<ColumnSpec> columns) {
    if (columns.empty()) return std::nullopt;
    TableLayout layout;
    layout.kind = kind;
    layout.columnCount = static_cast<std::uint16_t>(std::min<std::size_t>(columns.size(), 0xFFFF));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        LocateColumn(layout, columns[i].name.c_str(), static_cast<std::int32_t>(i));
    }
    auto shape = ShapeFromColumns(kind, std::move(columns));
    if (!shape) return std::nullopt;
    // Records written under an older Android layout that this table's
    // columns begin with (the upgrade added the rest at the end).
    const std::vector<std::string> names = ColumnNames(shape->columns);
    static const auto known = [] {
        std::array<std::vector<std::vector<std::string>>, 2> lists;
        for (TableKind k : {TableKind::Contacts, TableKind::Messages}) {
            for (const std::string& sql : KnownAndroidTables(k)) {
                lists[k == TableKind::Contacts ? 0 : 1].push_back(ColumnNames(ColumnsFromCreateTable(sql)));
            }
        }
        return lists;
    }();
    for (const auto& old : known[kind == TableKind::Contacts ? 0 : 1]) {
        if (old.size() < names.size() && std::equal(old.begin(), old.end(), names.begin())) {
            shape->AddCount(static_cast<std::uint16_t>(old.size()));
        }
    }
    layout.shape = std::make_shared<RecordShape>(std::move(*shape));
    return layout;
}

std::optional<TableLayout> ProbeSchema(const std::string& path, TableKind kind) {
    if (!platform::FileExists(path)) return std::nullopt;
    if (path.find(DatabaseFileName(kind)) == std::string::npos) return std::nullopt;

    SqliteDatabase db(path, SqliteDatabase::Access::ApplyLog);
    if (!db) return std::nullopt;
    const TableQueries queries = QueriesFor(kind);

    bool haveRoot = false;
    std::int64_t rootPage = 0;
    db.Query(queries.rootPage, nullptr, [&](sqlite3_stmt* stmt) {
        const int n = sqlite3_data_count(stmt);
        for (int i = 0; i < n; ++i) {
            rootPage = sqlite3_column_int64(stmt, i);
            haveRoot = true;
        }
    });
    if (!haveRoot) return std::nullopt;
    // Page numbers are 32-bit in the file format; anything else is not a
    // page this file can have.
    if (rootPage < 1 || rootPage > 0x7FFFFFFF) return std::nullopt;

    auto layout = LayoutFromColumns(kind, TableInfo(db.handle(), TableName(kind)));
    if (!layout || !AllColumnsLocated(*layout)) return std::nullopt;
    layout->rootPage = static_cast<std::int32_t>(rootPage);
    return layout;
}

namespace {

// One sqlite_master row: type, name, tbl_name, rootpage, sql.
struct MasterRow {
    std::string type, name;
    std::int64_t rootPage = 0;
    std::string sql;
};

// Decodes the record of one cell of a sqlite_master leaf page at offset
// `cell`, following its overflow chain through pages in use (bounded).
std::optional<MasterRow> MasterCell(const std::vector<std::uint8_t>& page, std::size_t cell, std::uint32_t pageSize,
                                    std::uint32_t usable, std::uint32_t pageCount, const SchemaPageFn& readPage) {
    const std::size_t valid = page.size();
    if (cell + 8 > valid) return std::nullopt;
    const Varint p = ReadVarint(page, cell);
    const Varint r = ReadVarint(page, cell + p.length);
    const std::size_t start = cell + p.length + r.length;
    if (p.value > (1u << 24) || start >= valid) return std::nullopt;
    const std::uint64_t maxLocal = usable - 35, minLocal = (std::uint64_t{usable} - 12) * 32 / 255 - 23;
    std::uint64_t local = p.value;
    if (p.value > maxLocal) {
        const std::uint64_t k = minLocal + (p.value - minLocal) % (usable - 4);
        local = k <= maxLocal ? k : minLocal;
    }
    if (start + local > valid) return std::nullopt;
    std::string payload(reinterpret_cast<const char*>(page.data() + start), static_cast<std::size_t>(local));
    if (local < p.value) {
        if (start + local + 4 > valid) return std::nullopt;
        std::uint32_t next = Get32(page.data() + start + local);
        std::vector<std::uint8_t> buf(pageSize);
        for (std::uint32_t hops = 0; next != 0 && payload.size() < p.value && hops < pageCount; ++hops) {
            if (next > pageCount || readPage(next, buf.data()) < usable) return std::nullopt;
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(usable - 4, p.value - payload.size()));
            payload.append(reinterpret_cast<const char*>(buf.data() + 4), take);
            next = Get32(buf.data());
        }
        if (payload.size() < p.value) return std::nullopt;
    }
    const std::span<const std::uint8_t> rec(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size());
    const Varint h = ReadVarint(rec, 0);
    if (h.value > rec.size()) return std::nullopt;
    std::size_t pos = h.length, body = static_cast<std::size_t>(h.value);
    MasterRow row;
    for (int col = 0; col < 5 && pos < h.value; ++col) {
        const Varint t = ReadVarint(rec, pos);
        pos += t.length;
        const std::uint32_t type = AsSerialType(t.value);
        const std::uint64_t size = SerialTypeSize(type);
        if (body + size > rec.size()) return std::nullopt;
        const std::string text(payload.data() + body, static_cast<std::size_t>(size));
        if (col == 0) row.type = text;
        if (col == 1) row.name = text;
        if (col == 3) row.rootPage = type >= 1 && type <= 6 ? static_cast<std::int64_t>(ReadBigEndian(rec, body, static_cast<unsigned>(size))) : 0;
        if (col == 4) row.sql = text;
        body += static_cast<std::size_t>(size);
    }
    return row;
}

}  // namespace

std::optional<RawSchemaEntry> ReadSchemaRaw(TableKind kind, std::uint32_t pageSize, std::uint32_t usableSize,
                                            std::uint32_t pageCount, const SchemaPageFn& readPage) {
    if (pageSize < 512 || usableSize < 480 || pageCount == 0) return std::nullopt;
    std::vector<std::uint32_t> stack = {1};
    std::vector<bool> visited(std::size_t {pageCount} + 1, false);
    std::vector<std::uint8_t> page(pageSize);
    while (!stack.empty()) {
        const std::uint32_t n = stack.back();
        stack.pop_back();
        if (n == 0 || n > pageCount || visited[n]) continue;
        visited[n] = true;
        std::fill(page.begin(), page.end(), 0);
        if (readPage(n, page.data()) == 0) continue;
        const std::size_t h = n == 1 ? 100 : 0;
        const std::uint8_t type = page[h];
        const std::size_t cells = Get16(page.data() + h + 3);
        const std::size_t pointers = h + (type == 5 ? 12 : 8);
        if (type == 5) stack.push_back(Get32(page.data() + h + 8));
        if (type != 5 && type != 13) continue;
        for (std::size_t i = 0; i < cells && pointers + 2 * i + 2 <= pageSize; ++i) {
            const std::size_t cell = Get16(page.data() + pointers + 2 * i);
            if (cell + 4 > pageSize) continue;
            if (type == 5) {
                stack.push_back(Get32(page.data() + cell));
                continue;
            }
            const auto row = MasterCell(page, cell, pageSize, usableSize, pageCount, readPage);
            if (row && row->type == "table" && row->name == TableName(kind) && row->rootPage >= 1 &&
                row->rootPage <= 0x7FFFFFFF) {
                return RawSchemaEntry {static_cast<std::uint32_t>(row->rootPage), row->sql};
            }
        }
    }
    return std::nullopt;
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
    SqliteDatabase db(path, SqliteDatabase::Access::ReadOnly);
    if (!db) return "cannot be opened: " + db.OpenError();
    const char* table = kind == TableKind::Contacts ? "data" : "sms";
    std::string why;
    const std::optional<bool> has = db.HasTable(table, &why);
    std::string problem;
    if (!has) problem = "cannot be read: " + why;
    if (has && !*has) problem = std::string("has no table ") + table;
    return problem;
}

}  // namespace qb::dbrecover

// Column values as the sample generator stores them, and the bytes SQLite
// gives them inside a record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sqlite3.h>

namespace qb::tools {

struct SqlValue {
    enum class Kind { Null, Integer, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    std::string bytes;  // text or blob

    static SqlValue Null() { return {}; }
    static SqlValue Int(std::int64_t v) { return {Kind::Integer, v, {}}; }
    static SqlValue Text(std::string s) { return {Kind::Text, 0, std::move(s)}; }
    static SqlValue Blob(std::string b) { return {Kind::Blob, 0, std::move(b)}; }
};

using SqlRow = std::vector<SqlValue>;

// Binds the row to parameters 1..n of a statement.
void BindRow(sqlite3_stmt* stmt, const SqlRow& row);

// The bytes of a table record as SQLite (file format 4) writes them, without
// its leading header-length varint: the serial types of columns from
// firstColumn on, then the contents of columns from 0 through lastContentColumn.
// Column 0 is the row id alias and is stored as NULL. A carved copy of the
// row is only recoverable while these bytes lie intact in free space.
std::string CarveKey(const SqlRow& row, int firstColumn, int lastContentColumn);

}  // namespace qb::tools

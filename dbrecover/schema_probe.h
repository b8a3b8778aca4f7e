// Asks SQLite where a table's B-tree starts and where its columns of
// interest stand, before the raw pass reads the file below the library.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dbrecover/record_shape.h"
#include "dbrecover/sqlite_file.h"

namespace qb::dbrecover {

// The file name a database's path must contain: "contacts2.db" or "mmssms.db".
const char* DatabaseFileName(TableKind kind);

// Root page, column count, the positions of the named columns and the
// record shape of the table (data in contacts2.db, sms in mmssms.db), from
// sqlite_master and the table's declared columns: a table without any row
// is probed like any other. Empty when the file is missing, its path does
// not name the database, SQLite cannot open or read its schema, the table is
// missing, or a column of interest is absent. The page size is not filled in
// here.
//
// The connection is opened read-write but never checkpoints on close: the
// -wal beside the file stays as it was, for the raw pass to read as bytes.
std::optional<TableLayout> ProbeSchema(const std::string& path, TableKind kind);

// The table's name for a kind: "data" or "sms".
const char* TableName(TableKind kind);

// The columns a CREATE TABLE statement declares, in order, as SQLite reads
// it (the statement is run in a private in-memory database; nothing else is
// accepted). Empty when it is not one CREATE TABLE statement SQLite accepts.
std::vector<ColumnSpec> ColumnsFromCreateTable(const std::string& sql);

// A layout (positions, column count and shape) from a table's columns;
// empty when a column of interest is missing. Adds to the shape the column
// counts of the known Android layouts whose columns this table's begin with.
std::optional<TableLayout> LayoutFromColumns(TableKind kind, std::vector<ColumnSpec> columns);

// Reads page n of the database (pageSize bytes) into out; returns the bytes read.
using SchemaPageFn = std::function<std::size_t(std::uint32_t page, std::uint8_t* out)>;

// The table's root page and CREATE TABLE statement, read from the cells of
// sqlite_master (the B-tree rooted at page 1) below SQLite, for a file that
// SQLite refuses. Bounded like every page walk; empty when not found.
struct RawSchemaEntry {
    std::uint32_t rootPage = 0;
    std::string sql;
};
std::optional<RawSchemaEntry> ReadSchemaRaw(TableKind kind, std::uint32_t pageSize, std::uint32_t usableSize,
                                            std::uint32_t pageCount, const SchemaPageFn& readPage);

}  // namespace qb::dbrecover

namespace qb::dbrecover {

// Why a file given as a database of this kind cannot be read, in words for
// the user ("No such file or directory", "is not an SQLite database", "has
// no table sms", ...); empty when it can be read. Opens the file read-only
// and changes nothing.
std::string DatabaseProblem(const std::string& path, TableKind kind);

}  // namespace qb::dbrecover

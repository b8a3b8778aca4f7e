// Asks SQLite where a table's B-tree starts and where its columns of
// interest stand, before the raw pass reads the file below the library.
#pragma once

#include <optional>
#include <string>

#include "dbrecover/sqlite_file.h"

namespace qb::dbrecover {

// The file name a database's path must contain: "contacts2.db" or "mmssms.db".
const char* DatabaseFileName(TableKind kind);

// Root page, column count and the positions of the named columns of the
// table (data in contacts2.db, sms in mmssms.db). Empty when the file is
// missing, its path does not name the database, SQLite cannot open or query
// it, the table is missing or has no live row, or a column of interest is
// absent. The page size is not filled in here.
//
// The connection is opened read-write, as the raw pass expects: on close,
// SQLite may fold a -wal companion into the file that is then read raw.
std::optional<TableLayout> ProbeSchema(const std::string& path, TableKind kind);

}  // namespace qb::dbrecover

namespace qb::dbrecover {

// Why a file given as a database of this kind cannot be read, in words for
// the user ("No such file or directory", "is not an SQLite database", "has
// no table sms", ...); empty when it can be read. Opens the file read-only
// and changes nothing.
std::string DatabaseProblem(const std::string& path, TableKind kind);

}  // namespace qb::dbrecover

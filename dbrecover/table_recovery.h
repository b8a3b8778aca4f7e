// Recovers a table's deleted rows from every place a copy of the database
// keeps them, and hands each page version to the page scanner's cell
// decoder (cell_carver.h):
//
// - the current version of the table's pages (the main file with the
//   write-ahead log's committed frames laid over it): their live cells
//   (handed on as live rows, so that older copies of them are known), the
//   free space of their leaves and of their interior pages;
// - every older version: the main file's page under a log frame, every log
//   frame that is not the current one (committed earlier, uncommitted, behind
//   the log's restart, or with a bad checksum), every page image of a
//   rollback journal: their cells and free space;
// - the freelist: freed leaf pages whole, trunk pages past their list;
// - for a damaged or cut copy, every page of the table's shape that no walk
//   from the root reached.
//
// The schema comes from SQLite when it reads the file, else from the cells
// of sqlite_master on page 1, else from the known Android layouts (and then
// every page of the table's shape is carved).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "dbrecover/page_scanner.h"
#include "dbrecover/sqlite_file.h"

namespace qb::dbrecover {

// A copy and the companions read beside it before SQLite opens it: SQLite
// may roll a hot journal back (and delete it) when it opens the copy.
struct CopyEvidence {
    std::string path;
    std::optional<std::string> wal;      // <path>-wal
    std::optional<std::string> journal;  // <path>-journal
};

// Companion files longer than this are read up to it.
constexpr std::size_t kMaxCompanionBytes = std::size_t {128} << 20;

CopyEvidence CaptureCompanions(const std::string& path);

// One complete recovery of the table of a kind from one copy. Nothing when
// the file is missing, its path does not name the database, or neither
// SQLite nor the raw pass find the table.
ScanStats RecoverTable(const CopyEvidence& copy, TableKind kind, CarvedRowSink& sink);

}  // namespace qb::dbrecover

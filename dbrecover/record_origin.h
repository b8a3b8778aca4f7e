// Where a recovered record was found: a live row that SQLite reads in one of
// the copies, or a row carved from some page version, with the page, the
// byte offset and the part of the page it lay in. Reports show each origin
// as a short label and as a sentence of detail.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbrecover/page_scanner.h"

namespace qb::dbrecover {

enum class CopyKind : std::uint8_t {
    Current,  // the database pulled with its -wal and -shm
    Backup,   // the main file alone, as of its last checkpoint
};

struct RecordOrigin {
    bool live = false;  // a row SQLite reads; otherwise carved, as `carved` says
    CopyKind copy = CopyKind::Current;
    Provenance carved;

    static RecordOrigin Live(CopyKind copy) { return {true, copy, {}}; }
    static RecordOrigin Carved(CopyKind copy, const Provenance& from) { return {false, copy, from}; }
    bool operator==(const RecordOrigin& o) const;
};

// "live row", "backup copy", "freeblock p.12 @420", "log frame 7 p.3 @136",
// "backup: journal p.3 @88"... Carved rows of the backup copy begin with
// "backup: ". Without the location, only the kind of place: "freeblock",
// "log frame 7 cell"...
std::string OriginLabel(const RecordOrigin& origin, bool withLocation = true);
// "live row of the current copy", "carved from a freeblock of page 12 at
// offset 420 (row id 55), in log frame 7 of the current copy"...
std::string OriginDetail(const RecordOrigin& origin);

// Appends origin unless the list holds it already.
void AddOrigin(std::vector<RecordOrigin>& list, const RecordOrigin& origin);
// Appends the origins of more that list lacks. A live row of the backup copy
// adds nothing to a list that holds a live row of the current copy: the
// record is then live, wherever else it stands.
void MergeOrigins(std::vector<RecordOrigin>& list, const std::vector<RecordOrigin>& more);

// The offset from UTC of the local time the dates are shown in, at the given
// instant, as "UTC+01:00" ("UTC" when it is zero).
std::string UtcOffsetText(std::int64_t secondsSinceEpoch);

}  // namespace qb::dbrecover

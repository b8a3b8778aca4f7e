// The shape of a table's records, derived from its CREATE TABLE statement:
// for each column the serial types a record may hold there, from the
// column's declared affinity and from what Android stores in it, and the
// column counts a record of the table may have (records written before an
// ALTER TABLE ... ADD COLUMN carry fewer columns than the table; the missing
// ones take their defaults).
//
// The carver (cell_carver.h) checks every candidate record against a shape.
// The fixed column rules of the page scanner's Part are the shape of
// Android 4's data and sms tables seen through their columns of interest.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qb::dbrecover {

enum class TableKind;

// SQLite's column affinity, from the declared type (section 3.1 of SQLite's
// datatype documentation).
enum class Affinity : std::uint8_t { Integer, Text, Blob, Real, Numeric };
Affinity AffinityOf(const std::string& declaredType);

struct ColumnSpec {
    std::string name;
    std::string declaredType;
    bool notNull = false;
    bool rowidAlias = false;                  // INTEGER PRIMARY KEY: always stored as NULL
    std::optional<std::string> defaultValue;  // as written in the statement
};

// Serial type classes a column accepts.
enum SerialClass : std::uint16_t {
    kAcceptNull = 1 << 0,      // 0
    kAcceptInt = 1 << 1,       // 1 to 6
    kAcceptReal = 1 << 2,      // 7
    kAcceptZero = 1 << 3,      // 8
    kAcceptOne = 1 << 4,       // 9
    kAcceptText = 1 << 5,      // 13, 15, ...
    kAcceptBlob = 1 << 6,      // 12, 14, ...
    kNonEmpty = 1 << 7,        // a text or blob of at least one byte
    kSmallInt = 1 << 8,        // of the integers only the 1-byte type 1
    kAnyInteger = kAcceptInt | kAcceptZero | kAcceptOne,
    kAnyNumber = kAnyInteger | kAcceptReal,
};

inline bool ClassAccepts(std::uint16_t classes, std::uint32_t t) {
    if (t == 0) return classes & kAcceptNull;
    if (t <= 6) return (classes & kAcceptInt) && (!(classes & kSmallInt) || t == 1);
    if (t == 7) return classes & kAcceptReal;
    if (t == 8) return classes & kAcceptZero;
    if (t == 9) return classes & kAcceptOne;
    if (t < 12) return false;
    if ((classes & kNonEmpty) && t < 14) return false;
    return (t & 1) ? (classes & kAcceptText) != 0 : (classes & kAcceptBlob) != 0;
}

struct RecordShape {
    TableKind kind;
    std::vector<ColumnSpec> columns;
    std::vector<std::uint16_t> accepts;  // per column, SerialClass bits
    // Column counts a record may have, largest first; the first is the
    // table's own. Never below minColumns.
    std::vector<std::uint16_t> counts;
    // Every column of interest lies below this.
    std::uint16_t minColumns = 0;
    // Longest serial type varint accepted (the messages rule).
    std::uint8_t maxTypeLength = 4;

    // Columns of interest, -1 when the table has none of that name.
    std::int32_t mimetypeColumn = -1, rawContactIdColumn = -1, data1Column = -1;
    std::int32_t addressColumn = -1, bodyColumn = -1, dateColumn = -1, threadIdColumn = -1, typeColumn = -1;

    std::size_t columnCount() const { return columns.size(); }
    bool Accepts(std::size_t column, std::uint32_t serialType) const {
        return column < accepts.size() && ClassAccepts(accepts[column], serialType);
    }
    // Adds a column count seen on a live record of the table.
    void AddCount(std::uint16_t count);
    // The default value of a column as an integer (0 when none or not a number).
    std::int64_t IntegerDefault(std::int32_t column) const;
};

// The shape of the table of a kind from its columns (in table order). Empty
// when a column of interest is missing or misplaced (the rowid alias must
// not be one; the mimetype id and raw contact id must be integers).
std::optional<RecordShape> ShapeFromColumns(TableKind kind, std::vector<ColumnSpec> columns);

// CREATE TABLE statements of the table of a kind as Android releases 4 to 14
// and vendors wrote them, oldest first. Used when a
// damaged file's schema cannot be read, and for the column counts of records
// written before an upgrade.
const std::vector<std::string>& KnownAndroidTables(TableKind kind);

}  // namespace qb::dbrecover

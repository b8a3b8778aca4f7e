// What the raw pass of the recovery reads from an SQLite database file,
// below the SQLite library, and the text test every carved string must pass.
//
// Database header (first 100 bytes of the file; only one field is used):
//
//   OFFSET  SIZE  DESCRIPTION
//     16      2   page size, big-endian; 1 means 65536
//
// Pages are numbered from 1; page n starts at byte (n - 1) * pageSize. Page 1
// carries its B-tree header after the database header, but it never holds the
// tables that are scanned, so it needs no special case.
//
// B-tree page header (offsets from the page's first byte, big-endian):
//
//   OFFSET  SIZE  DESCRIPTION
//      0      1   page type: 5 interior table page, 13 leaf table page
//      1      2   offset of the first freeblock in the page, 0 for none
//      3      2   number of cells
//      5      2   start of the cell content area (0 means 65536)
//      8      4   right-most child page number (interior pages only)
//
// The cell pointer array follows the header: at offset 8 on a leaf page, at
// offset 12 on an interior page, one 2-byte offset per cell. An interior
// table cell starts with the 4-byte page number of its left child.
//
// Freeblock (a run of free bytes inside a page, chained from header offset 1):
//
//   OFFSET  SIZE  DESCRIPTION
//      0      2   offset of the next freeblock, 0 ends the chain
//      2      2   size of this freeblock in bytes, these 4 included
//      4      -   what is left of the deleted cell it once was
//
// Unallocated gap of a leaf page: from the end of the cell pointer array
// (8 + 2 * cellCount) up to the start of the cell content area.
//
// A record (the payload of a table cell) is a header then a body. The header
// is its own length as a varint, then one varint serial type per column; the
// body holds the columns' contents in column order, each as long as its
// serial type says (SerialTypeSize).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace qb::dbrecover {

enum class TableKind { Contacts, Messages };

struct RecordShape;

// What the schema probe learns of one table. Column positions are 0-based
// positions in the result of "SELECT *" on the table; -1 when not located.
struct TableLayout {
    TableKind kind = TableKind::Contacts;
    std::int32_t rootPage = 0;
    std::int32_t pageSize = 0;
    std::uint16_t columnCount = 0;
    // contacts2.db, table data
    std::int32_t rawContactIdColumn = -1;
    std::int32_t data1Column = -1;
    // mmssms.db, table sms
    std::int32_t addressColumn = -1;
    std::int32_t personColumn = -1;
    std::int32_t bodyColumn = -1;
    std::int32_t threadIdColumn = -1;
    std::int32_t dateColumn = -1;
    std::int32_t typeColumn = -1;
    // The shape of the table's records from its CREATE TABLE statement, when
    // the probe read one (record_shape.h). The plain page scanner does not
    // use it; the recovery of every page version does.
    std::shared_ptr<const RecordShape> shape;
};

struct Varint {
    std::uint64_t value = 0;
    std::uint8_t length = 0;
};

// B-tree page types (the first byte of a page's header).
constexpr std::uint8_t kInteriorTablePage = 5;
constexpr std::uint8_t kLeafTablePage = 13;

// Big-endian integers of the file format, over at least 2 or 4 bytes.
inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Decodes the varint at buffer[position]; bytes past the end of the buffer
// read as 0.
Varint ReadVarint(std::span<const std::uint8_t> buffer, std::size_t position);

// The same over a pointer that has at least 9 readable bytes; the carving
// loop keeps its buffers padded so that it never needs a bounds check here.
inline Varint ReadVarintPadded(const std::uint8_t* p) {
    if (p[0] < 0x80) return {p[0], 1};
    if (p[1] < 0x80) return {(std::uint64_t{p[0]} & 0x7F) << 7 | p[1], 2};
    if (p[2] < 0x80) return {(std::uint64_t{p[0]} & 0x7F) << 14 | (std::uint64_t{p[1]} & 0x7F) << 7 | p[2], 3};
    std::uint64_t v = 0;
    for (std::uint8_t i = 0; i < 8; ++i) {
        v = (v << 7) | (p[i] & 0x7F);
        if (p[i] < 0x80) return {v, static_cast<std::uint8_t>(i + 1)};
    }
    return {(v << 8) | p[8], 9};
}

// A varint taken as a serial type: values that do not fit 32 bits become
// 0xFFFFFFFF.
inline std::uint32_t AsSerialType(std::uint64_t value) {
    return (value >> 32) != 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

// Content size in bytes of a serial type: 0 for NULL, the integer constants
// 0 and 1 (types 8 and 9) and the reserved types 10 and 11.
inline std::uint64_t SerialTypeSize(std::uint32_t type) {
    static constexpr std::uint8_t kSmall[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
    if (type < 12) return kSmall[type];
    return (type & 1) ? (std::uint64_t{type} - 13) / 2 : (std::uint64_t{type} - 12) / 2;
}

// The n bytes (0 to 8) at the position as an unsigned big-endian number; no
// sign extension. Bytes past the end of the buffer read as 0.
std::uint64_t ReadBigEndian(std::span<const std::uint8_t> buffer, std::size_t position, unsigned n);

// The value of an integer column: the big-endian content for types 1 to 7,
// and the constants 0 and 1 that types 8 and 9 stand for without content.
// p must have at least 8 readable bytes.
std::uint64_t ReadIntegerContent(const std::uint8_t* p, std::uint32_t serialType);

// The text test: printable ASCII, tab, line feed, carriage return and
// well-formed UTF-8 (no overlong forms, no surrogates) over exactly n bytes.
bool IsValidUtf8Text(const std::uint8_t* bytes, std::size_t n);
inline bool IsValidUtf8Text(const char* bytes, std::size_t n) {
    return IsValidUtf8Text(reinterpret_cast<const std::uint8_t*>(bytes), n);
}

// The raw page-size field at offset 16 of the file; 0 when it cannot be read.
std::uint32_t ReadPageSize(const std::string& path);

// The page size a header field stands for: 1 means 65536; anything but a
// power of two from 512 to 65536 gives 0 (the file is not scanned).
std::uint32_t PageSizeFromField(std::uint32_t field);

}  // namespace qb::dbrecover

// Byte-exact builders of raw SQLite structures, for tests of the code that
// reads database files below the SQLite library: varints, records with
// chosen serial types, B-tree table pages (leaf and interior) with cell
// pointers, freeblock chains and unallocated gaps, and whole database images.
//
// The builders write what they are told and never "repair" a value, so a
// test can lay out a well-formed table as easily as a corrupt one (a looping
// freeblock chain, a child pointer past the end of the file, a freeblock
// that runs past its page). Bytes are held in std::string, which converts to
// the std::string_view that platform::MemorySource reads from.
//
// Typical use:
//
//   using namespace qb::testsupport;
//   TablePage leaf = TablePage::Leaf(1024);
//   leaf.AddCell(LeafCell(1, {Field::Null(), Field::Int(5), Field::Text("Ann")}));
//   leaf.AddFreeblock(700, 40, TypesAndBody({Field::Null(), Field::Int(5), Field::Text("Bob")}));
//   leaf.PutInGap(TypesAndBody({...}));
//   DatabaseImage db(1024);
//   db.SetPage(2, leaf);
//   platform::MemorySource file(db.Bytes());
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::testsupport {

// SQLite's variable-length integer in its shortest form (1 to 9 bytes).
std::string Varint(std::uint64_t value);

// value as a varint of exactly `length` bytes (1 to 9): shorter values are
// padded with leading 0x80 bytes, a form SQLite never writes but decodes to
// the same value. Throws std::invalid_argument when value does not fit.
std::string VarintOfLength(std::uint64_t value, std::size_t length);

// The low `width` bytes of value, most significant first (width 0 to 8).
std::string BigEndian(std::uint64_t value, std::size_t width);

// One column of a record: its serial type and its content bytes. The two
// are independent, so a test may pair any type with any content.
struct Field {
    std::uint64_t serialType = 0;
    std::string content;
    // Length of the serial type's varint; 0 for the shortest form.
    std::size_t typeLength = 0;

    static Field Null();
    // An integer in the smallest of the serial types 1 to 6 that holds it
    // (two's complement, as SQLite stores it). Never the constants 8 and 9.
    static Field Int(std::int64_t value);
    // An integer stored with the given serial type 1 to 7 (its content is the
    // low bytes of value, big-endian), or 8 and 9 (no content, value
    // ignored).
    static Field IntOfType(std::uint32_t serialType, std::uint64_t value);
    static Field Zero();  // serial type 8, the constant 0
    static Field One();   // serial type 9, the constant 1
    static Field Text(std::string_view bytes);  // serial type 13 + 2n
    static Field Blob(std::string_view bytes);  // serial type 12 + 2n
    // Any serial type with any content.
    static Field Raw(std::uint64_t serialType, std::string_view content);

    // The same field with its serial type written as a varint of `length`
    // bytes (see VarintOfLength).
    Field WithTypeLength(std::size_t length) const;
};

// The serial types of the fields (one varint each) followed by their
// contents in order: the record header without its length byte, then the
// body. These are the bytes a carved candidate is read from.
std::string TypesAndBody(const std::vector<Field>& fields);

// A complete record: header length varint, serial types, body.
std::string Record(const std::vector<Field>& fields);

// A leaf table cell: payload length varint, rowid varint, record.
std::string LeafCell(std::int64_t rowid, const std::vector<Field>& fields);

// One B-tree page image. Offsets are page-relative.
class TablePage {
public:
    static constexpr std::uint8_t kInteriorTable = 5;
    static constexpr std::uint8_t kLeafTable = 13;

    // A leaf table page without cells; the cell content area starts at the
    // page end (field 0 on a 65536-byte page), so the whole page after the
    // 8-byte header is unallocated gap.
    static TablePage Leaf(std::uint32_t pageSize);
    // An interior table page without cells and with the given right-most
    // child; its content area starts at the page end.
    static TablePage Interior(std::uint32_t pageSize, std::uint32_t rightChild);
    // All zero bytes: page type 0, not a table page.
    static TablePage Blank(std::uint32_t pageSize);

    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }
    const std::string& bytes() const { return bytes_; }

    // Header fields, written exactly as given.
    TablePage& SetType(std::uint8_t type);
    TablePage& SetFirstFreeblock(std::uint16_t offset);
    TablePage& SetCellCount(std::uint16_t count);
    TablePage& SetContentStart(std::uint16_t field);
    TablePage& SetRightChild(std::uint32_t page);

    std::uint16_t cellCount() const;
    // The start of the cell content area, with the field 0 of a 65536-byte
    // page read as 65536.
    std::size_t contentStart() const;
    // 8 on a leaf page, 12 on an interior page.
    std::size_t headerSize() const;
    // First byte after the cell pointer array: headerSize() + 2 * cellCount().
    std::size_t GapStart() const;

    // Raw writes; throw std::out_of_range when they would leave the page.
    TablePage& Put(std::size_t offset, std::string_view bytes);
    TablePage& Put16(std::size_t offset, std::uint16_t value);
    TablePage& Put32(std::size_t offset, std::uint32_t value);

    // Stores a cell right below the cell content area, lowers the content
    // start to it, appends its pointer to the pointer array and counts it.
    // Returns the cell's offset.
    std::uint16_t AddCell(std::string_view cell);
    // Interior pages: a cell holding leftChild and a rowid key.
    std::uint16_t AddChild(std::uint32_t leftChild, std::int64_t key = 0);

    // Writes a freeblock at offset: next offset 0, the given size, then
    // `rest` from offset + 4 (bytes of the block beyond `rest` keep what the
    // page held, zeros on a new page). The block is linked at the end of the
    // chain: from the header when it is the first one added, else from the
    // next field of the block added before it. When the block starts below
    // the cell content area, the content start is lowered to its offset so
    // that the gap does not cover it. Nothing is checked against the size.
    TablePage& AddFreeblock(std::uint16_t offset, std::uint16_t size, std::string_view rest = {});

    // Writes bytes into the unallocated gap, `at` bytes after GapStart();
    // throws std::out_of_range when they would reach the cell content area.
    // Add the cells first: each cell moves the gap start by two bytes.
    TablePage& PutInGap(std::string_view bytes, std::size_t at = 0);

private:
    explicit TablePage(std::uint32_t pageSize);
    std::uint16_t Get16(std::size_t offset) const;

    std::string bytes_;
    std::size_t lastFreeblock_ = 0;  // 0 while the chain is empty
};

// A whole database file: pageCount() pages of pageSize() bytes. Page 1 holds
// the 100-byte database header ("SQLite format 3", the page size field) and
// nothing else; the tables live on pages 2 and up. Pages not set are blank.
class DatabaseImage {
public:
    // pageSize is 512 or more (std::invalid_argument otherwise); the page
    // size field is the size itself, or 1 for 65536.
    explicit DatabaseImage(std::uint32_t pageSize);

    std::uint32_t pageSize() const { return pageSize_; }
    std::uint32_t pageCount() const { return static_cast<std::uint32_t>(pages_.size()) + 1; }
    // Byte offset of page n in the file: (n - 1) * pageSize.
    std::uint64_t PageOffset(std::uint32_t n) const;

    // Stores a page (number 2 or more), adding blank pages before it as
    // needed. The page must have pageSize() bytes.
    DatabaseImage& SetPage(std::uint32_t number, const TablePage& page);
    // Overwrites the header's page size field (offset 16, big-endian).
    DatabaseImage& SetPageSizeField(std::uint16_t field);

    // The file's bytes.
    std::string Bytes() const;

private:
    std::uint32_t pageSize_;
    std::string header_;               // page 1
    std::vector<std::string> pages_;   // pages 2, 3, ...
};

}  // namespace qb::testsupport

// The page scanner's decoder of table cells against a record shape, for
// every page version the recovery finds (current pages, older versions from
// the main file and the write-ahead log, journal images, freed pages).
//
// A table leaf cell is: payload length (varint), row id (varint), then the
// record: header length (varint), one serial type per column, the body.
// Unlike a plain sliding carve, a candidate is only taken when the bytes
// account for it:
//
// - a whole cell (its payload length survives) must have header plus body
//   exactly as long as its payload length says;
// - a cell whose first four bytes a freeblock header overwrote (payload
//   length, row id, and often the header length and the first serial type)
//   is rebuilt from the shape: the lost bytes must be exactly what the
//   rebuilt payload length and header need, and the cell must end where the
//   freeblock ends, where another cell or freeblock begins, or where a live
//   cell took the freeblock's tail (then every field it gives lies before);
// - in the unallocated gap of a page and in pages whose structure is lost,
//   a record whose payload length, row id and header length were all
//   overwritten (by a cell pointer array that grew over them) is taken from
//   its serial types alone when every column fits the shape, every text of
//   the record is valid, exactly one column count reads it, and it lies whole
//   in the gap;
// - a record whose payload ran on into overflow pages is completed from the
//   chain while its pages are free or unused and the lengths agree, else the
//   text is kept as far as it lies on the page and marked cut short.
//
// Every read stays inside the page buffer; nothing read from the page is
// trusted as a length or an offset before it is checked against the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dbrecover/page_scanner.h"
#include "dbrecover/record_shape.h"

namespace qb::dbrecover {

// Where a cell's overflow pages are read from.
class PageLookup {
public:
    virtual ~PageLookup() = default;
    // Reads page n (pageSize bytes) into out; returns the bytes read.
    virtual std::size_t ReadPage(std::uint32_t page, std::uint8_t* out) const = 0;
    // True when nothing uses the page now: it is free or past the database's end.
    virtual bool FreeOrUnused(std::uint32_t page) const = 0;
};

class CellCarver {
public:
    // Page buffers handed in must have pageSize + kPadding readable bytes,
    // zero past the valid ones.
    static constexpr std::size_t kPadding = 32;

    CellCarver(RecordShape& shape, std::uint32_t pageSize, std::uint32_t usableSize, CarvedRowSink& sink,
               const PageLookup* pages, ScanStats& stats);

    // The live cells of a leaf table page, through its cell pointer array:
    // handed on as live rows (SeeLive...) when asLive, else as carved rows of
    // the source. Column counts of the records seen join the shape.
    void CarveCells(const std::uint8_t* page, std::size_t valid, std::uint32_t pageNo, RowSource source, bool asLive);
    // The freeblocks and the unallocated gap of a leaf or interior table page.
    void CarveFreeSpace(const std::uint8_t* page, std::size_t valid, std::uint32_t pageNo, RowSource source);
    // Bytes of a page whose structure is lost (a freelist trunk page past its
    // list, a page no header describes): whole cells and old freeblocks.
    void CarveArea(const std::uint8_t* page, std::size_t from, std::size_t to, std::size_t valid, std::uint32_t pageNo,
                   RowSource source);

    // Which version the page images handed in next are, and the log frame
    // (1-based) they came from, 0 for none; said of the rows found in them.
    void SetVersion(OlderVersion older, std::uint32_t frame = 0) {
        older_ = older;
        frame_ = frame;
    }

    // Whether the cells of a leaf page decode as records of the shape: at
    // least one cell, and at least half of them.
    bool LooksLikeTablePage(const std::uint8_t* page, std::size_t valid) const;
    // Whether every live cell of a leaf page decodes as a record of the
    // shape; one that does not is a sign of damage.
    bool AllCellsDecode(const std::uint8_t* page, std::size_t valid) const;

private:
    struct Candidate {
        std::size_t cellStart = 0;
        std::size_t payloadStart = 0;  // page offset where the record (its header) begins
        std::size_t bodyAt = 0;        // page offset of the first body byte
        std::uint64_t header = 0;      // header length, its own varint included
        std::uint64_t body = 0;
        std::uint32_t columns = 0;
        std::int64_t rowid = -1;
        bool rebuilt = false;
    };
    // One decoded row, owning its texts (rebuilt candidates are compared).
    struct Row {
        std::uint64_t numbers[4] = {};  // contacts: mimetype, raw id; messages: date, thread, type
        std::string texts[2];           // contacts: data1; messages: address, body
        bool cutShort = false;
        bool operator==(const Row& o) const {
            return numbers[0] == o.numbers[0] && numbers[1] == o.numbers[1] && numbers[2] == o.numbers[2] &&
                   texts[0] == o.texts[0] && texts[1] == o.texts[1] && cutShort == o.cutShort;
        }
    };
    struct PageContext {
        const std::uint8_t* bytes = nullptr;
        std::size_t valid = 0;
        std::uint32_t pageNo = 0;
        RowSource source = RowSource::FreeSpace;
        PageArea area = PageArea::Cell;
        std::vector<std::uint16_t> cellStarts;  // sorted live cell offsets
        std::size_t areaStart = 0;              // of the area being carved
        bool IsCellStart(std::size_t offset) const;
    };

    bool WholeCellAt(const std::uint8_t* b, std::size_t q, std::size_t limit, Candidate& c,
                     std::vector<std::uint32_t>& types) const;
    void RebuildAt(const PageContext& ctx, std::size_t f, std::size_t end);
    bool HeadlessAt(const PageContext& ctx, std::size_t s, std::size_t end);
    bool TextsValid(const std::uint8_t* body, const std::vector<std::uint32_t>& types, std::uint32_t columns,
                    std::uint64_t readable) const;
    void SlideArea(PageContext& ctx, std::size_t from, std::size_t to, std::size_t knownFreeblock, bool headless);
    bool EndFits(const PageContext& ctx, std::size_t cellEnd, std::size_t end, std::size_t fieldsEnd) const;
    bool LooksLikeFreeblock(const std::uint8_t* b, std::size_t x, std::size_t end) const;
    // Reads the fields of interest; false when the candidate is not a row.
    // limit: the first byte the record may not be read from.
    bool Extract(const PageContext& ctx, const Candidate& c, const std::vector<std::uint32_t>& types,
                 std::size_t limit, bool requireFreeOverflow, Row& row, std::size_t& fieldsEnd);
    bool FollowOverflow(std::uint32_t first, std::uint64_t needed, bool requireFree, std::string& out) const;
    void Hand(const Row& row, const Provenance& from, bool asLive);
    Provenance From(const PageContext& ctx, std::size_t offset, std::int64_t rowid, bool rebuilt) const;
    void LocalSize(std::uint64_t payload, std::uint64_t& local, bool& overflow) const;

    RecordShape& shape_;
    std::uint32_t pageSize_;
    std::uint32_t usable_;
    std::uint64_t maxLocal_, minLocal_;
    CarvedRowSink& sink_;
    const PageLookup* pages_;
    ScanStats& stats_;
    std::vector<std::uint32_t> types_;
    mutable std::vector<std::uint32_t> scratchTypes_;  // for the const checks
    std::vector<std::size_t> ends_;
    OlderVersion older_ = OlderVersion::None;
    std::uint32_t frame_ = 0;
};

// Size in bytes of the shortest varint that holds v.
inline unsigned VarintLength(std::uint64_t v) {
    unsigned n = 1;
    while (n < 9 && (v >> (7 * n)) != 0) ++n;
    return n;
}

}  // namespace qb::dbrecover

// Finds rows deleted from one table by carving the free space of the table's
// B-tree leaf pages: the freeblocks and the unallocated gap between the cell
// pointer array and the cell content. Every byte of that space is tried as
// the start of a record header; a candidate that passes the column rules of
// its table and whose texts pass the text test is handed on.
//
// A start position whose serial types run into the region's end ends the
// region: no later position can hold a whole header either. A candidate
// whose contents would lie past the end is only rejected, since on pages
// that SQLite rebuilt, stale fragments of headers lie among whole records.
//
// Only leaf pages reachable from the table's root are examined. On-disk
// pointers are not trusted: no page is visited twice in one walk, the walk's
// depth is bounded, no freeblock offset is followed twice in one chain, and
// nothing is read outside the page it belongs to.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "dbrecover/sqlite_file.h"
#include "platform/file.h"

namespace qb::dbrecover {

// Where a carved row was found.
enum class RowSource : std::uint8_t {
    FreeSpace,    // free space of the copy's current table pages (leaves and interior pages)
    OlderPage,    // a table page version older than the current one: the main file under the log, or a log frame
    StaleFrame,   // a log frame behind the log's restart or with a bad checksum
    Journal,      // a page image of the rollback journal
    Freelist,     // a freed page
    Unreachable,  // a table page that no walk from the root reached (a damaged or cut copy)
};
const char* RowSourceName(RowSource source);

// The part of a page a carved row was read from.
enum class PageArea : std::uint8_t {
    Cell,       // a cell the page's pointer array lists
    Freeblock,  // a freeblock of the page's chain
    Gap,        // the unallocated gap between the pointer array and the cells
    Lost,       // bytes of a page whose structure is gone (a freelist trunk past its list)
};

// Which older version of a page a row of RowSource::OlderPage came from.
enum class OlderVersion : std::uint8_t {
    None,
    LogFrame,   // a committed log frame that a later frame replaced
    MainFile,   // the main file's page under the log's frames
    FormerLeaf, // an interior page, whose free space holds what it held as a leaf
    OtherPage,  // a page of another table, whose free space holds what it held as one of this table
};

struct Provenance {
    RowSource source = RowSource::FreeSpace;
    OlderVersion older = OlderVersion::None;
    PageArea area = PageArea::Freeblock;
    std::uint32_t page = 0;    // page number
    std::uint32_t offset = 0;  // of the cell (or of its freeblock) in the page
    std::uint32_t frame = 0;   // 1-based frame of the write-ahead log the page image came from; 0 for none
    std::int64_t rowid = -1;   // when the cell's row id survived
    bool rebuilt = false;      // the cell's first bytes were overwritten and rebuilt from the shape
};

// A carved row of table data. data1 is only valid during the call.
struct CarvedDataRow {
    std::uint64_t mimetypeId = 0;
    std::uint64_t rawContactId = 0;
    std::string_view data1;
    bool cutShort = false;  // the value ran on into overflow pages that are gone
    Provenance from;
};

// A carved row of table sms. The texts are only valid during the call.
struct CarvedSmsRow {
    std::string_view address;
    std::string_view body;
    std::uint64_t date = 0;
    std::uint64_t threadId = 0;
    std::uint64_t type = 0;
    bool bodyCutShort = false;  // the body ran on into overflow pages that are gone
    Provenance from;
};

// Receives the accepted candidates of a scan, in the order they are carved.
class CarvedRowSink {
public:
    virtual ~CarvedRowSink() = default;
    // Contacts variant: one deleted row of table data.
    virtual void AddDeletedDataRow(std::uint64_t /*mimetypeId*/, std::uint64_t /*rawContactId*/,
                                   std::string_view /*data1*/) {}
    // Messages variant: one deleted row of table sms.
    virtual void AddDeletedSmsRow(std::string_view /*address*/, std::string_view /*body*/, std::uint64_t /*date*/,
                                  std::uint64_t /*threadId*/, std::uint64_t /*type*/) {}

    // The same with where the row was found; by default handed to the two
    // above. Rows of a source other than FreeSpace come from page versions
    // older than the current one and are deleted only when no live row of
    // the copies is the same row.
    virtual void AddCarvedDataRow(const CarvedDataRow& row) {
        AddDeletedDataRow(row.mimetypeId, row.rawContactId, row.data1);
    }
    virtual void AddCarvedSmsRow(const CarvedSmsRow& row) {
        AddDeletedSmsRow(row.address, row.body, row.date, row.threadId, row.type);
    }
    // A live row of the current version of a copy, read below SQLite.
    virtual void SeeLiveDataRow(const CarvedDataRow& /*row*/) {}
    virtual void SeeLiveSmsRow(const CarvedSmsRow& /*row*/) {}
};

// What one scan looked at.
struct ScanStats {
    std::uint32_t leafPages = 0;
    std::uint32_t freeblocks = 0;
    std::uint64_t regions = 0;
    std::uint64_t freeBytes = 0;  // bytes of all carved regions
    std::uint64_t candidates = 0; // accepted candidates handed on
    // What the recovery of all page versions looked at.
    std::uint32_t interiorPages = 0;   // current interior pages whose free space was carved
    std::uint32_t olderPages = 0;      // older page versions carved (main file under the log, log frames)
    std::uint32_t walFrames = 0;       // frames in the log
    std::uint32_t journalPages = 0;    // page images in the rollback journal
    std::uint32_t freelistPages = 0;   // freed pages carved
    std::uint32_t unreachablePages = 0;
    std::uint64_t rebuiltCells = 0;    // accepted rows whose first bytes were rebuilt
    std::uint64_t overflowFollowed = 0;
    std::uint64_t cutShort = 0;
    std::uint64_t liveCells = 0;       // live cells of the current version read raw
};

class PageScanner {
public:
    // The layout must carry a valid page size (PageSizeFromField). A layout
    // whose column positions cannot describe its table (CanScan) yields
    // nothing.
    PageScanner(const platform::ByteSource& file, const TableLayout& layout, CarvedRowSink& sink);

    // One complete run: collect the leaves from the root page, gather their
    // freeblocks, carve every freeblock region and then every gap region.
    ScanStats Run();

    // The steps of a run, exposed for inspection.
    void CollectLeaves();
    void GatherFreeblocks();
    void CarveFreeblockRegions();
    void CarveGapRegions();
    // Tries every start position of one region. The bytes after length must
    // be readable and zero for at least kRegionPadding bytes.
    void CarveRegion(const std::uint8_t* bytes, std::size_t length);

    const std::vector<std::uint32_t>& leafPages() const { return leafPages_; }
    const std::map<std::uint32_t, std::vector<std::uint16_t>>& freeblocks() const { return freeblocks_; }
    const ScanStats& stats() const { return stats_; }

    static constexpr std::size_t kRegionPadding = 16;
    // Deeper than any real table (SQLite itself gives up at 20 levels).
    static constexpr int kMaxTreeDepth = 40;

    static bool CanScan(const TableLayout& layout);

private:
    // What the column rules ask of one serial type.
    struct ColumnRule {
        std::uint32_t minType = 0;
        std::uint32_t maxType = 0xFFFFFFFFu;
        bool mimetypeId = false;  // a 1-byte integer, or the constant 1
        std::int8_t slot = -1;    // where the column's type and offset are kept
        bool Accepts(std::uint32_t serialType) const;
    };
    static constexpr std::size_t kPrefilterColumns = 8;
    enum Slot : std::int8_t { kMimetype, kRawContactId, kData1, kAddress, kBody, kDate, kThreadId, kType, kSlots };

    void BuildRules();
    void BuildPrefilter();
    bool QuickReject(const std::uint8_t* p) const;
    // Reads a page into out, zero-filling what the file does not hold and the
    // padding; returns the bytes read.
    std::size_t ReadPage(std::uint32_t page, std::vector<std::uint8_t>& out) const;
    void Descend(std::uint32_t page, int depth, std::vector<bool>& visited);
    std::vector<std::uint16_t> FreeblockChain(const std::uint8_t* pageBytes);
    void CarveFreeblocksOfPage(std::size_t validBytes, const std::vector<std::uint16_t>& offsets);
    void CarveInPage(std::uint8_t* pageBytes, std::size_t start, std::size_t length);
    void CarveContacts(const std::uint8_t* bytes, std::size_t length);
    void CarveMessages(const std::uint8_t* bytes, std::size_t length);

    const platform::ByteSource& file_;
    TableLayout layout_;
    CarvedRowSink& sink_;
    bool scannable_ = false;
    std::uint64_t pageCount_ = 0;
    std::vector<ColumnRule> rules_;
    std::uint8_t prefilter_[kPrefilterColumns][256] = {};
    std::size_t prefilterColumns_ = 0;
    std::vector<std::uint32_t> leafPages_;
    std::map<std::uint32_t, std::vector<std::uint16_t>> freeblocks_;
    std::vector<std::uint8_t> page_;
    std::vector<bool> seen_;  // freeblock offsets met in the current chain
    ScanStats stats_;
};

// Opens the file read-only and runs one scan; nothing when it cannot be
// opened.
ScanStats Scan(const std::string& path, const TableLayout& layout, CarvedRowSink& sink);

}  // namespace qb::dbrecover

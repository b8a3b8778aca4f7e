#include "dbrecover/table_recovery.h"
#include "dbrecover/sqlite_file.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "dbrecover/cell_carver.h"
#include "dbrecover/freelist_walk.h"
#include "dbrecover/journal_reader.h"
#include "dbrecover/record_shape.h"
#include "dbrecover/schema_probe.h"
#include "dbrecover/wal_reader.h"
#include "platform/file.h"

namespace qb::dbrecover {
namespace {

constexpr int kMaxTreeDepth = 40;

std::optional<std::string> ReadCompanion(const std::string& path) {
    if (!platform::FileExists(path)) return std::nullopt;
    auto file = platform::ReadOnlyFile::Open(path);
    if (!file) return std::nullopt;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(file->Size(), kMaxCompanionBytes));
    std::string bytes;
    try {
        bytes.resize(n);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    bytes.resize(file->ReadAt(0, bytes.data(), n));
    return bytes;
}

// The database as SQLite sees it: the main file with the last committed
// frame of each page laid over it.
class CurrentView final : public PageLookup {
public:
    CurrentView(const platform::ByteSource& main, std::uint32_t pageSize, const WalLog& log, std::string_view wal)
        : main_(main), pageSize_(pageSize), log_(log), wal_(wal) {
        // A last page cut short still counts: what it holds is read.
        mainPages_ = static_cast<std::uint32_t>(
            std::min<std::uint64_t>((main_.Size() + pageSize_ - 1) / pageSize_, 0x7FFFFFFF));
        databasePages_ = log_.databasePages != 0 ? log_.databasePages : mainPages_;
    }

    std::size_t ReadPage(std::uint32_t page, std::uint8_t* out) const override {
        if (page == 0) return 0;
        if (const auto it = log_.currentFrameOf.find(page); it != log_.currentFrameOf.end()) {
            const WalFrame& f = log_.frames[it->second];
            if (f.dataOffset + pageSize_ <= wal_.size()) {
                std::memcpy(out, wal_.data() + f.dataOffset, pageSize_);
                return pageSize_;
            }
        }
        return ReadMain(page, out);
    }
    std::size_t ReadMain(std::uint32_t page, std::uint8_t* out) const {
        if (page == 0 || page > mainPages_) return 0;
        return main_.ReadAt((std::uint64_t{page} - 1) * pageSize_, out, pageSize_);
    }
    bool FreeOrUnused(std::uint32_t page) const override { return free_.count(page) || page > databasePages_; }

    std::uint32_t pageCount() const { return std::max(databasePages_, mainPages_); }
    std::uint32_t mainPages() const { return mainPages_; }
    void MarkFree(std::uint32_t page) { free_.insert(page); }
    bool IsFree(std::uint32_t page) const { return free_.count(page) != 0; }

private:
    const platform::ByteSource& main_;
    std::uint32_t pageSize_;
    const WalLog& log_;
    std::string_view wal_;
    std::uint32_t mainPages_ = 0;
    std::uint32_t databasePages_ = 0;
    std::unordered_set<std::uint32_t> free_;
};

// The pages of the table's B-tree reachable from the root, bounded and
// cycle-safe; `damaged` when a child is missing or of no table page type.
struct TreeWalk {
    std::vector<std::uint32_t> leaves, interiors;
    bool damaged = false;
};

void Descend(const CurrentView& view, std::uint32_t page, int depth, std::vector<bool>& visited, TreeWalk& walk,
             std::vector<std::uint8_t>& buf) {
    if (page == 0 || page > view.pageCount() || depth > kMaxTreeDepth) {
        walk.damaged = true;
        return;
    }
    if (visited[page]) return;
    visited[page] = true;
    std::fill(buf.begin(), buf.end(), 0);
    const std::size_t got = view.ReadPage(page, buf.data());
    if (got == 0) {
        walk.damaged = true;
        return;
    }
    if (buf[0] == kLeafTablePage) {
        walk.leaves.push_back(page);
        return;
    }
    if (buf[0] != kInteriorTablePage) {
        walk.damaged = true;
        return;
    }
    walk.interiors.push_back(page);
    const std::size_t pageSize = buf.size() - CellCarver::kPadding;
    std::vector<std::uint32_t> children;
    if (const std::uint32_t right = Get32(buf.data() + 8); right != 0) children.push_back(right);
    const std::size_t cells = Get16(buf.data() + 3);
    for (std::size_t i = 0; i < cells && 12 + 2 * i + 2 <= pageSize; ++i) {
        const std::size_t cellAt = Get16(buf.data() + 12 + 2 * i);
        if (cellAt + 4 > pageSize) continue;
        children.push_back(Get32(buf.data() + cellAt));
    }
    for (std::uint32_t child : children) Descend(view, child, depth + 1, visited, walk, buf);
}

// The page size of a file whose header is gone: the smallest size under
// which most pages start like B-tree pages.
std::uint32_t GuessPageSize(const platform::ByteSource& file) {
    std::uint32_t best = 0;
    double bestShare = 0;
    for (std::uint32_t size = 512; size <= 65536; size *= 2) {
        const std::uint64_t pages = std::min<std::uint64_t>(file.Size() / size, 256);
        if (pages < 2) break;
        std::uint32_t good = 0, seen = 0;
        for (std::uint64_t n = 2; n <= pages; ++n) {
            std::uint8_t h[8] = {};
            if (file.ReadAt((n - 1) * size, h, sizeof h) != sizeof h) break;
            ++seen;
            const std::uint32_t cells = h[3] << 8 | h[4], content = h[5] << 8 | h[6];
            const bool btree = h[0] == 2 || h[0] == 5 || h[0] == 10 || h[0] == 13;
            if (btree && 12 + 2 * cells <= size && (content == 0 ? size == 65536 : content <= size)) ++good;
        }
        const double share = seen ? static_cast<double>(good) / seen : 0;
        if (share >= 0.6) return size;
        if (share > bestShare) {
            bestShare = share;
            best = size;
        }
    }
    return bestShare >= 0.3 ? best : 0;
}

// A 64-bit hash of a page image, eight bytes at a time (pages are a
// multiple of eight bytes); two images with the same one are taken as equal.
std::uint64_t Fingerprint(const std::uint8_t* p, std::size_t n) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ (w * 0xBF58476D1CE4E5B9ull)) * 0x94D049BB133111EBull;
        h ^= h >> 29;
    }
    return h;
}

// The layout of the table when SQLite cannot read the file: from the cells
// of sqlite_master, else the known Android layout whose records most of the
// file's leaf pages hold (then without a root page).
std::optional<TableLayout> LayoutWithoutSQLite(TableKind kind, const CurrentView& view, std::uint32_t pageSize,
                                               std::uint32_t usable, bool& tableAbsent) {
    const auto read = [&](std::uint32_t n, std::uint8_t* out) { return view.ReadPage(n, out); };
    if (auto entry = ReadSchemaRaw(kind, pageSize, usable, view.pageCount(), read)) {
        auto layout = LayoutFromColumns(kind, ColumnsFromCreateTable(entry->sql));
        if (layout) {
            layout->rootPage = static_cast<std::int32_t>(entry->rootPage);
            return layout;
        }
    }
    // A readable page 1 that does not list the table: the table is not there.
    std::vector<std::uint8_t> first(pageSize + CellCarver::kPadding, 0);
    static constexpr char kMagic[] = "SQLite format 3";
    if (view.ReadPage(1, first.data()) >= 108 && std::memcmp(first.data(), kMagic, 16) == 0 &&
        (first[100] == kLeafTablePage || first[100] == kInteriorTablePage)) {
        const std::size_t cells = Get16(first.data() + 103);
        if (cells > 0 && first[100] == kLeafTablePage) {
            tableAbsent = true;
            return std::nullopt;
        }
    }
    std::optional<TableLayout> best;
    std::size_t bestPages = 0;
    for (const std::string& sql : KnownAndroidTables(kind)) {
        auto layout = LayoutFromColumns(kind, ColumnsFromCreateTable(sql));
        if (!layout) continue;
        RecordShape shape = *layout->shape;
        ScanStats unused;
        CarvedRowSink none;
        CellCarver probe(shape, pageSize, usable, none, nullptr, unused);
        std::size_t pages = 0;
        std::vector<std::uint8_t> buf(pageSize + CellCarver::kPadding);
        const std::uint32_t limit = std::min<std::uint32_t>(view.pageCount(), 4096);
        for (std::uint32_t n = 2; n <= limit; ++n) {
            std::fill(buf.begin(), buf.end(), 0);
            const std::size_t got = view.ReadPage(n, buf.data());
            if (got && probe.LooksLikeTablePage(buf.data(), got)) ++pages;
        }
        if (pages > bestPages) {
            bestPages = pages;
            best = std::move(layout);
        }
    }
    if (best) best->rootPage = 0;
    return best;
}

}  // namespace

CopyEvidence CaptureCompanions(const std::string& path) {
    CopyEvidence e;
    e.path = path;
    if (path.empty()) return e;
    e.wal = ReadCompanion(path + "-wal");
    e.journal = ReadCompanion(path + "-journal");
    return e;
}

ScanStats RecoverTable(const CopyEvidence& copy, TableKind kind, CarvedRowSink& sink) {
    ScanStats stats;
    const std::string& path = copy.path;
    if (path.empty() || !platform::FileExists(path)) return stats;
    if (path.find(DatabaseFileName(kind)) == std::string::npos) return stats;
    auto file = platform::ReadOnlyFile::Open(path);
    if (!file) return stats;

    // Page size: the file's header, else the log's or the journal's.
    std::uint8_t header[100] = {};
    const std::size_t headerBytes = file->ReadAt(0, header, sizeof header);
    std::uint32_t pageSize = headerBytes >= 18 ? PageSizeFromField(header[16] * 256u + header[17]) : 0;
    const std::string_view walBytes = copy.wal ? std::string_view(*copy.wal) : std::string_view();
    if (pageSize == 0 && !walBytes.empty()) pageSize = WalPageSize(walBytes);
    if (pageSize == 0 && copy.journal && copy.journal->size() >= 28) {
        const auto* j = reinterpret_cast<const std::uint8_t*>(copy.journal->data());
        pageSize = PageSizeFromField(Get32(j + 24) > 65536 ? 0 : Get32(j + 24));
    }
    const bool headerLost = pageSize == 0;
    if (pageSize == 0) pageSize = GuessPageSize(*file);
    if (pageSize == 0) return stats;
    const std::uint32_t reserved = headerBytes >= 21 && !headerLost ? header[20] : 0;
    const std::uint32_t usable = pageSize - reserved;
    if (usable < 480) return stats;

    WalLog log;
    if (!walBytes.empty() && (WalPageSize(walBytes) == pageSize || WalPageSize(walBytes) == 0)) {
        log = ReadWal(walBytes, pageSize);
    }
    stats.walFrames = static_cast<std::uint32_t>(log.frames.size());
    CurrentView view(*file, pageSize, log, walBytes);
    const std::uint32_t pageCount = view.pageCount();

    // Schema: through SQLite, else below it.
    bool damaged = false;
    auto layout = ProbeSchema(path, kind);
    if (!layout) {
        bool absent = false;
        layout = LayoutWithoutSQLite(kind, view, pageSize, usable, absent);
        if (!layout) return stats;
        damaged = true;
    }
    if (!layout->shape) return stats;
    RecordShape shape = *layout->shape;
    // A cut copy: the header promises more pages than the file holds.
    if (log.databasePages == 0 && headerBytes >= 32) {
        const std::uint32_t promised = Get32(header + 28);
        if (promised > view.mainPages()) damaged = true;
    }

    std::vector<std::uint8_t> buf(pageSize + CellCarver::kPadding);
    const auto read = [&](std::uint32_t n, std::uint8_t* out) { return view.ReadPage(n, out); };

    // The freelist first: overflow chains are followed only through free pages.
    std::vector<std::uint8_t> first(pageSize + CellCarver::kPadding, 0);
    view.ReadPage(1, first.data());
    const Freelist freelist = WalkFreelist(Get32(first.data() + 32), pageCount, pageSize, usable, read);
    for (std::uint32_t p : freelist.trunks) view.MarkFree(p);
    for (std::uint32_t p : freelist.leaves) view.MarkFree(p);

    TreeWalk walk;
    if (layout->rootPage > 0) {
        std::vector<bool> visited(std::size_t {pageCount} + 1, false);
        Descend(view, static_cast<std::uint32_t>(layout->rootPage), 0, visited, walk, buf);
        std::sort(walk.leaves.begin(), walk.leaves.end());
        std::sort(walk.interiors.begin(), walk.interiors.end());
    }
    damaged = damaged || walk.damaged || layout->rootPage <= 0;
    stats.leafPages = static_cast<std::uint32_t>(walk.leaves.size());

    CellCarver carver(shape, pageSize, usable, sink, &view, stats);
    std::unordered_set<std::uint64_t> carved;  // page images already carved
    const auto load = [&](std::uint32_t n) {
        std::fill(buf.begin(), buf.end(), 0);
        return view.ReadPage(n, buf.data());
    };
    // A live cell that is no record of the table: the copy is damaged, and
    // SQLite may have stopped reading at it.
    for (std::size_t i = 0; i < walk.leaves.size() && !damaged; ++i) {
        const std::size_t got = load(walk.leaves[i]);
        if (!carver.AllCellsDecode(buf.data(), got)) damaged = true;
    }

    // The current version: live cells first (their column counts and their
    // rows are then known), then free space. In a damaged copy SQLite may not
    // have read them all: they are handed on as rows of a page no walk of
    // SQLite's reached, and those SQLite did read are known live.
    for (std::uint32_t n : walk.leaves) {
        const std::size_t got = load(n);
        carver.CarveCells(buf.data(), got, n, damaged ? RowSource::Unreachable : RowSource::FreeSpace, !damaged);
        carved.insert(Fingerprint(buf.data(), pageSize));
    }
    for (std::uint32_t n : walk.leaves) {
        const std::size_t got = load(n);
        carver.CarveFreeSpace(buf.data(), got, n, RowSource::FreeSpace);
    }
    // An interior page's free space holds what the page held while it was
    // a leaf, before the table grew past it: rows moved to its children as
    // much as rows deleted before then, so they count as an older version.
    carver.SetVersion(OlderVersion::FormerLeaf);
    for (std::uint32_t n : walk.interiors) {
        const std::size_t got = load(n);
        carver.CarveFreeSpace(buf.data(), got, n, RowSource::OlderPage);
        ++stats.interiorPages;
    }
    carver.SetVersion(OlderVersion::None);

    // An older version of a page, carved once per distinct image.
    const auto carveVersion = [&](const std::uint8_t* image, std::size_t got, std::uint32_t n, RowSource source) {
        if (got == 0 || (image[0] != kLeafTablePage && image[0] != kInteriorTablePage)) return false;
        if (!carved.insert(Fingerprint(image, pageSize)).second) return false;
        carver.CarveCells(image, got, n, source, false);
        carver.CarveFreeSpace(image, got, n, source);
        return true;
    };

    // Log frames other than the current one of their page, then the main
    // file's version of every page the log overlays.
    std::vector<std::uint8_t> image(pageSize + CellCarver::kPadding);
    for (const WalFrame& f : log.frames) {
        const auto current = log.currentFrameOf.find(f.page);
        if (current != log.currentFrameOf.end() && current->second == f.index) continue;
        if (f.dataOffset + pageSize > walBytes.size()) continue;
        std::fill(image.begin(), image.end(), 0);
        std::memcpy(image.data(), walBytes.data() + f.dataOffset, pageSize);
        const RowSource source = f.committed ? RowSource::OlderPage : RowSource::StaleFrame;
        carver.SetVersion(f.committed ? OlderVersion::LogFrame : OlderVersion::None, f.index + 1);
        stats.olderPages += carveVersion(image.data(), pageSize, f.page, source);
    }
    carver.SetVersion(OlderVersion::MainFile);
    std::unordered_set<std::uint32_t> logged;
    for (const WalFrame& f : log.frames) logged.insert(f.page);
    for (std::uint32_t n : logged) {
        if (n == 0 || n > view.mainPages()) continue;
        std::fill(image.begin(), image.end(), 0);
        const std::size_t got = view.ReadMain(n, image.data());
        stats.olderPages += carveVersion(image.data(), got, n, RowSource::OlderPage);
    }
    carver.SetVersion(OlderVersion::None);

    // The rollback journal's page images.
    if (copy.journal) {
        const Journal journal = ReadJournal(*copy.journal, pageSize, std::max<std::uint32_t>(pageCount, 1) * 2 + 16);
        for (const JournalPage& jp : journal.pages) {
            if (jp.dataOffset + journal.pageSize > copy.journal->size() || journal.pageSize != pageSize) continue;
            std::fill(image.begin(), image.end(), 0);
            std::memcpy(image.data(), copy.journal->data() + jp.dataOffset, pageSize);
            stats.journalPages += carveVersion(image.data(), pageSize, jp.page, RowSource::Journal);
        }
    }

    // Freed pages: leaves whole, trunks past their list.
    for (std::uint32_t n : freelist.leaves) {
        const std::size_t got = load(n);
        stats.freelistPages += carveVersion(buf.data(), got, n, RowSource::Freelist);
    }
    for (std::size_t i = 0; i < freelist.trunks.size(); ++i) {
        const std::uint32_t n = freelist.trunks[i];
        const std::size_t got = load(n);
        carver.CarveArea(buf.data(), 8 + 4 * std::size_t {freelist.trunkCounts[i]}, pageSize, got, n, RowSource::Freelist);
        ++stats.freelistPages;
    }

    // Every other page. A leaf of the table's shape that no walk reached (in
    // a damaged or cut copy, or one whose root is unknown, or past the end of
    // the database) is carved whole; the pages of other tables only in their
    // free space, where cells from when the page was this table's may lie.
    std::unordered_set<std::uint32_t> known(walk.leaves.begin(), walk.leaves.end());
    known.insert(walk.interiors.begin(), walk.interiors.end());
    const std::uint32_t databasePages = log.databasePages ? log.databasePages : view.mainPages();
    for (std::uint32_t n = 2; n <= std::max(view.mainPages(), databasePages); ++n) {
        if (known.count(n) || view.IsFree(n)) continue;
        const std::size_t got = load(n);
        if (got == 0 || (buf[0] != kLeafTablePage && buf[0] != kInteriorTablePage)) continue;
        if ((damaged || n > databasePages) && carver.LooksLikeTablePage(buf.data(), got)) {
            stats.unreachablePages += carveVersion(buf.data(), got, n, RowSource::Unreachable);
        } else if (carved.insert(Fingerprint(buf.data(), pageSize)).second) {
            carver.SetVersion(OlderVersion::OtherPage);
            carver.CarveFreeSpace(buf.data(), got, n, RowSource::OlderPage);
            carver.SetVersion(OlderVersion::None);
        }
    }
    return stats;
}

}  // namespace qb::dbrecover

#include "dbrecover/page_scanner.h"
#include "dbrecover/sqlite_file.h"

#include <algorithm>
#include <cstring>

namespace qb::dbrecover {
namespace {

constexpr std::size_t kLeafHeaderSize = 8;
constexpr std::size_t kInteriorHeaderSize = 12;

bool InColumns(std::int32_t column, const TableLayout& l) { return column >= 0 && column < l.columnCount; }

}  // namespace

bool PageScanner::CanScan(const TableLayout& l) {
    if (l.rootPage < 1 || l.columnCount < 1) return false;
    if (l.pageSize <= 0 || PageSizeFromField(static_cast<std::uint32_t>(l.pageSize)) != static_cast<std::uint32_t>(l.pageSize)) {
        return false;
    }
    if (l.kind == TableKind::Contacts) {
        // The mimetype id is the column just before raw_contact_id.
        return InColumns(l.rawContactIdColumn, l) && l.rawContactIdColumn >= 1 && InColumns(l.data1Column, l) &&
               l.data1Column != l.rawContactIdColumn;
    }
    // Column 0, the row id alias, is never read from the bytes; each field
    // is taken from a column of its own.
    const std::int32_t fields[] = {l.addressColumn, l.bodyColumn, l.dateColumn, l.threadIdColumn, l.typeColumn};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (!InColumns(fields[i], l) || fields[i] < 1) return false;
        for (std::size_t k = 0; k < i; ++k) {
            if (fields[k] == fields[i]) return false;
        }
    }
    return true;
}

PageScanner::PageScanner(const platform::ByteSource& file, const TableLayout& layout, CarvedRowSink& sink)
    : file_(file), layout_(layout), sink_(sink), scannable_(CanScan(layout)) {
    if (!scannable_) return;
    const std::uint64_t pageSize = static_cast<std::uint64_t>(layout_.pageSize);
    pageCount_ = (file_.Size() + pageSize - 1) / pageSize;
    page_.resize(pageSize + kRegionPadding);
    BuildRules();
}

bool PageScanner::ColumnRule::Accepts(std::uint32_t t) const {
    return t >= minType && t <= maxType && (!mimetypeId || t == 1 || t == 9);
}

void PageScanner::BuildPrefilter() {
    // For each of the first columns read: 0 when a one-byte serial type of
    // that value fails the column's rule, 1 when it passes, 2 for bytes that
    // begin a longer varint (decided by the full decode).
    const std::size_t first = layout_.kind == TableKind::Contacts ? 0 : 1;
    prefilterColumns_ = std::min<std::size_t>(kPrefilterColumns, rules_.size() - first);
    for (std::size_t k = 0; k < prefilterColumns_; ++k) {
        for (std::uint32_t b = 0; b < 256; ++b) {
            prefilter_[k][b] = b >= 0x80 ? 2 : (rules_[first + k].Accepts(b) ? 1 : 0);
        }
    }
}

// True when the first serial types at p, read as one-byte varints, already
// fail their columns' rules. Reads at most kPrefilterColumns bytes; near the
// region's end it reads the zero padding, where a rejection has the same
// outcome as the end-of-region stop the full decode would reach.
bool PageScanner::QuickReject(const std::uint8_t* p) const {
    for (std::size_t k = 0; k < prefilterColumns_; ++k) {
        const std::uint8_t verdict = prefilter_[k][p[k]];
        if (verdict != 1) return verdict == 0;
    }
    return false;
}

void PageScanner::BuildRules() {
    rules_.assign(layout_.columnCount, ColumnRule {});
    const TableLayout& l = layout_;
    if (l.kind == TableKind::Contacts) {
        for (std::int32_t i = 0; i < l.data1Column; ++i) rules_[i].maxType = 11;
        ColumnRule& mimetype = rules_[l.rawContactIdColumn - 1];
        mimetype.mimetypeId = true;
        mimetype.slot = kMimetype;
        ColumnRule& raw = rules_[l.rawContactIdColumn];
        raw.minType = std::max<std::uint32_t>(raw.minType, 1);
        raw.slot = kRawContactId;
        ColumnRule& data1 = rules_[l.data1Column];
        data1.minType = std::max<std::uint32_t>(data1.minType, 14);
        // When data1 stands right before raw_contact_id its rule and the
        // mimetype rule exclude each other, so the slot never matters.
        if (data1.slot < 0) data1.slot = kData1;
        BuildPrefilter();
        return;
    }
    rules_[1].minType = 1;
    rules_[1].maxType = 11;
    rules_[l.addressColumn].minType = std::max<std::uint32_t>(rules_[l.addressColumn].minType, 14);
    rules_[l.bodyColumn].minType = std::max<std::uint32_t>(rules_[l.bodyColumn].minType, 14);
    rules_[l.dateColumn].minType = std::max<std::uint32_t>(rules_[l.dateColumn].minType, 1);
    rules_[l.addressColumn].slot = kAddress;
    rules_[l.bodyColumn].slot = kBody;
    rules_[l.dateColumn].slot = kDate;
    rules_[l.threadIdColumn].slot = kThreadId;
    rules_[l.typeColumn].slot = kType;
    BuildPrefilter();
}

std::size_t PageScanner::ReadPage(std::uint32_t page, std::vector<std::uint8_t>& out) const {
    const std::size_t pageSize = static_cast<std::size_t>(layout_.pageSize);
    out.resize(pageSize + kRegionPadding);
    std::size_t got = 0;
    if (page != 0 && page <= pageCount_) got = file_.ReadAt((std::uint64_t{page} - 1) * pageSize, out.data(), pageSize);
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), 0);
    return got;
}

void PageScanner::CollectLeaves() {
    leafPages_.clear();
    if (!scannable_) return;
    std::vector<bool> visited(pageCount_ + 1, false);
    Descend(static_cast<std::uint32_t>(layout_.rootPage), 0, visited);
    std::sort(leafPages_.begin(), leafPages_.end());
}

void PageScanner::Descend(std::uint32_t page, int depth, std::vector<bool>& visited) {
    if (page == 0 || page > pageCount_ || depth > kMaxTreeDepth || visited[page]) return;
    visited[page] = true;
    std::vector<std::uint8_t> bytes;
    ReadPage(page, bytes);
    const std::uint8_t* p = bytes.data();
    if (p[0] == kLeafTablePage) {
        leafPages_.push_back(page);
        return;
    }
    if (p[0] != kInteriorTablePage) return;

    const std::size_t pageSize = static_cast<std::size_t>(layout_.pageSize);
    std::vector<std::uint32_t> children;
    // The right-most subtree first, then the cells' left children in order.
    if (const std::uint32_t right = Get32(p + 8); right != 0) children.push_back(right);
    const std::size_t cells = Get16(p + 3);
    for (std::size_t i = 0; i < cells; ++i) {
        const std::size_t pointerAt = kInteriorHeaderSize + 2 * i;
        if (pointerAt + 2 > pageSize) break;
        const std::size_t cellAt = Get16(p + pointerAt);
        if (cellAt + 4 > pageSize) continue;
        children.push_back(Get32(p + cellAt));
    }
    bytes.clear();
    bytes.shrink_to_fit();
    for (std::uint32_t child : children) Descend(child, depth + 1, visited);
}

std::vector<std::uint16_t> PageScanner::FreeblockChain(const std::uint8_t* p) {
    const std::size_t pageSize = static_cast<std::size_t>(layout_.pageSize);
    std::vector<std::uint16_t> chain;
    seen_.assign(pageSize, false);
    for (std::size_t off = Get16(p + 1); off != 0; off = Get16(p + off)) {
        // A chain that leaves the page or comes back to an offset it already
        // passed is corrupt; what was found so far still counts.
        if (off + 4 > pageSize || seen_[off]) break;
        seen_[off] = true;
        chain.push_back(static_cast<std::uint16_t>(off));
    }
    return chain;
}

void PageScanner::GatherFreeblocks() {
    freeblocks_.clear();
    if (!scannable_) return;
    for (std::uint32_t page : leafPages_) {
        ReadPage(page, page_);
        std::vector<std::uint16_t> chain = FreeblockChain(page_.data());
        if (chain.empty()) continue;
        stats_.freeblocks += static_cast<std::uint32_t>(chain.size());
        freeblocks_.emplace(page, std::move(chain));
    }
}

// Carves one region of the page buffer in place: the bytes after it read as
// zero while it is carved, then get their content back for the next region.
void PageScanner::CarveInPage(std::uint8_t* pageBytes, std::size_t start, std::size_t length) {
    const std::size_t minLength = layout_.kind == TableKind::Contacts ? 0 : layout_.columnCount;
    if (length <= minLength) return;
    std::uint8_t saved[kRegionPadding];
    std::uint8_t* end = pageBytes + start + length;
    std::memcpy(saved, end, kRegionPadding);
    std::memset(end, 0, kRegionPadding);
    ++stats_.regions;
    stats_.freeBytes += length;
    CarveRegion(pageBytes + start, length);
    std::memcpy(end, saved, kRegionPadding);
}

// Contacts regions are carved when not empty, messages regions only when they
// are longer than one byte per column.
void PageScanner::CarveFreeblocksOfPage(std::size_t valid, const std::vector<std::uint16_t>& offsets) {
    std::uint8_t* p = page_.data();
    for (std::uint16_t off : offsets) {
        const std::size_t size = Get16(p + off + 2);
        // In the contacts variant a fifth byte of 7 or more is taken as the
        // record's header-length byte and skipped.
        std::size_t skip = 4;
        if (layout_.kind == TableKind::Contacts && p[off + 4] >= 7) skip = 5;
        if (size <= skip) continue;
        const std::size_t start = off + skip;
        if (start >= valid) continue;
        CarveInPage(p, start, std::min(size - skip, valid - start));
    }
}

void PageScanner::CarveFreeblockRegions() {
    if (!scannable_) return;
    for (const auto& [page, offsets] : freeblocks_) CarveFreeblocksOfPage(ReadPage(page, page_), offsets);
}

void PageScanner::CarveGapRegions() {
    if (!scannable_) return;
    const std::size_t pageSize = static_cast<std::size_t>(layout_.pageSize);
    for (std::uint32_t page : leafPages_) {
        const std::size_t valid = ReadPage(page, page_);
        std::uint8_t* p = page_.data();
        const std::size_t cells = Get16(p + 3);
        std::size_t contentStart = Get16(p + 5);
        if (contentStart == 0 && pageSize == 65536) contentStart = 65536;
        const std::size_t start = kLeafHeaderSize + 2 * cells;
        const std::size_t end = std::min(contentStart, valid);
        if (end <= start) continue;
        CarveInPage(p, start, end - start);
    }
}

void PageScanner::CarveRegion(const std::uint8_t* bytes, std::size_t length) {
    if (!scannable_) return;
    if (layout_.kind == TableKind::Contacts) {
        CarveContacts(bytes, length);
    } else {
        CarveMessages(bytes, length);
    }
}

// The two carving loops run over every byte of free space; they keep the
// per-position work to a few table lookups until a candidate looks real.
void PageScanner::CarveContacts(const std::uint8_t* b, std::size_t len) {
    const ColumnRule* rules = rules_.data();
    const std::size_t columns = rules_.size();
    for (std::size_t s = 0; s < len; ++s) {
        if (QuickReject(b + s)) continue;
        // Every slot column lies among the columns read, so a candidate that
        // gets past the loop has filled all of them.
        std::uint32_t types[kSlots];
        std::uint64_t offsets[kSlots];
        std::size_t pos = s;
        std::uint64_t bodySize = 0;
        std::size_t c = 0;
        for (; c < columns; ++c) {
            if (pos >= len) return;
            const Varint v = ReadVarintPadded(b + pos);
            const std::uint32_t t = AsSerialType(v.value);
            const ColumnRule& r = rules[c];
            if (!r.Accepts(t)) break;
            if (r.slot >= 0) {
                types[r.slot] = t;
                offsets[r.slot] = bodySize;
            }
            bodySize += SerialTypeSize(t);
            pos += v.length;
        }
        if (c < columns) continue;

        // A header whose contents would lie past the region's end is a stale
        // fragment or a cut record: this start is rejected, but a record
        // further on in the region may still be whole.
        const std::uint64_t body = pos;
        const std::uint64_t mimetypeAt = body + offsets[kMimetype];
        if (mimetypeAt >= len) continue;
        const std::uint64_t mimetypeId = ReadIntegerContent(b + mimetypeAt, types[kMimetype]);
        const std::uint64_t rawAt = body + offsets[kRawContactId];
        if (rawAt >= len) continue;
        const std::uint64_t rawContactId = ReadIntegerContent(b + rawAt, types[kRawContactId]);
        const std::uint64_t data1At = body + offsets[kData1];
        if (data1At >= len) continue;
        const std::uint64_t data1Size = SerialTypeSize(types[kData1]);
        if (data1Size > len - data1At) continue;
        const auto* data1 = b + data1At;
        if (!IsValidUtf8Text(data1, static_cast<std::size_t>(data1Size))) continue;
        ++stats_.candidates;
        sink_.AddDeletedDataRow(mimetypeId, rawContactId,
                                std::string_view(reinterpret_cast<const char*>(data1), static_cast<std::size_t>(data1Size)));
    }
}

void PageScanner::CarveMessages(const std::uint8_t* b, std::size_t len) {
    const ColumnRule* rules = rules_.data();
    const std::size_t columns = rules_.size();
    for (std::size_t s = 0; s < len; ++s) {
        if (QuickReject(b + s)) continue;
        std::uint32_t types[kSlots];
        std::uint64_t offsets[kSlots];
        std::size_t pos = s;
        std::uint64_t bodySize = 0;
        std::size_t c = 1;
        for (; c < columns; ++c) {
            if (pos >= len) return;
            const Varint v = ReadVarintPadded(b + pos);
            if (v.length > 4) break;
            const std::uint32_t t = AsSerialType(v.value);
            const ColumnRule& r = rules[c];
            if (!r.Accepts(t)) break;
            if (r.slot >= 0) {
                types[r.slot] = t;
                offsets[r.slot] = bodySize;
            }
            bodySize += SerialTypeSize(t);
            pos += v.length;
        }
        if (c < columns) continue;

        const std::uint64_t body = pos;
        std::string_view texts[2];
        bool rejected = false;
        for (int k = 0; k < 2; ++k) {
            const int slot = k == 0 ? kAddress : kBody;
            const std::uint64_t at = body + offsets[slot];
            const std::uint64_t size = SerialTypeSize(types[slot]);
            if (at >= len || size > len - at || !IsValidUtf8Text(b + at, static_cast<std::size_t>(size))) {
                rejected = true;
                break;
            }
            texts[k] = std::string_view(reinterpret_cast<const char*>(b + at), static_cast<std::size_t>(size));
        }
        if (rejected) continue;
        std::uint64_t numbers[3];
        const int numberSlots[3] = {kDate, kThreadId, kType};
        for (int k = 0; k < 3 && !rejected; ++k) {
            const std::uint64_t at = body + offsets[numberSlots[k]];
            rejected = at >= len;
            if (!rejected) numbers[k] = ReadIntegerContent(b + at, types[numberSlots[k]]);
        }
        if (rejected) continue;
        ++stats_.candidates;
        sink_.AddDeletedSmsRow(texts[0], texts[1], numbers[0], numbers[1], numbers[2]);
    }
}

ScanStats PageScanner::Run() {
    stats_ = ScanStats {};
    if (!scannable_) return stats_;
    CollectLeaves();
    stats_.leafPages = static_cast<std::uint32_t>(leafPages_.size());
    // Gathering and carving the freeblocks in one pass reads each page once
    // and carves in the same order as GatherFreeblocks then
    // CarveFreeblockRegions would.
    freeblocks_.clear();
    for (std::uint32_t page : leafPages_) {
        const std::size_t valid = ReadPage(page, page_);
        std::vector<std::uint16_t> chain = FreeblockChain(page_.data());
        if (chain.empty()) continue;
        stats_.freeblocks += static_cast<std::uint32_t>(chain.size());
        CarveFreeblocksOfPage(valid, chain);
        freeblocks_.emplace(page, std::move(chain));
    }
    CarveGapRegions();
    return stats_;
}

ScanStats Scan(const std::string& path, const TableLayout& layout, CarvedRowSink& sink) {
    auto file = platform::ReadOnlyFile::Open(path);
    if (!file) return {};
    PageScanner scanner(*file, layout, sink);
    return scanner.Run();
}

}  // namespace qb::dbrecover

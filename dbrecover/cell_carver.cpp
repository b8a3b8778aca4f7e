#include "dbrecover/cell_carver.h"
#include "dbrecover/sqlite_file.h"

#include <algorithm>
#include <cstring>

namespace qb::dbrecover {
namespace {

// Far more than any row of these tables; a longer length is not a record.
constexpr std::uint64_t kMaxPayload = 1u << 28;

// The longest prefix of a text cut at an arbitrary byte that ends on a
// whole UTF-8 sequence.
std::size_t WholeSequencePrefix(const std::uint8_t* s, std::size_t n) {
    std::size_t back = 0;
    while (back < n && back < 3 && (s[n - 1 - back] & 0xC0) == 0x80) ++back;
    if (back < n) {
        const std::uint8_t lead = s[n - 1 - back];
        const std::size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (want != back + 1) return n - 1 - back + (want == 1 ? 1 : 0);
    }
    return n;
}

}  // namespace

const char* RowSourceName(RowSource source) {
    switch (source) {
    case RowSource::FreeSpace: return "free space";
    case RowSource::OlderPage: return "older page";
    case RowSource::StaleFrame: return "stale log frame";
    case RowSource::Journal: return "journal";
    case RowSource::Freelist: return "freelist";
    case RowSource::Unreachable: return "unreachable page";
    }
    return "?";
}

CellCarver::CellCarver(RecordShape& shape, std::uint32_t pageSize, std::uint32_t usableSize, CarvedRowSink& sink,
                       const PageLookup* pages, ScanStats& stats)
    : shape_(shape), pageSize_(pageSize), usable_(usableSize), sink_(sink), pages_(pages), stats_(stats) {
    maxLocal_ = usable_ - 35;
    minLocal_ = (static_cast<std::uint64_t>(usable_) - 12) * 32 / 255 - 23;
    types_.resize(shape_.columnCount());
    scratchTypes_.resize(shape_.columnCount());
    ends_.resize(shape_.columnCount() + 1);
}

bool CellCarver::PageContext::IsCellStart(std::size_t offset) const {
    return std::binary_search(cellStarts.begin(), cellStarts.end(), static_cast<std::uint16_t>(offset)) &&
           offset <= 0xFFFF;
}

void CellCarver::LocalSize(std::uint64_t payload, std::uint64_t& local, bool& overflow) const {
    overflow = payload > maxLocal_;
    if (!overflow) {
        local = payload;
        return;
    }
    const std::uint64_t k = minLocal_ + (payload - minLocal_) % (usable_ - 4);
    local = k <= maxLocal_ ? k : minLocal_;
}

// A cell whose payload length, row id and header length all survive, at q.
bool CellCarver::WholeCellAt(const std::uint8_t* b, std::size_t q, std::size_t limit, Candidate& c,
                             std::vector<std::uint32_t>& types) const {
    if (q + 4 > limit) return false;
    const Varint p = ReadVarintPadded(b + q);
    if (p.length > 4 || p.value < 2 || p.value > kMaxPayload) return false;
    const std::size_t r = q + p.length;
    const Varint rid = ReadVarintPadded(b + r);
    if (rid.value == 0 || rid.value > (std::uint64_t{1} << 62)) return false;
    const std::size_t hs = r + rid.length;
    if (hs + 2 > limit) return false;
    const Varint h = ReadVarintPadded(b + hs);
    if (h.length > 2) return false;
    const std::uint64_t header = h.value;
    const std::size_t n = shape_.columnCount();
    if (header < h.length + shape_.minColumns || header > h.length + n * shape_.maxTypeLength) return false;
    const std::size_t ts = hs + h.length;
    const std::size_t te = hs + static_cast<std::size_t>(header);
    if (te > limit) return false;
    // Quick test of the first column before the whole header.
    if (b[ts] < 0x80 && !shape_.Accepts(0, b[ts])) return false;
    std::size_t pos = ts;
    std::size_t col = 0;
    std::uint64_t body = 0;
    while (pos < te) {
        if (col >= n) return false;
        const Varint v = ReadVarintPadded(b + pos);
        if (v.length > shape_.maxTypeLength) return false;
        const std::uint32_t t = AsSerialType(v.value);
        if (!shape_.Accepts(col, t)) return false;
        types[col] = t;
        body += SerialTypeSize(t);
        pos += v.length;
        ++col;
    }
    if (pos != te || col < shape_.minColumns) return false;
    if (header + body != p.value) return false;
    c.cellStart = q;
    c.payloadStart = hs;
    c.bodyAt = te;
    c.header = header;
    c.body = body;
    c.columns = static_cast<std::uint32_t>(col);
    c.rowid = static_cast<std::int64_t>(rid.value);
    c.rebuilt = false;
    return true;
}

// An old freeblock header at x: a size that stays in the page and a next
// offset of 0 or past its end. The block may reach past `end`, into space
// that cells took after it was freed.
bool CellCarver::LooksLikeFreeblock(const std::uint8_t* b, std::size_t x, std::size_t end) const {
    if (x + 4 > end) return false;
    const std::size_t next = Get16(b + x);
    const std::size_t size = Get16(b + x + 2);
    if (size < 8 || x + size > pageSize_) return false;
    return next == 0 || (next >= x + size && next < pageSize_);
}

bool CellCarver::EndFits(const PageContext& ctx, std::size_t cellEnd, std::size_t end, std::size_t fieldsEnd) const {
    if (cellEnd == end) return true;
    if (cellEnd < end) {
        if (end - cellEnd <= 3) return true;
        Candidate c;
        std::vector<std::uint32_t>& types = scratchTypes_;
        for (std::size_t x = cellEnd; x <= cellEnd + 3 && x + 4 <= end; ++x) {
            if (LooksLikeFreeblock(ctx.bytes, x, end) || WholeCellAt(ctx.bytes, x, end, c, types)) return true;
        }
        return false;
    }
    // The freeblock's tail went to a cell that now starts where it ends.
    return fieldsEnd <= end && (ctx.IsCellStart(end) || end >= ctx.valid || end >= pageSize_);
}

bool CellCarver::FollowOverflow(std::uint32_t first, std::uint64_t needed, bool requireFree, std::string& out) const {
    if (!pages_ || needed == 0) return false;
    const std::uint64_t per = usable_ - 4;
    const std::uint64_t count = (needed + per - 1) / per;
    std::vector<std::uint8_t> page(pageSize_ + kPadding);
    std::vector<std::uint32_t> seen;
    std::uint32_t n = first;
    out.clear();
    for (std::uint64_t i = 0; i < count; ++i) {
        if (n == 0 || std::find(seen.begin(), seen.end(), n) != seen.end()) return false;
        if (requireFree && !pages_->FreeOrUnused(n)) return false;
        seen.push_back(n);
        std::fill(page.begin(), page.end(), 0);
        if (pages_->ReadPage(n, page.data()) < usable_) return false;
        const std::uint32_t next = Get32(page.data());
        // The chain has exactly as many pages as the length asks for.
        if ((i + 1 < count) != (next != 0)) return false;
        const std::uint64_t take = std::min<std::uint64_t>(per, needed - out.size());
        out.append(reinterpret_cast<const char*>(page.data() + 4), static_cast<std::size_t>(take));
        n = next;
    }
    return out.size() == needed;
}

bool CellCarver::Extract(const PageContext& ctx, const Candidate& c, const std::vector<std::uint32_t>& types,
                         std::size_t limit, bool requireFreeOverflow, Row& row, std::size_t& fieldsEnd) {
    const std::uint64_t payload = c.header + c.body;
    std::uint64_t local = 0;
    bool overflow = false;
    LocalSize(payload, local, overflow);
    if (local < c.header) return false;
    const std::uint64_t bodyLocal = local - c.header;
    const std::uint8_t* b = ctx.bytes;
    const bool contacts = shape_.kind == TableKind::Contacts;

    // Body offset of each column.
    std::int32_t wanted[5];
    std::size_t nWanted = 0;
    if (contacts) {
        wanted[nWanted++] = shape_.mimetypeColumn;
        wanted[nWanted++] = shape_.rawContactIdColumn;
        wanted[nWanted++] = shape_.data1Column;
    } else {
        wanted[nWanted++] = shape_.addressColumn;
        wanted[nWanted++] = shape_.bodyColumn;
        wanted[nWanted++] = shape_.dateColumn;
        wanted[nWanted++] = shape_.threadIdColumn;
        wanted[nWanted++] = shape_.typeColumn;
    }
    std::uint64_t offsets[5] = {}, sizes[5] = {};
    std::uint64_t lastEnd = 0;
    for (std::size_t w = 0; w < nWanted; ++w) {
        const std::int32_t col = wanted[w];
        if (static_cast<std::uint32_t>(col) >= c.columns) continue;
        std::uint64_t off = 0;
        for (std::int32_t k = 0; k < col; ++k) off += SerialTypeSize(types[k]);
        offsets[w] = off;
        sizes[w] = SerialTypeSize(types[col]);
        lastEnd = std::max(lastEnd, off + sizes[w]);
    }
    // The part of the body on this page that can be read.
    const std::uint64_t onPage = c.bodyAt >= limit ? 0 : std::min<std::uint64_t>(bodyLocal, limit - c.bodyAt);
    std::string overflowBody;
    bool haveOverflow = false;
    bool cut = false;
    std::uint64_t readable = onPage;
    if (lastEnd > onPage) {
        const std::size_t pointerAt = c.payloadStart + static_cast<std::size_t>(local);
        if (overflow && onPage == bodyLocal && pointerAt + 4 <= limit) {
            std::string rest;
            if (FollowOverflow(Get32(b + pointerAt), payload - local, requireFreeOverflow, rest)) {
                overflowBody.assign(reinterpret_cast<const char*>(b + c.bodyAt), static_cast<std::size_t>(bodyLocal));
                overflowBody += rest;
                haveOverflow = true;
                readable = overflowBody.size();
                ++stats_.overflowFollowed;
            }
        }
        // Only a record that spilled to overflow pages may be cut short;
        // any other must lie whole where it can be read.
        if (!haveOverflow) {
            if (!overflow) return false;
            cut = true;
            // What lies on the page may have been overwritten in part: the
            // text ends where another cell or freeblock begins in it.
            Candidate other;
            std::vector<std::uint32_t> otherTypes(shape_.columnCount());
            for (std::size_t x = c.bodyAt; x < c.bodyAt + readable && x + 4 <= limit; ++x) {
                if (LooksLikeFreeblock(b, x, limit) || WholeCellAt(b, x, limit, other, otherTypes)) {
                    readable = x - c.bodyAt;
                    break;
                }
            }
        }
    }
    const std::uint8_t* body = haveOverflow ? reinterpret_cast<const std::uint8_t*>(overflowBody.data()) : b + c.bodyAt;

    auto integer = [&](std::size_t w, std::uint64_t& out) {
        const std::int32_t col = wanted[w];
        if (static_cast<std::uint32_t>(col) >= c.columns) {
            out = static_cast<std::uint64_t>(shape_.IntegerDefault(col));
            return true;
        }
        const std::uint32_t t = types[col];
        if (offsets[w] + sizes[w] > readable) return false;
        std::uint8_t bytes[8] = {};
        std::memcpy(bytes, body + offsets[w], static_cast<std::size_t>(std::min<std::uint64_t>(sizes[w], 8)));
        out = t == 0 ? 0 : ReadIntegerContent(bytes, t);
        return true;
    };
    // A text may be cut short only when it is the last field read.
    auto text = [&](std::size_t w, std::string& out, bool mayCut) {
        const std::int32_t col = wanted[w];
        if (static_cast<std::uint32_t>(col) >= c.columns) return false;
        std::uint64_t size = sizes[w];
        if (offsets[w] + size > readable) {
            if (!mayCut || !cut || offsets[w] >= readable) return false;
            size = WholeSequencePrefix(body + offsets[w], static_cast<std::size_t>(readable - offsets[w]));
            if (size == 0) return false;
            row.cutShort = true;
        }
        if (!IsValidUtf8Text(body + offsets[w], static_cast<std::size_t>(size))) return false;
        out.assign(reinterpret_cast<const char*>(body + offsets[w]), static_cast<std::size_t>(size));
        return true;
    };
    bool ok;
    if (contacts) {
        ok = integer(0, row.numbers[0]) && integer(1, row.numbers[1]) && text(2, row.texts[0], true);
    } else {
        ok = text(0, row.texts[0], false) && text(1, row.texts[1], true) && integer(2, row.numbers[0]) &&
             integer(3, row.numbers[1]) && integer(4, row.numbers[2]);
    }
    if (!ok) return false;
    // Only the last field read may run past what can be read.
    if (row.cutShort) {
        const std::size_t cutField = contacts ? 2 : 1;
        for (std::size_t w = 0; w < nWanted; ++w) {
            if (w != cutField && static_cast<std::uint32_t>(wanted[w]) < c.columns &&
                offsets[w] + sizes[w] > offsets[cutField]) {
                return false;
            }
        }
    }
    fieldsEnd = c.bodyAt + static_cast<std::size_t>(std::min<std::uint64_t>(lastEnd, onPage));
    return true;
}

Provenance CellCarver::From(const PageContext& ctx, std::size_t offset, std::int64_t rowid, bool rebuilt) const {
    Provenance p;
    p.source = ctx.source;
    p.area = ctx.area;
    p.page = ctx.pageNo;
    p.offset = static_cast<std::uint32_t>(offset);
    p.older = older_;
    p.frame = frame_;
    p.rowid = rowid;
    p.rebuilt = rebuilt;
    return p;
}

void CellCarver::Hand(const Row& row, const Provenance& from, bool asLive) {
    if (shape_.kind == TableKind::Contacts) {
        CarvedDataRow r;
        r.mimetypeId = row.numbers[0];
        r.rawContactId = row.numbers[1];
        r.data1 = row.texts[0];
        r.cutShort = row.cutShort;
        r.from = from;
        if (asLive) {
            sink_.SeeLiveDataRow(r);
        } else {
            sink_.AddCarvedDataRow(r);
        }
    } else {
        CarvedSmsRow r;
        r.address = row.texts[0];
        r.body = row.texts[1];
        r.date = row.numbers[0];
        r.threadId = row.numbers[1];
        r.type = row.numbers[2];
        r.bodyCutShort = row.cutShort;
        r.from = from;
        if (asLive) {
            sink_.SeeLiveSmsRow(r);
        } else {
            sink_.AddCarvedSmsRow(r);
        }
    }
    if (!asLive) {
        ++stats_.candidates;
        stats_.cutShort += row.cutShort;
        stats_.rebuiltCells += from.rebuilt;
    }
}

// A cell at f whose first four bytes a freeblock header (or what was once
// one) overwrote; the freeblock ends at `end`.
void CellCarver::RebuildAt(const PageContext& ctx, std::size_t f, std::size_t end) {
    const std::uint8_t* b = ctx.bytes;
    const std::size_t s = f + 4;
    if (s + 2 > end) return;
    const std::size_t n = shape_.columnCount();
    const bool aliasFirst = !shape_.columns.empty() && shape_.columns[0].rowidAlias;
    bool found = false, ambiguous = false;
    Row first;
    Candidate firstCandidate;
    std::vector<std::uint32_t> types(n);
    // lost: bytes of the record (header length and serial types) among the
    // four overwritten ones, after the payload length and the row id.
    for (std::size_t lost = 0; lost <= 2; ++lost) {
        for (std::size_t lh = 1; lh <= 2; ++lh) {
            std::size_t j;            // serial types lost
            std::size_t typesStart;   // first serial type on the page
            std::uint64_t headerField = 0;
            if (lost == 0) {
                const Varint h = ReadVarintPadded(b + s);
                if (h.length != lh) continue;
                headerField = h.value;
                j = 0;
                typesStart = s + lh;
            } else {
                if (lh > lost) continue;
                j = lost - lh;
                typesStart = s;
            }
            // Only the row id alias, always NULL, can be rebuilt as a lost type.
            if (j > 1 || (j == 1 && !aliasFirst)) continue;
            if (j == 1) types[0] = 0;
            // Decode the surviving serial types.
            std::size_t pos = typesStart, col = j;
            ends_[j] = pos;
            while (col < n && pos < end) {
                const Varint v = ReadVarintPadded(b + pos);
                if (v.length > shape_.maxTypeLength) break;
                const std::uint32_t t = AsSerialType(v.value);
                if (!shape_.Accepts(col, t)) break;
                types[col] = t;
                pos += v.length;
                ++col;
                ends_[col] = pos;
            }
            for (std::uint16_t k : shape_.counts) {
                if (k < std::max<std::size_t>(j, 1) || k > col) continue;
                const std::size_t typeBytes = ends_[k] - typesStart;
                std::uint64_t header;
                if (lost == 0) {
                    if (typeBytes + lh != headerField) continue;
                    header = headerField;
                } else {
                    header = lh + j + typeBytes;
                    if (VarintLength(header) != lh) continue;
                }
                std::uint64_t body = 0;
                for (std::size_t x = 0; x < k; ++x) body += SerialTypeSize(types[x]);
                const std::uint64_t payload = header + body;
                if (payload > kMaxPayload) continue;
                const unsigned lp = VarintLength(payload);
                if (lp + lost >= 4) continue;  // the row id takes at least one byte
                Candidate c;
                c.cellStart = f;
                c.payloadStart = f + (4 - lost);
                c.bodyAt = typesStart + typeBytes;
                c.header = header;
                c.body = body;
                c.columns = k;
                c.rebuilt = true;
                std::uint64_t local = 0;
                bool overflow = false;
                LocalSize(payload, local, overflow);
                const std::size_t cellEnd = c.payloadStart + static_cast<std::size_t>(local) + (overflow ? 4 : 0);
                Row row;
                std::size_t fieldsEnd = 0;
                if (!Extract(ctx, c, types, end, true, row, fieldsEnd)) continue;
                if (!EndFits(ctx, cellEnd, end, fieldsEnd)) continue;
                if (!found) {
                    found = true;
                    first = row;
                    firstCandidate = c;
                } else if (!(row == first)) {
                    ambiguous = true;
                }
            }
        }
    }
    if (!found || ambiguous) return;
    Hand(first, From(ctx, f, -1, true), false);
}

// Every text column of the record, not only those of interest, must hold
// valid text as far as it can be read: a record read from a wrong start
// rarely does.
bool CellCarver::TextsValid(const std::uint8_t* body, const std::vector<std::uint32_t>& types,
                            std::uint32_t columns, std::uint64_t readable) const {
    std::uint64_t off = 0;
    for (std::uint32_t c = 0; c < columns; ++c) {
        const std::uint64_t size = SerialTypeSize(types[c]);
        if (types[c] >= 13 && (types[c] & 1)) {
            if (off + size > readable) return true;  // the rest lies on overflow pages
            if (!IsValidUtf8Text(body + off, static_cast<std::size_t>(size))) return false;
        }
        off += size;
    }
    return true;
}

// A record at s (its first serial type) whose cell header is gone.
bool CellCarver::HeadlessAt(const PageContext& ctx, std::size_t s, std::size_t end) {
    const std::uint8_t* b = ctx.bytes;
    if (s < 3 || (b[s] < 0x80 && !shape_.Accepts(0, b[s]))) return false;
    const std::size_t n = shape_.columnCount();
    std::vector<std::uint32_t>& types = scratchTypes_;
    std::size_t pos = s, col = 0;
    ends_[0] = pos;
    while (col < n && pos < end) {
        const Varint v = ReadVarintPadded(b + pos);
        if (v.length > shape_.maxTypeLength) break;
        const std::uint32_t t = AsSerialType(v.value);
        if (!shape_.Accepts(col, t)) break;
        types[col] = t;
        pos += v.length;
        ++col;
        ends_[col] = pos;
    }
    if (col < shape_.minColumns) return false;
    bool found = false, ambiguous = false;
    Row first;
    std::uint32_t firstColumns = 0;
    for (std::uint16_t k : shape_.counts) {
        if (k > col) continue;
        const std::size_t typeBytes = ends_[k] - s;
        const std::uint64_t header = typeBytes + VarintLength(typeBytes + 1);
        std::uint64_t body = 0;
        for (std::size_t x = 0; x < k; ++x) body += SerialTypeSize(types[x]);
        Candidate c;
        c.bodyAt = s + typeBytes;
        c.payloadStart = c.bodyAt - static_cast<std::size_t>(header);
        c.cellStart = c.payloadStart;
        c.header = header;
        c.body = body;
        c.columns = k;
        c.rebuilt = true;
        std::uint64_t local = 0;
        bool overflow = false;
        LocalSize(header + body, local, overflow);
        const std::size_t cellEnd = c.payloadStart + static_cast<std::size_t>(local) + (overflow ? 4 : 0);
        if (cellEnd > end) continue;
        const std::uint64_t readable = std::min<std::uint64_t>(local - std::min(local, header), end - c.bodyAt);
        if (!TextsValid(b + c.bodyAt, types, k, readable)) continue;
        Row row;
        std::size_t fieldsEnd = 0;
        if (!Extract(ctx, c, types, end, true, row, fieldsEnd)) continue;
        if (!found) {
            found = true;
            first = row;
            firstColumns = k;
        } else if (!(row == first)) {
            ambiguous = true;
        }
    }
    if (!found || ambiguous) return false;
    // Where the header length before the serial types survives and a payload
    // length and row id can be read before it, they must account for the
    // record: a cell that says otherwise is not this record.
    const std::uint64_t typeBytes = ends_[firstColumns] - s;
    if (b[s - 1] == typeBytes + 1) {
        std::uint64_t body = 0;
        for (std::uint32_t x = 0; x < firstColumns; ++x) body += SerialTypeSize(types[x]);
        bool parsed = false, matches = false;
        for (std::size_t lr = 1; lr <= 4; ++lr) {
            for (std::size_t lp = 1; lp <= 3; ++lp) {
                if (s < 1 + lr + lp || s - 1 - lr - lp < ctx.areaStart) continue;
                const std::size_t q = s - 1 - lr - lp;
                const Varint p = ReadVarintPadded(b + q);
                const Varint r = ReadVarintPadded(b + q + lp);
                if (p.length != lp || r.length != lr) continue;
                parsed = true;
                matches = matches || p.value == typeBytes + 1 + body;
            }
        }
        if (parsed && !matches) return false;
    }
    Hand(first, From(ctx, s, -1, true), false);
    return true;
}

void CellCarver::SlideArea(PageContext& ctx, std::size_t from, std::size_t to, std::size_t knownFreeblock,
                           bool headless) {
    const std::uint8_t* b = ctx.bytes;
    ctx.areaStart = from;
    ++stats_.regions;
    stats_.freeBytes += to - from;
    if (knownFreeblock != SIZE_MAX) RebuildAt(ctx, knownFreeblock, to);
    Candidate c;
    // Serial type starts of the records already taken, so that a headless
    // reading does not take one again.
    std::vector<std::size_t> taken;
    for (std::size_t q = from; q + 4 <= to; ++q) {
        if (headless && std::find(taken.begin(), taken.end(), q) == taken.end() && HeadlessAt(ctx, q, to)) continue;
        if (WholeCellAt(b, q, to, c, types_)) {
            taken.push_back(c.bodyAt - static_cast<std::size_t>(c.header) + VarintLength(c.header));
            Row row;
            std::size_t fieldsEnd = 0;
            if (Extract(ctx, c, types_, to, true, row, fieldsEnd)) {
                Hand(row, From(ctx, q, c.rowid, false), false);
            }
            continue;
        }
        // What was once a freeblock and is free space again (merged into a
        // later freeblock, or left below a page's new content).
        if (LooksLikeFreeblock(b, q, to)) RebuildAt(ctx, q, std::min<std::size_t>(q + Get16(b + q + 2), to));
    }
}

void CellCarver::CarveCells(const std::uint8_t* page, std::size_t valid, std::uint32_t pageNo, RowSource source,
                            bool asLive) {
    if (page[0] != kLeafTablePage) return;
    PageContext ctx {page, valid, pageNo, source, PageArea::Cell, {}};
    const std::size_t cells = Get16(page + 3);
    Candidate c;
    for (std::size_t i = 0; i < cells; ++i) {
        const std::size_t at = 8 + 2 * i;
        if (at + 2 > valid) break;
        const std::size_t cell = Get16(page + at);
        if (cell < 8 || cell >= valid) continue;
        if (!WholeCellAt(page, cell, valid, c, types_)) continue;
        if (asLive) {
            ++stats_.liveCells;
            shape_.AddCount(static_cast<std::uint16_t>(c.columns));
        }
        Row row;
        std::size_t fieldsEnd = 0;
        if (!Extract(ctx, c, types_, valid, !asLive, row, fieldsEnd)) continue;
        Hand(row, From(ctx, cell, c.rowid, false), asLive);
    }
}

bool CellCarver::LooksLikeTablePage(const std::uint8_t* page, std::size_t valid) const {
    if (page[0] != kLeafTablePage) return false;
    const std::size_t cells = Get16(page + 3);
    std::size_t good = 0, seen = 0;
    Candidate c;
    std::vector<std::uint32_t>& types = scratchTypes_;
    for (std::size_t i = 0; i < cells && 8 + 2 * i + 2 <= valid; ++i) {
        const std::size_t cell = Get16(page + 8 + 2 * i);
        ++seen;
        if (cell >= 8 && cell < valid && WholeCellAt(page, cell, valid, c, types)) ++good;
    }
    return good > 0 && 2 * good >= seen;
}

bool CellCarver::AllCellsDecode(const std::uint8_t* page, std::size_t valid) const {
    if (page[0] != kLeafTablePage) return false;
    const std::size_t cells = Get16(page + 3);
    Candidate c;
    std::vector<std::uint32_t>& types = scratchTypes_;
    for (std::size_t i = 0; i < cells; ++i) {
        if (8 + 2 * i + 2 > valid) return false;
        const std::size_t cell = Get16(page + 8 + 2 * i);
        if (cell < 8 || cell >= valid || !WholeCellAt(page, cell, valid, c, types)) return false;
    }
    return true;
}

void CellCarver::CarveFreeSpace(const std::uint8_t* page, std::size_t valid, std::uint32_t pageNo, RowSource source) {
    const std::uint8_t type = page[0];
    if (type != kLeafTablePage && type != kInteriorTablePage) return;
    const std::size_t header = type == kLeafTablePage ? 8 : 12;
    const std::size_t end = std::min<std::size_t>(valid, pageSize_);
    PageContext ctx {page, end, pageNo, source, PageArea::Freeblock, {}};
    const std::size_t cells = Get16(page + 3);
    for (std::size_t i = 0; i < cells && header + 2 * i + 2 <= end; ++i) ctx.cellStarts.push_back(Get16(page + header + 2 * i));
    std::sort(ctx.cellStarts.begin(), ctx.cellStarts.end());

    // Freeblocks in chain order; a chain that leaves the page, goes back or
    // loops ends there.
    std::vector<bool> seen(pageSize_, false);
    std::size_t last = 0;
    for (std::size_t off = Get16(page + 1); off != 0; off = Get16(page + off)) {
        if (off + 4 > end || seen[off] || off < last) break;
        seen[off] = true;
        last = off;
        ++stats_.freeblocks;
        const std::size_t size = Get16(page + off + 2);
        if (size < 4) continue;
        const std::size_t to = std::min(off + size, end);
        ctx.area = PageArea::Freeblock;
        SlideArea(ctx, off + 4, to, off, false);
    }
    std::size_t contentStart = Get16(page + 5);
    if (contentStart == 0 && pageSize_ == 65536) contentStart = 65536;
    const std::size_t gapStart = header + 2 * cells;
    const std::size_t gapEnd = std::min(contentStart, end);
    ctx.area = PageArea::Gap;
    if (gapStart < gapEnd) SlideArea(ctx, gapStart, gapEnd, SIZE_MAX, true);
}

void CellCarver::CarveArea(const std::uint8_t* page, std::size_t from, std::size_t to, std::size_t valid,
                           std::uint32_t pageNo, RowSource source) {
    const std::size_t end = std::min({to, valid, static_cast<std::size_t>(pageSize_)});
    if (from >= end) return;
    PageContext ctx {page, end, pageNo, source, PageArea::Lost, {}};
    SlideArea(ctx, from, end, SIZE_MAX, true);
}

}  // namespace qb::dbrecover

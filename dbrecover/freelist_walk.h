// Walks a database's freelist, below SQLite.
//
// The header's 4-byte fields at offsets 32 and 36 give the first freelist
// trunk page and the number of free pages. A trunk page holds the next
// trunk's number (4 bytes), a count L (4 bytes) and L leaf page numbers;
// the rest of a trunk page, and the whole of a leaf page, keep what the page
// held before it was freed (unless secure delete zeroed it).
//
// The walk trusts nothing: no page is visited twice, no number past the
// database's pages is taken, a count larger than a page can hold is cut to
// what it can hold, and the walk ends after as many pages as the database has.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace qb::dbrecover {

struct Freelist {
    std::vector<std::uint32_t> trunks;  // in chain order
    std::vector<std::uint32_t> leaves;  // in the order the trunks list them
    std::vector<std::uint16_t> trunkCounts;  // L of each trunk as read (cut to what fits)
};

// readPage(n, out) fills out (pageSize bytes) with page n and returns the
// bytes read.
using ReadPageFn = std::function<std::size_t(std::uint32_t page, std::uint8_t* out)>;

Freelist WalkFreelist(std::uint32_t firstTrunk, std::uint32_t pageCount, std::uint32_t pageSize,
                      std::uint32_t usableSize, const ReadPageFn& readPage);

}  // namespace qb::dbrecover

#include "dbrecover/journal_reader.h"

#include <algorithm>
#include <cstring>

#include "dbrecover/sqlite_file.h"

namespace qb::dbrecover {
namespace {

constexpr unsigned char kMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};

bool IsSectorSize(std::uint32_t v) { return v >= 32 && v <= 65536 && (v & (v - 1)) == 0; }

// A page image that could be a database page: a B-tree page type, or the
// first page of a freelist or of an overflow chain (anything goes there).
bool PlausibleRecord(const unsigned char* r, std::size_t available, std::uint32_t pageSize, std::uint32_t maxPage) {
    if (available < 8 + std::size_t {pageSize}) return false;
    const std::uint32_t page = Get32(r);
    return page >= 1 && page <= maxPage;
}

}  // namespace

Journal ReadJournal(std::string_view bytes, std::uint32_t pageSize, std::uint32_t maxPage) {
    Journal j;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    if (maxPage == 0) maxPage = 0x7FFFFFFF;
    j.headerOk = n >= 28 && std::memcmp(p, kMagic, 8) == 0;
    j.pageSize = pageSize;
    j.sectorSize = 512;
    if (j.headerOk) {
        const std::uint32_t sector = Get32(p + 20), size = Get32(p + 24);
        if (IsSectorSize(sector)) j.sectorSize = sector;
        if (PageSizeFromField(size) == size && size != 0) j.pageSize = size;
    }
    if (j.pageSize == 0) return j;
    const std::size_t record = 8 + std::size_t {j.pageSize};

    // Where the first records start when the header was zeroed: the sector
    // size was not kept, so the candidates are tried and the one under which
    // the most records in a row look like pages is taken.
    std::size_t start = j.sectorSize;
    if (!j.headerOk) {
        std::size_t best = 0;
        for (std::size_t candidate : {std::size_t {512}, std::size_t {1024}, std::size_t {2048}, std::size_t {4096},
                                      std::size_t {8192}, std::size_t {j.pageSize}}) {
            std::size_t run = 0;
            for (std::size_t at = candidate; at < n && run < 64; at += record) {
                if (!PlausibleRecord(p + at, n - at, j.pageSize, maxPage)) break;
                ++run;
            }
            if (run > best) {
                best = run;
                start = candidate;
            }
        }
    }
    // Walk to the end: a header starts a new segment at the next sector
    // boundary; anything else that is not a record is stepped over one
    // sector at a time. Every step moves forward, so the walk ends.
    std::size_t at = start;
    while (at < n) {
        if (n - at >= 28 && std::memcmp(p + at, kMagic, 8) == 0) {
            const std::uint32_t sector = Get32(p + at + 20);
            at += IsSectorSize(sector) ? sector : j.sectorSize;
            continue;
        }
        if (PlausibleRecord(p + at, n - at, j.pageSize, maxPage)) {
            j.pages.push_back({Get32(p + at), at + 4});
            at += record;
            continue;
        }
        at = (at / j.sectorSize + 1) * j.sectorSize;
    }
    return j;
}

}  // namespace qb::dbrecover

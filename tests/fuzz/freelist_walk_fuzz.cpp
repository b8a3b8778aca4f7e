// Fuzz target: a database file as input, read in memory. Its freelist is
// walked from the header's first trunk, and every page goes through the cell
// decoder with the shapes of Android's data and sms tables: live cells, free
// space, and the whole page as an area without structure.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dbrecover/cell_carver.h"
#include "dbrecover/freelist_walk.h"
#include "dbrecover/record_shape.h"
#include "dbrecover/schema_probe.h"
#include "tests/fuzz/record_sources_fuzz_support.h"

namespace {

using namespace qb::dbrecover;

class Pages final : public PageLookup {
public:
    Pages(const std::uint8_t* data, std::size_t size, std::uint32_t pageSize)
        : data_(data), size_(size), pageSize_(pageSize) {}
    std::size_t ReadPage(std::uint32_t n, std::uint8_t* out) const override {
        const std::uint64_t at = (std::uint64_t {n} - 1) * pageSize_;
        if (n == 0 || at >= size_) return 0;
        const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(pageSize_, size_ - at));
        std::memcpy(out, data_ + at, got);
        return got;
    }
    bool FreeOrUnused(std::uint32_t n) const override { return n % 2 == 0; }
    std::uint32_t Count() const { return static_cast<std::uint32_t>((size_ + pageSize_ - 1) / pageSize_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::uint32_t pageSize_;
};

const std::vector<RecordShape>& Shapes() {
    static const std::vector<RecordShape> shapes = [] {
        std::vector<RecordShape> s;
        for (TableKind kind : {TableKind::Contacts, TableKind::Messages}) {
            for (const std::string& sql : KnownAndroidTables(kind)) {
                if (auto layout = LayoutFromColumns(kind, ColumnsFromCreateTable(sql))) s.push_back(*layout->shape);
            }
        }
        return s;
    }();
    return shapes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint32_t pageSize = 512;
    if (size >= 18) {
        const std::uint32_t fromHeader = PageSizeFromField(data[16] * 256u + data[17]);
        if (fromHeader != 0) pageSize = fromHeader;
    }
    const Pages pages(data, size, pageSize);
    const std::uint32_t first = size >= 36 ? (std::uint32_t {data[32]} << 24 | data[33] << 16 | data[34] << 8 | data[35]) : 0;
    const Freelist list = WalkFreelist(first, pages.Count(), pageSize, pageSize,
                                       [&](std::uint32_t n, std::uint8_t* out) { return pages.ReadPage(n, out); });
    if (list.leaves.size() + list.trunks.size() > pages.Count()) __builtin_trap();

    qb::fuzz::CountingSink sink;
    std::vector<std::uint8_t> buf(pageSize + CellCarver::kPadding);
    for (RecordShape shape : Shapes()) {
        ScanStats stats;
        CellCarver carver(shape, pageSize, pageSize, sink, &pages, stats);
        for (std::uint32_t n = 1; n <= std::min<std::uint32_t>(pages.Count(), 16); ++n) {
            std::fill(buf.begin(), buf.end(), 0);
            const std::size_t got = pages.ReadPage(n, buf.data());
            carver.CarveCells(buf.data(), got, n, RowSource::Freelist, n % 2 == 0);
            carver.CarveFreeSpace(buf.data(), got, n, RowSource::Freelist);
            carver.CarveArea(buf.data(), 8, pageSize, got, n, RowSource::Freelist);
        }
    }
    return 0;
}

// SQLite database files (the databases of a phone's apps: messages, call
// logs, contacts, chats): the header states the page size and, since
// SQLite 3.7.0, the database's length in pages, so the file's size is their
// product. Only the header and the file's last byte are read.
//
// Database header (integers big-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       16    "SQLite format 3" and a zero byte
//   16      2     page size: a power of two from 512 to 32768, or 1 for 65536
//   18      1     file format write version: 1 legacy, 2 WAL
//   19      1     file format read version: 1 legacy, 2 WAL
//   20      1     bytes reserved at the end of each page
//   21      1     maximum embedded payload fraction: 64
//   22      1     minimum embedded payload fraction: 32
//   23      1     leaf payload fraction: 32
//   24      4     file change counter
//   28      4     database size in pages, valid when the value at 92
//                 equals the change counter
//   92      4     version-valid-for number
//   96      4     SQLITE_VERSION_NUMBER of the last writer
//   100     1     page 1's B-tree page type: 0D table leaf, 05 table interior
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kHeader = 101;
constexpr std::uint32_t kMinPageSize = 512;
constexpr std::uint32_t kMaxPageSize = 65536;
constexpr std::uint8_t kTableLeaf = 0x0D;
constexpr std::uint8_t kTableInterior = 0x05;
}  // namespace

ExtractResult ExtractSqlite(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const ExtractResult skip = ExtractResult::ContinueAt(16);
    if (!view.Has(0, kHeader)) return input.complete ? skip : ExtractResult::Undecided();

    const std::uint16_t field = *view.Be16(16);
    const std::uint32_t pageSize = field == 1 ? kMaxPageSize : field;
    if (pageSize < kMinPageSize || pageSize > kMaxPageSize || (pageSize & (pageSize - 1)) != 0) return skip;
    const std::uint8_t write = *view.U8(18), read = *view.U8(19);
    if (write < 1 || write > 2 || read < 1 || read > 2) return skip;
    if (*view.U8(21) != 64 || *view.U8(22) != 32 || *view.U8(23) != 32) return skip;
    if (*view.U8(20) > 32) return skip;  // a page must keep room for its cells
    const std::uint8_t pageType = *view.U8(100);
    if (pageType != kTableLeaf && pageType != kTableInterior) return skip;
    // The size in pages is kept up to date by every writer since 3.7.0; a
    // database last written by an older one states no size.
    if (*view.Be32(92) != *view.Be32(24)) return skip;
    const std::uint64_t pages = *view.Be32(28);
    const std::uint64_t size = pages * pageSize;
    if (pages == 0 || size > typeSpec.maxLength) return skip;

    // The last page must be on the disk.
    const ReachView file(input.bytes, input.far);
    std::uint8_t last = 0;
    if (!file.Read(size - 1, std::span(&last, 1))) {
        if (input.far == nullptr && !input.complete) return ExtractResult::Undecided();
        return skip;
    }
    return ExtractResult::Record(static_cast<std::int64_t>(size), CarvedFile {0, size, "db"});
}

}  // namespace qb::cdr

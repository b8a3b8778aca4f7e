// RAR archives of versions 1.5 to 4.x: the blocks are walked from the
// marker block over the archive header and the file headers with their
// packed data to the end-of-archive block.
//
// Block header (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       2     CRC: low 16 bits of the CRC-32 of the header from offset 2
//   2       1     type: 72 marker, 73 archive header, 74 file header,
//                 75 comment, 7A subblock, 7B end of archive
//   3       2     flags; bit 15: the block carries data after its header
//   5       2     header size
//   7       4     file header: packed size (the data after the header)
//   11      4     file header: unpacked size
//   15      1     file header: host system
//   16      4     file header: CRC-32 of the file
//   20      4     file header: modification time (MS-DOS)
//   24      1     file header: version needed to unpack (e.g. 29)
//   25      1     file header: method (30 stored ... 35 best)
//   26      2     file header: name size
//   28      4     file header: attributes
//   32      n     file header: name
//
// An archive: marker block 52 61 72 21 1A 07 00 (a block of type 72 and
// size 7), archive header (type 73, size 13), file blocks, and the
// end-of-archive block C4 3D 7B 00 40 07 00.
//
// RAR 5 archives start with 52 61 72 21 1A 07 01 00 and have blocks of
// another form; their numbers are variable-length integers (vint: 7 bits a
// byte, least significant first, the top bit set on every byte but the
// last):
//   OFFSET  SIZE  DESCRIPTION
//   0       4     CRC-32 of the block header from the next field on
//   4       vint  header size: the bytes from the type field to the end of
//                 the header
//   .       vint  type: 1 main archive header, 2 file, 3 service,
//                 4 archive encryption, 5 end of archive
//   .       vint  flags: 0001 an extra area, 0002 a data area follows the
//                 header
//   .       vint  extra area size (flag 0001)
//   .       vint  data area size (flag 0002)
// A block is its CRC, the header size field, the header and the data area;
// the archive ends with the end-of-archive block. The blocks are walked by
// reading their headers where they lie, each checked by its CRC.
#include <algorithm>
#include <vector>

#include "src/cdr/byte_reader.h"
#include "src/cdr/crc.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint8_t kArchiveHeader = 0x73;
constexpr std::uint8_t kFileHeader = 0x74;
constexpr std::uint8_t kEndOfArchive = 0x7B;
constexpr std::uint16_t kPlainArchiveHeaderSize = 13;
constexpr std::uint64_t kFileHeaderLookahead = 500;
constexpr std::uint64_t kFileHeaderFields = 11;  // up to and including the packed size
constexpr std::uint64_t kDamagedSearch = 51200;
constexpr std::uint64_t kEndBlock = 7;

std::int64_t At(std::uint64_t position) { return static_cast<std::int64_t>(position); }

constexpr std::uint64_t kRar5Signature = 8;
constexpr std::uint64_t kRar5MaxHeader = 2 * kMiB;  // the format's own limit
constexpr std::uint64_t kRar5MainHeader = 1;
constexpr std::uint64_t kRar5Encryption = 4;
constexpr std::uint64_t kRar5EndOfArchive = 5;
constexpr std::uint64_t kRar5DataArea = 0x0002;
constexpr int kRar5MaxBlocks = 1000000;

// A vint at bytes[*at]; *at moves past it.
std::optional<std::uint64_t> Vint(std::span<const std::uint8_t> bytes, std::size_t* at) {
    std::uint64_t value = 0;
    for (int i = 0; i < 10; ++i) {
        if (*at >= bytes.size()) return std::nullopt;
        const std::uint8_t b = bytes[(*at)++];
        value |= std::uint64_t {b & 0x7Fu} << (7 * i);
        if (!(b & 0x80)) return value;
    }
    return std::nullopt;
}

ExtractResult ExtractRar5(const TypeSpec& typeSpec, const CarveInput& input) {
    const ReachView file(input.bytes, input.far);
    const bool canWait = input.far == nullptr && !input.complete;
    const ExtractResult skip = ExtractResult::ContinueAt(static_cast<std::int64_t>(kRar5Signature));
    std::uint64_t cursor = kRar5Signature;
    std::vector<std::uint8_t> header;
    for (int blocks = 0; blocks < kRar5MaxBlocks; ++blocks) {
        // The CRC and the header size field first, then the whole header.
        std::uint8_t head[14] = {};
        std::size_t got = file.Read(cursor, head) ? sizeof head : 0;
        while (got < sizeof head && file.Read(cursor + got, std::span(head + got, 1))) ++got;
        std::size_t at = 4;
        const auto size = Vint(std::span(head, got), &at);
        if (!size) return canWait && got < sizeof head ? ExtractResult::Undecided() : skip;
        if (*size == 0 || *size > kRar5MaxHeader) return skip;
        const std::uint64_t sizeField = at - 4;
        header.resize(static_cast<std::size_t>(sizeField + *size));
        if (!file.Read(cursor + 4, header)) return canWait ? ExtractResult::Undecided() : skip;
        std::uint32_t crc = 0;
        for (int i = 3; i >= 0; --i) crc = (crc << 8) | head[i];
        if (Crc32(header) != crc) return skip;

        std::size_t field = static_cast<std::size_t>(sizeField);
        const auto type = Vint(header, &field);
        const auto flags = Vint(header, &field);
        if (!type || !flags) return skip;
        if (blocks == 0 && *type != kRar5MainHeader) return skip;  // encrypted headers cannot be walked
        if (*type == kRar5Encryption || *type == 0 || *type > kRar5EndOfArchive) return skip;
        std::uint64_t data = 0;
        if (*flags & 0x0001) {
            if (!Vint(header, &field)) return skip;
        }
        if (*flags & kRar5DataArea) {
            const auto dataSize = Vint(header, &field);
            if (!dataSize) return skip;
            data = *dataSize;
        }
        const std::uint64_t blockEnd = cursor + 4 + sizeField + *size;
        if (data > typeSpec.maxLength || blockEnd + data > typeSpec.maxLength) return skip;
        cursor = blockEnd + data;
        if (*type == kRar5EndOfArchive) {
            // The archive's last byte must be on the disk.
            std::uint8_t last = 0;
            if (!file.Read(cursor - 1, std::span(&last, 1))) return canWait ? ExtractResult::Undecided() : skip;
            return ExtractResult::Record(At(cursor), CarvedFile {0, cursor, "rar"});
        }
    }
    return skip;
}
}  // namespace

ExtractResult ExtractRar(const TypeSpec& typeSpec, const CarveInput& input) {
    const std::span<const std::uint8_t> bytes = input.bytes;
    const ByteView view(bytes);
    if (view.Equals(0, "Rar!\x1A\x07\x01")) return ExtractRar5(typeSpec, input);
    const std::uint64_t available = view.size();
    // Structures past the bytes given may still lie within maxLength bytes,
    // which the engine gives when asked.
    const bool rereadHelps = available < typeSpec.maxLength;

    const auto markerSize = view.Le16(5);
    if (!markerSize) return ExtractResult::Undecided();
    const std::uint64_t archive = *markerSize;
    const auto archiveType = view.U8(archive + 2);
    const auto archiveSize = view.Le16(archive + 5);
    if (!archiveType) return ExtractResult::Undecided();
    if (*archiveType != kArchiveHeader) return ExtractResult::ContinueAt(At(archive));
    if (!archiveSize) return ExtractResult::Undecided();

    std::uint64_t block = archive + *archiveSize;
    const auto blockType = view.U8(block + 2);
    if (!blockType) return ExtractResult::Undecided();
    bool fileHeader = *blockType == kFileHeader;
    if (!fileHeader) {
        // A type byte has its block's CRC before it: the first two bytes of
        // the input cannot be one.
        const std::uint64_t from = std::max<std::uint64_t>(block, 2);
        const auto span = view.Sub(from, kFileHeaderLookahead - (from - block));
        const auto found = std::find(span.begin(), span.end(), kFileHeader);
        if (found != span.end()) {
            block = from + static_cast<std::uint64_t>(found - span.begin()) - 2;
            fileHeader = true;
        }
    }

    if (*archiveSize == kPlainArchiveHeaderSize && !fileHeader) {
        const auto area = view.Sub(block, typeSpec.maxLength);
        const auto footer = FindPattern(typeSpec.footer, area);
        const std::uint64_t end = block + (footer ? *footer : area.size());
        return ExtractResult::Record(At(end), CarvedFile {0, end, typeSpec.suffix});
    }

    // The file blocks; every step moves on by at least one byte (a header
    // size of 0 ends the walk).
    std::uint64_t current = block;
    std::uint64_t walked = 0;
    bool damaged = false;
    while (fileHeader) {
        const auto headerSize = view.Le16(current + 5);
        const auto packed = view.Le32(current + 7);
        if (headerSize == std::uint16_t {0}) {
            damaged = true;
            break;
        }
        std::uint64_t need = current + kFileHeaderFields;
        if (headerSize && packed) need = std::max(need, current + *headerSize + *packed);
        if (!headerSize || !packed || need > available) {
            if (rereadHelps && need <= typeSpec.maxLength) return ExtractResult::Undecided();
            damaged = true;
            break;
        }
        ++walked;
        current += *headerSize + std::uint64_t {*packed};
        const auto type = view.U8(current + 2);
        if (!type) {
            if (rereadHelps && current + kEndBlock <= typeSpec.maxLength) return ExtractResult::Undecided();
            break;
        }
        fileHeader = *type == kFileHeader;
    }

    std::uint64_t end = current + kEndBlock;
    if (damaged) {
        // The end is guessed: at zero filling, else a fixed distance from
        // the start, but never before the blocks walked.
        const auto footer = FindPattern(typeSpec.footer, view.Sub(current, kDamagedSearch));
        if (footer) {
            current += *footer;
            end = current + kEndBlock;
        } else {
            end = std::max(kDamagedSearch, current + kEndBlock);
        }
    }

    if (walked > 0 || view.U8(current + 2) == kEndOfArchive) {
        // A guessed end past the bytes there are: more may come, else the
        // file ends with the disk.
        if (end > available) {
            if (rereadHelps && !input.complete) return ExtractResult::Undecided();
            end = available;
        }
        return ExtractResult::Record(At(end), CarvedFile {0, end, typeSpec.suffix});
    }
    return ExtractResult::ContinueAt(At(current));
}

}  // namespace qb::cdr

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
#include <algorithm>

#include "src/cdr/byte_reader.h"
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
}  // namespace

ExtractResult ExtractRar(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes) {
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    // Structures past the bytes given may still lie within a re-read of
    // maxLength bytes.
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

    if (walked > 0 || view.U8(current + 2) == kEndOfArchive)
        return ExtractResult::Record(At(end), CarvedFile {0, end, typeSpec.suffix});
    return ExtractResult::ContinueAt(At(current));
}

}  // namespace qb::cdr

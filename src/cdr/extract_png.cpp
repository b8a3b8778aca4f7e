// PNG: the file is delimited by walking its chunks up to IEND.
// Pictures up to 16384 pixels a side are taken.
//
// File (integers big-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       8     signature 89 50 4E 47 0D 0A 1A 0A
//   8       ...   chunks, the first being IHDR
//   16      4     IHDR width in pixels
//   20      4     IHDR height in pixels
//
// Chunk:
//   0       4     data length
//   4       4     type (four letters: IHDR, PLTE, IDAT, tEXt, IEND, ...)
//   8       n     data
//   8+n     4     CRC-32 of type and data
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAvailable = 100;
// Screens of today's phones and tablets are over 3000 pixels tall; the
// format's own decoders commonly stop at 16384 a side.
constexpr std::uint32_t kMaxDimension = 16384;
constexpr std::uint64_t kFirstChunk = 8;
constexpr std::uint64_t kChunkOverhead = 12;  // length, type and CRC

bool Printable(std::uint8_t b) { return b >= 0x20 && b < 0x7F; }

// A chunk runs past the bytes given: when up to maxLength bytes could show
// more than these, let the engine give them; otherwise the walk ends here.
ExtractResult ChunkRunsPast(const TypeSpec& typeSpec, std::uint64_t available, std::uint64_t chunk) {
    if (available < typeSpec.maxLength) return ExtractResult::Undecided();
    return ExtractResult::ContinueAt(static_cast<std::int64_t>(chunk));
}
}  // namespace

ExtractResult ExtractPng(const TypeSpec& typeSpec, const CarveInput& input) {
    const std::span<const std::uint8_t> bytes = input.bytes;
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    if (available < kMinimumAvailable) return ExtractResult::Undecided();

    const std::uint32_t width = *view.Be32(16);
    const std::uint32_t height = *view.Be32(20);
    if (width < 1 || width > kMaxDimension || height < 1 || height > kMaxDimension)
        return ExtractResult::ContinueAt(8);

    // Every chunk holds at least one data byte, so each step moves on by at
    // least 13 bytes.
    std::uint64_t chunk = kFirstChunk;
    for (;;) {
        const auto length = view.Be32(chunk);
        if (!length) return ChunkRunsPast(typeSpec, available, chunk);
        if (static_cast<std::int32_t>(*length) <= 0) return ExtractResult::ContinueAt(static_cast<std::int64_t>(chunk));
        const std::uint64_t next = chunk + *length + kChunkOverhead;
        if (next > available) return ChunkRunsPast(typeSpec, available, chunk);

        // The next chunk's length and type must lie inside to be looked at.
        if (!view.Has(next, 8)) return ExtractResult::Undecided();
        if (!Printable(*view.U8(next + 4))) return ExtractResult::ContinueAt(static_cast<std::int64_t>(chunk));
        if (view.Equals(next + 4, "IEND")) {
            const std::uint64_t endLength = *view.Be32(next);
            std::uint64_t end = next + endLength + kChunkOverhead;
            if (end > available) end = available;
            return ExtractResult::Record(static_cast<std::int64_t>(end), CarvedFile {0, end, typeSpec.suffix});
        }
        chunk = next;
    }
}

}  // namespace qb::cdr

// JPEG (JFIF / Exif): the file is delimited by walking the marker segments
// that precede the scan data and then searching the end-of-image marker.
//
// Marker segment (all integers big-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       1     FF
//   1       1     marker code (E0 APP0 JFIF, E1 APP1 Exif, DB DQT, C4 DHT,
//                 C0 SOF0, DA SOS, ...); an FF fill byte may precede it
//   2       2     segment length, counting itself but not the marker
//   4       ...   segment data
//
// File: FF D8 (SOI), FF E0/E1 segment, further segments, entropy-coded data
// (every FF in it is followed by 00), FF D9 (EOI).
//
// The walk keeps a cursor such that the current segment's marker lies at
// cursor + 2 and its length at cursor + 4.
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAvailable = 128;
}

ExtractResult ExtractJpeg(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes) {
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    if (available < kMinimumAvailable) return ExtractResult::Undecided();

    const std::uint8_t app = *view.U8(3);
    if (app != 0xE0 && app != 0xE1) return SkipHeader(typeSpec);

    // Every step moves the cursor forward by at least two bytes, so the walk
    // ends within available / 2 steps.
    std::uint64_t cursor = 0;
    bool quantisation = false;
    bool huffman = false;
    for (;;) {
        const auto length = view.Be16(cursor + 4);
        if (!length) return ExtractResult::Undecided();
        if (cursor + *length + 2 > available) return ExtractResult::Undecided();
        cursor += *length + 2;

        const auto marker = view.U8(cursor + 2);
        if (!marker) return ExtractResult::Undecided();
        if (*marker != 0xFF) break;
        const auto code = view.U8(cursor + 3);
        if (!code) return ExtractResult::Undecided();
        if (*code == 0xFF) ++cursor;  // one fill byte before the marker code

        const auto at3 = view.U8(cursor + 3);
        const auto at4 = view.U8(cursor + 4);
        if (!at3 || !at4) return ExtractResult::Undecided();
        if (*at3 == 0xDB || *at4 == 0xDB)
            quantisation = true;
        else if (*at3 == 0xC4)
            huffman = true;
    }

    if (!quantisation || !huffman) return SkipHeader(typeSpec);

    const auto found = FindPattern(typeSpec.footer, view.Sub(cursor, typeSpec.maxLength));
    if (!found) return ExtractResult::Undecided();
    const std::uint64_t end = cursor + *found + typeSpec.footer.size();
    return ExtractResult::Record(static_cast<std::int64_t>(end),
                                 CarvedFile {0, end, typeSpec.suffix});
}

}  // namespace qb::cdr

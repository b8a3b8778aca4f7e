// JPEG (JFIF / Exif): the file is delimited by walking the marker segments
// that precede the scan data and then searching the end-of-image marker.
// A photo whose metadata says that images or a video follow its primary
// image (a motion photo, an Ultra HDR photo, a camera JPEG with a large
// preview) is taken whole, to the end of the last of them
// (jpeg_appended_images.h).
//
// Marker segment (all integers big-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       1     FF
//   1       1     marker code (E0 APP0 JFIF, E1 APP1 Exif or XMP, E2 APP2
//                 ICC or MPF, DB DQT, C4 DHT, C0 SOF0, DA SOS, ...); an FF
//                 fill byte may precede it
//   2       2     segment length, counting itself but not the marker
//   4       ...   segment data
//
// File: FF D8 (SOI), an application segment (E0-EF) or the quantisation
// tables (DB) first, further segments, entropy-coded data (every FF in it
// is followed by 00), FF D9 (EOI).
//
// The walk keeps a cursor such that the current segment's marker lies at
// cursor + 2 and its length at cursor + 4.
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"
#include "src/cdr/jpeg_appended_images.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAvailable = 128;
constexpr std::uint8_t kDqt = 0xDB;
constexpr std::uint8_t kDht = 0xC4;
}  // namespace

ExtractResult ExtractJpeg(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const std::uint64_t available = view.size();
    if (available < kMinimumAvailable) return ExtractResult::Undecided();

    // The first segment: an application segment (JFIF, Exif, ...) or, from
    // encoders that write none, the quantisation tables.
    const std::uint8_t first = *view.U8(3);
    if (first != kDqt && (first & 0xF0) != 0xE0) return SkipHeader(typeSpec);

    // Every step moves the cursor forward by at least two bytes, so the walk
    // ends within available / 2 steps.
    std::uint64_t cursor = 0;
    bool quantisation = first == kDqt;
    bool huffman = false;
    JpegAppendedImages appended;
    for (;;) {
        const auto length = view.Be16(cursor + 4);
        if (!length) return ExtractResult::Undecided();
        if (cursor + *length + 2 > available) return ExtractResult::Undecided();
        const std::uint8_t marker = *view.U8(cursor + 3);
        if ((marker == 0xE1 || marker == 0xE2) && *length >= 2)
            appended.Segment(marker, cursor + 6, view.Sub(cursor + 6, *length - 2u));
        cursor += *length + 2;

        const auto next = view.U8(cursor + 2);
        if (!next) return ExtractResult::Undecided();
        if (*next != 0xFF) break;
        const auto code = view.U8(cursor + 3);
        if (!code) return ExtractResult::Undecided();
        if (*code == 0xFF) ++cursor;  // one fill byte before the marker code

        const auto at3 = view.U8(cursor + 3);
        const auto at4 = view.U8(cursor + 4);
        if (!at3 || !at4) return ExtractResult::Undecided();
        if (*at3 == kDqt || *at4 == kDqt)
            quantisation = true;
        else if (*at3 == kDht)
            huffman = true;
    }

    if (!quantisation || !huffman) return SkipHeader(typeSpec);

    const auto found = FindPattern(typeSpec.footer, view.Sub(cursor, typeSpec.maxLength));
    if (!found) return ExtractResult::Undecided();
    std::uint64_t end = cursor + *found + typeSpec.footer.size();

    // Images or a video after the primary image, as its metadata says.
    bool needMore = false;
    const std::optional<std::uint64_t> whole = appended.FileEnd(end, view.span(), &needMore);
    if (needMore && available < typeSpec.maxLength && !input.complete) return ExtractResult::Undecided();
    if (whole && *whole > end && *whole <= typeSpec.maxLength) end = *whole;
    return ExtractResult::Record(static_cast<std::int64_t>(end), CarvedFile {0, end, typeSpec.suffix});
}

}  // namespace qb::cdr

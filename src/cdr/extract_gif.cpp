// GIF87a / GIF89a: the file is delimited by walking its blocks to the
// trailer. The pair 00 3B occurs inside image data as often as anywhere
// else (a sub-block of 59 bytes after a block end), so the first one after
// the signature is no end; the walk only falls back on it for a file whose
// blocks cannot be followed.
//
//   OFFSET  SIZE  DESCRIPTION
//   0       4     "GIF8"
//   4       2     version rest: "7a" or "9a"
//   6       2     logical screen width (little-endian)
//   8       2     logical screen height
//   10      1     flags: bit 7 a global colour table follows, bits 2-0 n:
//                 it has 2^(n+1) entries of 3 bytes
//   11      2     background colour index, pixel aspect ratio
//   13      ...   global colour table, then blocks:
//                   21 label, sub-blocks            an extension
//                   2C 9 bytes (the last: flags as above, for a local
//                      colour table), local colour table, LZW minimum code
//                      size (1 byte), sub-blocks    an image
//                   3B                              the trailer, the last byte
// Sub-blocks: a size byte n, then n bytes; a size of 0 ends them.
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kVersionEnd = 6;
constexpr std::uint64_t kScreenEnd = 13;
constexpr std::uint8_t kExtension = 0x21;
constexpr std::uint8_t kImage = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;

enum class Walk { Ended, RanOut, Broken };

std::uint64_t ColourTable(std::uint8_t flags) { return (flags & 0x80) ? 3ull << ((flags & 7) + 1) : 0; }

// Steps over the sub-blocks at *at, up to and past their 0 size byte.
Walk SubBlocks(const ByteView& view, std::uint64_t* at) {
    for (;;) {
        const auto size = view.U8(*at);
        if (!size) return Walk::RanOut;
        *at += 1 + *size;
        if (*size == 0) return Walk::Ended;
    }
}

// Walks the blocks to the trailer; *end is then the file's length.
Walk Blocks(const ByteView& view, std::uint64_t* end) {
    const auto flags = view.U8(10);
    if (!flags) return Walk::RanOut;
    std::uint64_t at = kScreenEnd + ColourTable(*flags);
    // Every block moves on by at least two bytes.
    for (;;) {
        const auto introducer = view.U8(at);
        if (!introducer) return Walk::RanOut;
        if (*introducer == kTrailer) {
            *end = at + 1;
            return Walk::Ended;
        }
        if (*introducer == kExtension) {
            at += 2;
        } else if (*introducer == kImage) {
            const auto imageFlags = view.U8(at + 9);
            if (!imageFlags) return Walk::RanOut;
            at += 10 + ColourTable(*imageFlags);
            const auto codeSize = view.U8(at);
            if (!codeSize) return Walk::RanOut;
            if (*codeSize < 2 || *codeSize > 12) return Walk::Broken;
            at += 1;
        } else {
            return Walk::Broken;
        }
        const Walk sub = SubBlocks(view, &at);
        if (sub != Walk::Ended) return sub;
    }
}
}  // namespace

ExtractResult ExtractGif(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    if (!view.Has(0, kVersionEnd)) return ExtractResult::Undecided();
    if (!view.Equals(4, "7a") && !view.Equals(4, "9a")) return ExtractResult::ContinueAt(4);

    std::uint64_t end = 0;
    switch (Blocks(view, &end)) {
    case Walk::Ended:
        // As far as a trailer search would reach: maxLength bytes after
        // the version.
        if (end - kVersionEnd <= typeSpec.maxLength) break;
        return ExtractResult::Undecided();
    case Walk::RanOut:
        if (view.size() < typeSpec.maxLength) return ExtractResult::Undecided();
        return ExtractResult::ContinueAt(4);
    case Walk::Broken: {
        // Blocks that cannot be followed: the file ends at the first trailer
        // after a block end.
        const auto found = FindPattern(typeSpec.footer, view.Sub(kVersionEnd, typeSpec.maxLength));
        if (!found) return ExtractResult::Undecided();
        end = kVersionEnd + *found + typeSpec.footer.size();
        break;
    }
    }
    return ExtractResult::Record(static_cast<std::int64_t>(end), CarvedFile {0, end, typeSpec.suffix});
}

}  // namespace qb::cdr

// MPEG program stream (MPEG-1 system streams, MPEG-2 program streams of
// DVDs and video recorders): the file is delimited by walking packs and
// their packets up to the end code. Many writers leave the end code out
// (DVD files, recorders, and the common encoders): such a stream ends after
// the packets of its last pack, once a few whole packs have been walked.
//
// Pack header, MPEG-1 (integers big-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       4     start code 00 00 01 BA
//   4       5     system clock reference with marker bits (first nibble 2)
//   9       3     mux rate with marker bits
//   12      ...   system header (00 00 01 BB) in the first pack, then packets
//
// Pack header, MPEG-2:
//   0       4     start code 00 00 01 BA
//   4       6     system clock reference and its extension, marker bits
//                 (first two bits 01)
//   10      3     mux rate with marker bits
//   13      1     bits 2-0: stuffing bytes that follow (FF), 0 to 7
//   14+s    ...   system header in the first pack, then packets
//
// System header and packets (PES):
//   0       3     start code prefix 00 00 01
//   3       1     stream id: BB system header, BD private, BE padding,
//                 C0-DF audio, E0-EF video
//   4       2     length of the bytes that follow
//   6       ...   packet header rest and payload
//
// The stream ends with the end code 00 00 01 B9.
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {

constexpr std::uint64_t kWindow = 2048;
constexpr std::uint64_t kLongStream = kMiB;       // a stream this long may end without its end code
constexpr std::uint32_t kMaxSaneLength = 51200;   // larger packet lengths are taken as damage
constexpr std::uint64_t kMinimumSize = 1024;
constexpr std::uint8_t kSystemHeader = 0xBB;
constexpr std::uint8_t kLastStreamId = 0xEF;
constexpr std::uint8_t kPack = 0xBA;
constexpr std::uint8_t kEndCode = 0xB9;
constexpr std::uint64_t kMpeg2PackHeader = 14;
// Whole packs a stream without its end code must show.
constexpr int kMinPacksWithoutEndCode = 4;

const Pattern& StartCodePrefix(const TypeSpec& typeSpec) {
    static const Pattern prefix = MakePattern(std::string_view("\0\0\x01", 3), true);
    return typeSpec.markers.empty() ? prefix : typeSpec.Marker(0);
}

}  // namespace

ExtractResult ExtractMpeg(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const std::uint64_t available = view.size();
    // The bytes given end where the stream may go on, unless the disk ends
    // there or maxLength is reached.
    const bool canWait = !input.complete && available < typeSpec.maxLength;
    const auto afterPack = view.U8(15);
    if (!afterPack) return ExtractResult::Undecided();
    // The system header right after the first pack header: at byte 12 in
    // MPEG-1, after the stuffing in MPEG-2.
    bool systemHeader = *afterPack == kSystemHeader;
    if (!systemHeader && (*view.U8(4) & 0xC0) == 0x40) {
        const auto stuffing = view.U8(13);
        if (!stuffing) return ExtractResult::Undecided();
        const std::uint64_t at = kMpeg2PackHeader + (*stuffing & 7);
        if (!view.Has(at, 4)) return ExtractResult::Undecided();
        systemHeader = view.Equals(at, "\0\0\x01\xBB");
    }
    if (!systemHeader) return SkipHeader(typeSpec);

    const Pattern& prefix = StartCodePrefix(typeSpec);
    const std::uint64_t window = available < kWindow ? available : kWindow;
    std::uint64_t p = 0;  // the pack (or position) the search goes on from
    std::uint64_t total = 0;
    std::uint64_t size = 0;
    int packs = 0;  // whole packs walked, their packets included
    // A stream without its end code ends after the packets of its last
    // whole pack, once it has shown a few of them (or is long).
    auto endWithoutCode = [&](std::uint64_t packetsEnd) -> std::optional<std::uint64_t> {
        if (packs >= kMinPacksWithoutEndCode || p >= kLongStream) return packetsEnd;
        return std::nullopt;
    };
    std::uint64_t lastPacketsEnd = 0;

    // p grows on every round: the next start code is searched for after p,
    // never at p itself, and the new p lies at or after that start code.
    for (;;) {
        const auto found = FindPattern(prefix, view.Sub(p + 1, window));
        if (!found) {
            if (!view.Has(p + 1, window) && canWait) return ExtractResult::Undecided();
            const auto end = endWithoutCode(lastPacketsEnd);
            if (!end) return ExtractResult::ContinueAt(4);
            size = *end;
            break;
        }

        const std::uint64_t packets = p + 1 + *found;
        std::uint64_t pos = packets;
        for (;;) {
            const auto id = view.U8(pos + 3);
            if (!id) break;
            if (*id < kSystemHeader || *id > kLastStreamId) break;
            const auto length = view.Be16(pos + 4);
            const bool fits = length && *length != 0 && view.Has(pos, *length + 6ull);
            if (fits) {
                pos += *length + 6ull;
                total += *length;
                continue;
            }
            if (length && (*length == 0 || *length > kMaxSaneLength))
                return ExtractResult::ContinueAt(static_cast<std::int64_t>(p + 4));
            if (total < typeSpec.maxLength && canWait) return ExtractResult::Undecided();
            break;
        }

        const auto id = view.U8(pos + 3);
        if (!id) {
            // The bytes end right after the packets.
            if (canWait) return ExtractResult::Undecided();
            ++packs;
            const auto end = endWithoutCode(pos);
            if (!end) return ExtractResult::ContinueAt(4);
            size = *end;
            break;
        }
        if (*id == 0x00 || *id == kPack) {
            if (pos > packets) {  // a pack with packets
                ++packs;
                lastPacketsEnd = pos;
            }
            p = pos;
            continue;
        }
        if (*id == kEndCode) {
            size = pos + 4;
            break;
        }
        // Something else after the packets: the stream ended with them.
        ++packs;
        const auto end = endWithoutCode(pos);
        if (!end) return ExtractResult::ContinueAt(static_cast<std::int64_t>(p + 4));
        size = *end;
        break;
    }

    if (size < kMinimumSize) return SkipHeader(typeSpec);
    if (size > available) size = available;
    return ExtractResult::Record(static_cast<std::int64_t>(size), CarvedFile {0, size, typeSpec.suffix});
}

}  // namespace qb::cdr

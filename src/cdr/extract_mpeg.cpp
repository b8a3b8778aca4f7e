// MPEG program stream: the file is delimited by walking packs and their
// packets up to the end code.
//
// Pack header, MPEG-1 (integers big-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       4     start code 00 00 01 BA
//   4       5     system clock reference with marker bits (first nibble 2)
//   9       3     mux rate with marker bits
//   12      ...   system header (00 00 01 BB) in the first pack, then packets
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

const Pattern& StartCodePrefix(const TypeSpec& typeSpec) {
    static const Pattern prefix = MakePattern(std::string_view("\0\0\x01", 3), true);
    return typeSpec.markers.empty() ? prefix : typeSpec.Marker(0);
}

}  // namespace

ExtractResult ExtractMpeg(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes) {
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    const auto afterPack = view.U8(15);
    if (!afterPack) return ExtractResult::Undecided();
    if (*afterPack != kSystemHeader) return SkipHeader(typeSpec);

    const Pattern& prefix = StartCodePrefix(typeSpec);
    const std::uint64_t window = available < kWindow ? available : kWindow;
    std::uint64_t p = 0;  // the pack (or position) the search goes on from
    std::uint64_t total = 0;
    std::uint64_t end = 0;

    // p grows on every round: the next start code is searched for after p,
    // never at p itself, and the new p lies at or after that start code.
    for (;;) {
        const auto found = FindPattern(prefix, view.Sub(p + 1, window));
        if (!found) {
            if (p < kLongStream) return ExtractResult::ContinueAt(4);
            end = p;
            break;
        }

        std::uint64_t pos = p + 1 + *found;
        for (;;) {
            const auto id = view.U8(pos + 3);
            if (!id) return ExtractResult::Undecided();
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
            if (total < typeSpec.maxLength) return ExtractResult::Undecided();
            break;
        }

        const auto id = view.U8(pos + 3);
        if (!id) return ExtractResult::Undecided();
        if (*id == 0x00 || *id == kPack) {
            p = pos;
            continue;
        }
        if (*id == kEndCode) {
            end = pos;
            break;
        }
        if (p >= kLongStream) {
            end = p;
            break;
        }
        return ExtractResult::ContinueAt(static_cast<std::int64_t>(p + 4));
    }

    std::uint64_t size = end + 4;
    if (size < kMinimumSize) return SkipHeader(typeSpec);
    if (size > available) size = available;
    return ExtractResult::Record(static_cast<std::int64_t>(size), CarvedFile {0, size, typeSpec.suffix});
}

}  // namespace qb::cdr

// MPEG audio (MP3, and MP2 and MP1): an optional ID3v2 tag, then frames
// back to back, each header giving its own length, then optional tags at
// the end. The file is delimited by walking the frames: they must keep the
// version, layer and sample rate of the first, so a run of frames cannot
// be mistaken for noise, and the walk ends at the first bytes that are not
// such a frame.
//
// ID3v2 tag:
//   OFFSET  SIZE  DESCRIPTION
//   0       3     "ID3"
//   3       2     version (2, 3 or 4) and revision
//   5       1     flags; bit 4: a 10-byte footer follows the tag
//   6       4     tag size after these 10 bytes, 7 bits per byte
//
// Frame header (32 bits, most significant first):
//   11 bits  sync, all ones
//   2 bits   version: 00 MPEG-2.5, 10 MPEG-2, 11 MPEG-1
//   2 bits   layer: 01 III, 10 II, 11 I
//   1 bit    no CRC
//   4 bits   bitrate index (0 free, 15 invalid)
//   2 bits   sample-rate index (3 invalid)
//   1 bit    padding: one more slot (4 bytes in layer I, else 1 byte)
//   9 bits   private, channel mode, mode extension, copyright, original,
//            emphasis
// Frame length: layer I 4 * (12 * bitrate / rate + padding); layer II and
// MPEG-1 layer III 144 * bitrate / rate + padding; MPEG-2 and 2.5 layer
// III 72 * bitrate / rate + padding.
//
// After the last frame: an APEv2 tag ("APETAGEX" header, 32 bytes, its
// size at 12 counting the items and footer) and an ID3v1 tag ("TAG", 128
// bytes), in that order when both are there.
#include <optional>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {

constexpr std::uint64_t kId3Header = 10;
constexpr std::uint64_t kId3Footer = 10;
constexpr std::uint64_t kId3v1 = 128;
constexpr std::uint64_t kApeHeader = 32;
// Zero bytes allowed between the ID3v2 tag and the first frame.
constexpr std::uint64_t kMaxGap = 65536;
// Frames a file must have: with an ID3v2 tag the tag already says what the
// file is; a file found at its first frame must show a run of them.
constexpr int kMinFramesAfterTag = 2;
constexpr int kMinFramesBare = 8;

// kbit/s by [MPEG-1?][layer I, II, III][index].
constexpr int kBitrates[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
constexpr int kRates[3] = {44100, 48000, 32000};  // MPEG-1; halved for MPEG-2, quartered for 2.5

struct Frame {
    int version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layer = 0;    // 1, 2 or 3
    int rateIndex = 0;
    std::uint32_t length = 0;
};

std::optional<Frame> FrameAt(const ByteView& view, std::uint64_t at) {
    const auto word = view.Be32(at);
    if (!word) return std::nullopt;
    const std::uint32_t h = *word;
    if ((h >> 21) != 0x7FF) return std::nullopt;
    Frame f;
    f.version = static_cast<int>((h >> 19) & 3);
    const int layerBits = static_cast<int>((h >> 17) & 3);
    const int bitrateIndex = static_cast<int>((h >> 12) & 15);
    f.rateIndex = static_cast<int>((h >> 10) & 3);
    const int padding = static_cast<int>((h >> 9) & 1);
    if (f.version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || f.rateIndex == 3)
        return std::nullopt;
    // The emphasis value 2 is reserved.
    if ((h & 3) == 2) return std::nullopt;
    f.layer = 4 - layerBits;
    const bool mpeg1 = f.version == 3;
    const int bitrate = kBitrates[mpeg1 ? 1 : 0][f.layer - 1][bitrateIndex] * 1000;
    int rate = kRates[f.rateIndex];
    if (f.version == 2) rate /= 2;
    if (f.version == 0) rate /= 4;
    if (f.layer == 1)
        f.length = static_cast<std::uint32_t>((12 * bitrate / rate + padding) * 4);
    else if (f.layer == 3 && !mpeg1)
        f.length = static_cast<std::uint32_t>(72 * bitrate / rate + padding);
    else
        f.length = static_cast<std::uint32_t>(144 * bitrate / rate + padding);
    if (f.length < 4) return std::nullopt;
    return f;
}

std::uint64_t SynchSafe(const ByteView& view, std::uint64_t at) {
    std::uint64_t v = 0;
    for (std::uint64_t i = 0; i < 4; ++i) v = (v << 7) | (*view.U8(at + i) & 0x7F);
    return v;
}

const char* ExtensionOf(int layer) { return layer == 3 ? "mp3" : layer == 2 ? "mp2" : "mp1"; }

}  // namespace

ExtractResult ExtractMp3(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const std::uint64_t available = view.size();
    // The walk needs the bytes up to the end; a run past them is decided
    // once more of them are given, unless there are no more.
    const bool canWait = !input.complete && available < typeSpec.maxLength;
    const ExtractResult undecided = ExtractResult::Undecided();

    std::uint64_t cursor = 0;
    const bool tagged = view.Equals(0, "ID3");
    if (tagged) {
        if (!view.Has(0, kId3Header)) return canWait ? undecided : ExtractResult::ContinueAt(3);
        const std::uint8_t major = *view.U8(3);
        const std::uint8_t flags = *view.U8(5);
        bool synchSafe = true;
        for (std::uint64_t i = 6; i < 10; ++i) synchSafe = synchSafe && (*view.U8(i) & 0x80) == 0;
        if (major < 2 || major > 4 || *view.U8(4) == 0xFF || !synchSafe) return ExtractResult::ContinueAt(3);
        cursor = kId3Header + SynchSafe(view, 6) + ((flags & 0x10) ? kId3Footer : 0);
        // Some writers leave zero padding after the size they state.
        const std::uint64_t gapEnd = cursor + kMaxGap;
        while (cursor < available && cursor < gapEnd && *view.U8(cursor) == 0) ++cursor;
        if (cursor >= available) return canWait ? undecided : ExtractResult::ContinueAt(3);
    }

    const std::optional<Frame> first = FrameAt(view, cursor);
    if (!first) {
        if (tagged && !view.Has(cursor, 4) && canWait) return undecided;
        return ExtractResult::ContinueAt(tagged ? 3 : 1);
    }
    // Every frame is at least 4 bytes long, so the walk ends.
    int frames = 0;
    for (;;) {
        const std::optional<Frame> f = FrameAt(view, cursor);
        if (!f) {
            if (!view.Has(cursor, 4) && canWait) return undecided;
            break;
        }
        if (f->version != first->version || f->layer != first->layer || f->rateIndex != first->rateIndex) break;
        if (!view.Has(cursor, f->length)) {
            if (canWait) return undecided;
            break;  // a last frame cut short by the end of the disk
        }
        cursor += f->length;
        ++frames;
    }
    if (frames < (tagged ? kMinFramesAfterTag : kMinFramesBare)) return ExtractResult::ContinueAt(tagged ? 3 : 1);

    // Tags after the frames.
    if (view.Equals(cursor, "APETAGEX")) {
        if (!view.Has(cursor, kApeHeader) && canWait) return undecided;
        if (const auto size = view.Le32(cursor + 12); size && view.Has(cursor, kApeHeader + *size))
            cursor += kApeHeader + *size;
        else if (canWait)
            return undecided;
    }
    if (view.Equals(cursor, "TAG")) {
        if (view.Has(cursor, kId3v1))
            cursor += kId3v1;
        else if (canWait)
            return undecided;
    } else if (!view.Has(cursor, 3) && canWait) {
        return undecided;  // a tag may begin past the bytes given
    }
    return ExtractResult::Record(static_cast<std::int64_t>(cursor), CarvedFile {0, cursor, ExtensionOf(first->layer)});
}

}  // namespace qb::cdr

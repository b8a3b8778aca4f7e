// Ogg files: Opus voice notes and Vorbis music (and FLAC, Speex or Theora
// in Ogg). The file is a row of pages, each with its own length and CRC; it
// is delimited by walking the pages of its logical streams from the first
// (beginning-of-stream) page to the page that ends the last of them. A page
// whose CRC does not match, or bytes that are no page, end the walk too:
// a voice note cut short by a crash ends at its last whole page.
//
// Page header (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       4     "OggS"
//   4       1     version 0
//   5       1     flags: 1 continued packet, 2 beginning of stream,
//                 4 end of stream
//   6       8     granule position
//   14      4     stream serial number
//   18      4     page sequence number
//   22      4     CRC-32 of the whole page, computed with this field zero
//   26      1     segment count n
//   27      n     segment lengths; the page's data is their sum
//
// The first packet of a stream names its codec: "OpusHead", 01 "vorbis",
// 7F "FLAC", "Speex   ", 80 "theora".
#include <algorithm>
#include <string>
#include <vector>

#include "src/cdr/byte_reader.h"
#include "src/cdr/crc.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {

constexpr std::uint64_t kPageHeader = 27;
constexpr std::uint8_t kBeginOfStream = 0x02;
constexpr std::uint8_t kEndOfStream = 0x04;
// Streams multiplexed into one file: a video with its sound, a few more.
constexpr std::size_t kMaxStreams = 16;
constexpr int kMinPages = 2;

const char* ExtensionOf(const ByteView& view, std::uint64_t packet) {
    if (view.Equals(packet, "OpusHead")) return "opus";
    if (view.Equals(packet, "\x01vorbis")) return "ogg";
    if (view.Equals(packet, "\x7F" "FLAC")) return "oga";
    if (view.Equals(packet, "Speex   ")) return "spx";
    if (view.Equals(packet, "\x80theora")) return "ogv";
    return "ogg";
}

// The page's length when a whole, sound page lies at `at`; 0 when the bytes
// there are no page; nothing when the page runs past the bytes.
std::optional<std::uint64_t> PageAt(const ByteView& view, std::uint64_t at) {
    if (!view.Has(at, kPageHeader)) return view.Has(at, 4) && !view.Equals(at, "OggS") ? std::optional<std::uint64_t>(0) : std::nullopt;
    if (!view.Equals(at, "OggS") || *view.U8(at + 4) != 0 || (*view.U8(at + 5) & ~0x07) != 0) return 0;
    const std::uint64_t segments = *view.U8(at + 26);
    if (!view.Has(at, kPageHeader + segments)) return std::nullopt;
    std::uint64_t data = 0;
    for (std::uint64_t i = 0; i < segments; ++i) data += *view.U8(at + kPageHeader + i);
    const std::uint64_t length = kPageHeader + segments + data;
    if (!view.Has(at, length)) return std::nullopt;
    const std::uint8_t* page = view.data() + at;
    const std::uint8_t zero[4] = {0, 0, 0, 0};
    std::uint32_t crc = OggCrc32(std::span(page, 22));
    crc = OggCrc32(zero, crc);
    crc = OggCrc32(std::span(page + 26, static_cast<std::size_t>(length - 26)), crc);
    if (crc != *view.Le32(at + 22)) return 0;
    return length;
}

}  // namespace

ExtractResult ExtractOgg(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const bool canWait = !input.complete && view.size() < typeSpec.maxLength;
    const ExtractResult skip = ExtractResult::ContinueAt(4);

    const std::optional<std::uint64_t> first = PageAt(view, 0);
    if (!first) return canWait ? ExtractResult::Undecided() : skip;
    if (*first == 0 || (*view.U8(5) & kBeginOfStream) == 0) return skip;
    const std::string extension = ExtensionOf(view, kPageHeader + *view.U8(26));

    // Streams begun and not yet ended.
    std::vector<std::uint32_t> open;
    bool anyEnded = false;
    bool dataSeen = false;  // a page that begins no stream
    std::uint64_t cursor = 0;
    int pages = 0;
    // Every page is at least 27 bytes long, so the walk ends.
    for (;;) {
        const std::optional<std::uint64_t> length = PageAt(view, cursor);
        if (!length) {
            if (canWait) return ExtractResult::Undecided();
            break;
        }
        if (*length == 0) break;
        const std::uint8_t flags = *view.U8(cursor + 5);
        const std::uint32_t serial = *view.Le32(cursor + 14);
        const bool known = std::find(open.begin(), open.end(), serial) != open.end();
        if (flags & kBeginOfStream) {
            // A new stream after the data began, or after every stream has
            // ended, is the next file (or a chained one).
            if (known || dataSeen || anyEnded || open.size() >= kMaxStreams) break;
            open.push_back(serial);
        } else {
            if (!known) break;  // a page of no stream of this file
            dataSeen = true;
        }
        cursor += *length;
        ++pages;
        if (flags & kEndOfStream) {
            open.erase(std::find(open.begin(), open.end(), serial));
            anyEnded = true;
            if (open.empty()) break;
        }
    }
    if (pages < kMinPages) return skip;
    return ExtractResult::Record(static_cast<std::int64_t>(cursor), CarvedFile {0, cursor, extension});
}

}  // namespace qb::cdr

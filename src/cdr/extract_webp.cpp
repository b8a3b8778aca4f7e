// WebP pictures (chat stickers, pictures saved from the web): a RIFF file
// of form "WEBP" whose header states its length; the chunks inside must
// tile that length exactly, which turns down RIFF headers that only look
// like one.
//
// RIFF header (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       4     "RIFF"
//   4       4     size of what follows: the file's length less 8
//   8       4     "WEBP"
//   12      ...   chunks
//
// Chunk:
//   0       4     id: "VP8 " (lossy), "VP8L" (lossless), "VP8X" (extended:
//                 then "ICCP", "ANIM", "ANMF" frames, "ALPH", "VP8 ",
//                 "VP8L", "EXIF", "XMP ", ...)
//   4       4     data size (the data is padded to an even length)
//   8       n     data; "VP8 " data starts with a 3-byte frame tag and the
//                 start code 9D 01 2A, "VP8L" data with the signature 2F,
//                 "VP8X" data is 10 bytes
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kRiffHeader = 12;
constexpr std::uint64_t kChunkHeader = 8;
constexpr std::uint32_t kVp8xSize = 10;
// A frame per chunk at most; animated stickers have tens to hundreds.
constexpr int kMaxChunks = 100000;

bool FourCc(const std::uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    return true;
}
}  // namespace

ExtractResult ExtractWebp(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    if (!view.Has(0, kRiffHeader + kChunkHeader + 4)) return ExtractResult::Undecided();
    const std::uint64_t length = std::uint64_t {*view.Le32(4)} + 8;
    const auto skip = ExtractResult::ContinueAt(static_cast<std::int64_t>(kRiffHeader));
    if (length < kRiffHeader + kChunkHeader + 4 || length > typeSpec.maxLength || length % 2 != 0) return skip;

    // The first chunk says which kind of WebP this is.
    const std::uint32_t firstSize = *view.Le32(kRiffHeader + 4);
    if (view.Equals(kRiffHeader, "VP8 ")) {
        if (!view.Has(kRiffHeader + kChunkHeader, 6)) return ExtractResult::Undecided();
        if (!view.Equals(kRiffHeader + kChunkHeader + 3, "\x9D\x01\x2A")) return skip;
    } else if (view.Equals(kRiffHeader, "VP8L")) {
        if (*view.U8(kRiffHeader + kChunkHeader) != 0x2F) return skip;
    } else if (view.Equals(kRiffHeader, "VP8X")) {
        if (firstSize != kVp8xSize) return skip;
    } else {
        return skip;
    }

    // The chunks must end exactly at the stated length; their headers are
    // read where they lie.
    const ReachView file(input.bytes, input.far);
    std::uint64_t cursor = kRiffHeader;
    for (int chunks = 0; cursor < length; ++chunks) {
        if (chunks >= kMaxChunks || length - cursor < kChunkHeader) return skip;
        std::uint8_t head[kChunkHeader];
        if (!file.Read(cursor, head)) return input.far || input.complete ? skip : ExtractResult::Undecided();
        if (!FourCc(head)) return skip;
        const std::uint64_t size = std::uint64_t {head[4]} | std::uint64_t {head[5]} << 8 |
                                   std::uint64_t {head[6]} << 16 | std::uint64_t {head[7]} << 24;
        cursor += kChunkHeader + size + (size & 1);
    }
    if (cursor != length) return skip;
    // The file's last byte must be on the disk.
    std::uint8_t last = 0;
    if (!file.Read(length - 1, std::span(&last, 1))) return input.far || input.complete ? skip : ExtractResult::Undecided();
    return ExtractResult::Record(static_cast<std::int64_t>(length), CarvedFile {0, length, "webp"});
}

}  // namespace qb::cdr

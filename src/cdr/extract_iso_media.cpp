// ISO base media files: MP4, MOV, 3GP, M4A and M4V videos and sound, HEIC
// and AVIF pictures. Such a file is a row of top-level boxes that starts
// with "ftyp"; the file is delimited by stepping from box to box by their
// sizes, in whatever order the writer put them (a camera writes the media
// data before the movie box, a streaming encoder after it), and named by
// the brand in "ftyp". Only the box headers are read, where they lie, so a
// video of gigabytes costs a few small reads.
//
// Box (integers big-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       4     box size, header included; 1: a 64-bit size follows;
//                 0: the box runs to the end of the file
//   4       4     box type ("ftyp", "moov", "mdat", "meta", "free", ...)
//   8       8     64-bit box size, when the 32-bit size is 1
//
// "ftyp" box, the file's first:
//   8       4     major brand ("isom", "mp42", "qt  ", "3gp4", "M4A ",
//                 "heic", "mif1", "avif", ...)
//   12      4     minor version
//   16      4*n   compatible brands
//
// A movie holds "moov" (with its tracks) and "mdat" (their samples), or
// "moov" then "moof"/"mdat" fragments; a HEIF picture holds "meta" (items
// and their locations) and usually "mdat".
#include <array>
#include <string>
#include <string_view>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {

constexpr std::uint64_t kFtypFields = 16;  // size, type, major brand, minor version
constexpr std::uint32_t kMaxFtypSize = 4096;
constexpr std::uint64_t kBoxHeader = 8;
constexpr std::uint64_t kLargeBoxHeader = 16;
// Fragmented files have a pair of boxes per fragment; this many boxes is
// far beyond any file, and bounds the walk over a hostile disk.
constexpr int kMaxBoxes = 1000000;

using Brand = std::array<char, 4>;

bool Printable(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    return true;
}

bool Is(const Brand& b, std::string_view text) { return std::string_view(b.data(), 4) == text; }

// Top-level boxes that belong to the file. A second "ftyp" starts the next
// file; anything else ends this one.
bool TopLevelBox(const Brand& type) {
    for (std::string_view known : {"moov", "mdat", "free", "skip", "wide", "meta", "uuid", "pdin", "moof", "mfra",
                                   "styp", "sidx", "ssix", "prft", "emsg", "udta", "PICT", "pnot", "junk", "Xtra"})
        if (Is(type, known)) return true;
    return false;
}

// The extension the brands name: the major brand, or for a HEIF file
// whose major brand is the generic "mif1" the first picture brand among the
// compatible ones.
std::string ExtensionOf(const Brand& major, const std::vector<Brand>& compatible) {
    auto picture = [](const Brand& b) -> const char* {
        for (std::string_view heic : {"heic", "heix", "heim", "heis", "hevc", "hevx"})
            if (Is(b, heic)) return "heic";
        if (Is(b, "avif") || Is(b, "avis")) return "avif";
        return nullptr;
    };
    if (const char* p = picture(major)) return p;
    if (Is(major, "mif1") || Is(major, "msf1")) {
        for (const Brand& b : compatible)
            if (const char* p = picture(b)) return p;
        return "heif";
    }
    if (Is(major, "qt  ")) return "mov";
    if (Is(major, "M4A ") || Is(major, "M4B ")) return "m4a";
    if (Is(major, "M4V ") || Is(major, "M4VH") || Is(major, "M4VP")) return "m4v";
    if (Is(major, "3g2a") || Is(major, "3g2b") || Is(major, "3g2c")) return "3g2";
    if (major[0] == '3' && major[1] == 'g') return "3gp";  // 3gp4..3gp9, 3ge6, 3gs7, ...
    if (Is(major, "crx ")) return "cr3";
    return "mp4";
}

}  // namespace

ExtractResult ExtractIsoMedia(const TypeSpec& /*typeSpec*/, const CarveInput& input) {
    const ByteView view(input.bytes);
    if (!view.Has(0, kFtypFields)) return input.complete ? ExtractResult::ContinueAt(8) : ExtractResult::Undecided();
    const std::uint32_t ftypSize = *view.Be32(0);
    if (ftypSize < kFtypFields || ftypSize > kMaxFtypSize || ftypSize % 4 != 0) return ExtractResult::ContinueAt(8);
    if (!view.Has(0, ftypSize)) return input.complete ? ExtractResult::ContinueAt(8) : ExtractResult::Undecided();
    if (!Printable(view.data() + 8, 4) || !Printable(view.data() + 16, ftypSize - 16))
        return ExtractResult::ContinueAt(8);
    Brand major {};
    for (int i = 0; i < 4; ++i) major[static_cast<std::size_t>(i)] = static_cast<char>(view.data()[8 + i]);
    std::vector<Brand> compatible;
    for (std::uint64_t at = 16; at + 4 <= ftypSize; at += 4) {
        Brand b {};
        for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>(view.data()[at + static_cast<std::uint64_t>(i)]);
        compatible.push_back(b);
    }

    const ReachView file(input.bytes, input.far);
    // Without far reads, a box header past the bytes given may still be
    // on the disk, unless the bytes end where the disk does.
    const bool canWait = input.far == nullptr && !input.complete;
    std::uint64_t cursor = ftypSize;
    bool movie = false, fragments = false, media = false, items = false;
    for (int boxes = 0; boxes < kMaxBoxes; ++boxes) {
        std::array<std::uint8_t, kLargeBoxHeader> head {};
        if (!file.Read(cursor, std::span(head).first(kBoxHeader))) {
            if (canWait) return ExtractResult::Undecided();
            break;  // the disk ends here
        }
        Brand type {};
        for (std::size_t i = 0; i < 4; ++i) type[i] = static_cast<char>(head[4 + i]);
        if (!TopLevelBox(type)) break;
        std::uint64_t size = (std::uint64_t {head[0]} << 24) | (std::uint64_t {head[1]} << 16) |
                             (std::uint64_t {head[2]} << 8) | head[3];
        std::uint64_t headerSize = kBoxHeader;
        if (size == 1) {
            if (!file.Read(cursor, std::span(head))) {
                if (canWait) return ExtractResult::Undecided();
                break;
            }
            size = 0;
            for (std::size_t i = 8; i < 16; ++i) size = (size << 8) | head[i];
            headerSize = kLargeBoxHeader;
        }
        // A box that runs to the end of the file (size 0) cannot be
        // delimited; one smaller than its header is not a box.
        if (size < headerSize) break;
        if (size > UINT64_MAX - cursor) break;
        // The box's last byte must be on the disk.
        std::uint8_t last = 0;
        if (!file.Read(cursor + size - 1, std::span(&last, 1))) {
            if (canWait) return ExtractResult::Undecided();
            break;
        }
        if (Is(type, "moov")) movie = true;
        if (Is(type, "moof")) fragments = true;
        if (Is(type, "mdat")) media = true;
        if (Is(type, "meta")) items = true;
        cursor += size;
    }

    const bool whole = ((movie || fragments) && media) || items;
    if (!whole) return ExtractResult::ContinueAt(static_cast<std::int64_t>(ftypSize));
    const std::int64_t end = static_cast<std::int64_t>(cursor);
    return ExtractResult::Record(end, CarvedFile {0, cursor, ExtensionOf(major, compatible)});
}

}  // namespace qb::cdr

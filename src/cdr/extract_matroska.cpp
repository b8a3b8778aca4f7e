// Matroska and WebM files (videos saved from the web and from chats, video
// stickers): an EBML header, then one Segment that holds everything else.
// A Segment of known size delimits the file at once; one written live, of
// unknown size, is walked element by element, and so are its clusters of
// unknown size. Element headers are read where they lie, so a long video
// costs a few small reads.
//
// Element:
//   OFFSET  SIZE  DESCRIPTION
//   0       1-4   ID; the first byte's leading zero bits tell its length
//   n       1-8   data size; the first byte's leading zero bits tell its
//                 length, the marker bit is not part of the value, and all
//                 value bits set mean "unknown"
//   n+m     ...   data
//
// EBML header, ID 1A 45 DF A3, holds DocType (ID 42 82): "matroska" or
// "webm". Segment, ID 18 53 80 67, holds SeekHead 11 4D 9B 74, Info
// 15 49 A9 66, Tracks 16 54 AE 6B, Cluster 1F 43 B6 75, Cues 1C 53 BB 6B,
// Chapters 10 43 A7 70, Tags 12 54 C3 67, Attachments 19 41 A4 69, Void EC,
// CRC-32 BF. A Cluster holds Timestamp E7, SilentTracks 58 54, Position A7,
// PrevSize AB, SimpleBlock A3, BlockGroup A0, EncryptedBlock AF, Void EC,
// CRC-32 BF.
#include <optional>
#include <string>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {

constexpr std::uint32_t kEbmlHeader = 0x1A45DFA3;
constexpr std::uint32_t kDocType = 0x4282;
constexpr std::uint32_t kSegment = 0x18538067;
constexpr std::uint32_t kCluster = 0x1F43B675;
constexpr std::uint64_t kMaxHeaderData = 4096;
// Elements walked at most: a cluster per second or so, a few blocks each.
constexpr int kMaxElements = 4000000;

struct Element {
    std::uint32_t id = 0;
    std::uint64_t size = 0;
    bool unknownSize = false;
    std::uint64_t header = 0;  // bytes of ID and size
};

// The element whose header starts at `at`; nothing when its header is
// malformed or cannot be read (*unreadable then set).
std::optional<Element> ElementAt(const ReachView& file, std::uint64_t at, bool* unreadable = nullptr) {
    std::uint8_t head[12] = {};
    // Read what is there of the longest header, a byte at a time at the end.
    std::size_t got = 0;
    if (file.Read(at, std::span(head, 12))) {
        got = 12;
    } else {
        while (got < 12 && file.Read(at + got, std::span(head + got, 1))) ++got;
    }
    auto missing = [&] {
        if (unreadable) *unreadable = true;
        return std::nullopt;
    };
    if (got == 0) return missing();
    if (head[0] == 0) return std::nullopt;
    Element e;
    std::size_t idLength = 1;
    while (idLength <= 4 && !(head[0] & (0x80 >> (idLength - 1)))) ++idLength;
    if (idLength > 4) return std::nullopt;
    if (got < idLength + 1) return missing();
    for (std::size_t i = 0; i < idLength; ++i) e.id = (e.id << 8) | head[i];
    const std::uint8_t first = head[idLength];
    if (first == 0) return std::nullopt;
    std::size_t sizeLength = 1;
    while (!(first & (0x80 >> (sizeLength - 1)))) ++sizeLength;
    if (got < idLength + sizeLength) return missing();
    std::uint64_t value = first & (0xFF >> sizeLength);
    bool allOnes = value == (0xFFu >> sizeLength);
    for (std::size_t i = 1; i < sizeLength; ++i) {
        value = (value << 8) | head[idLength + i];
        allOnes = allOnes && head[idLength + i] == 0xFF;
    }
    e.size = value;
    e.unknownSize = allOnes;
    e.header = idLength + sizeLength;
    return e;
}

bool SegmentChild(std::uint32_t id) {
    switch (id) {
    case 0x114D9B74: case 0x1549A966: case 0x1654AE6B: case kCluster: case 0x1C53BB6B:
    case 0x1043A770: case 0x1254C367: case 0x1941A469: case 0xEC: case 0xBF:
        return true;
    default: return false;
    }
}

bool ClusterChild(std::uint32_t id) {
    switch (id) {
    case 0xE7: case 0x5854: case 0xA7: case 0xAB: case 0xA3: case 0xA0: case 0xAF: case 0xEC: case 0xBF:
        return true;
    default: return false;
    }
}

}  // namespace

ExtractResult ExtractMatroska(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const ReachView file(input.bytes, input.far);
    const bool canWait = input.far == nullptr && !input.complete;
    const ExtractResult skip = ExtractResult::ContinueAt(4);

    bool unreadable = false;
    const std::optional<Element> header = ElementAt(file, 0, &unreadable);
    if (!header) return unreadable && canWait ? ExtractResult::Undecided() : skip;
    if (header->id != kEbmlHeader || header->unknownSize || header->size > kMaxHeaderData) return skip;
    const std::uint64_t headerEnd = header->header + header->size;
    if (!view.Has(0, headerEnd)) return canWait ? ExtractResult::Undecided() : skip;

    // The document type names the file.
    std::string docType;
    for (std::uint64_t at = header->header; at < headerEnd;) {
        const std::optional<Element> child = ElementAt(ReachView(view.Sub(0, headerEnd), nullptr), at);
        if (!child || child->unknownSize || child->size > headerEnd - at - child->header) return skip;
        if (child->id == kDocType) {
            const auto text = view.Sub(at + child->header, child->size);
            docType.assign(text.begin(), text.end());
            while (!docType.empty() && docType.back() == '\0') docType.pop_back();
        }
        at += child->header + child->size;
    }
    if (docType != "matroska" && docType != "webm") return skip;

    const std::optional<Element> segment = ElementAt(file, headerEnd, &unreadable);
    if (!segment) return unreadable && canWait ? ExtractResult::Undecided() : skip;
    if (segment->id != kSegment) return skip;
    const std::uint64_t dataStart = headerEnd + segment->header;
    std::uint64_t end = 0;
    if (!segment->unknownSize) {
        if (dataStart > typeSpec.maxLength || segment->size > typeSpec.maxLength - dataStart) return skip;
        end = dataStart + segment->size;
    } else {
        // Written live: the elements are walked up to the first that does
        // not belong to a segment.
        std::uint64_t at = dataStart;
        bool inCluster = false;  // inside a cluster of unknown size
        for (int n = 0; n < kMaxElements; ++n) {
            bool missing = false;
            const std::optional<Element> e = ElementAt(file, at, &missing);
            if (!e) {
                if (missing && canWait) return ExtractResult::Undecided();
                break;
            }
            if (inCluster && !ClusterChild(e->id)) inCluster = false;
            if (!inCluster && !SegmentChild(e->id)) break;
            if (e->unknownSize) {
                if (e->id != kCluster) break;
                inCluster = true;
                at += e->header;
                continue;
            }
            if (e->size > typeSpec.maxLength || at + e->header + e->size > typeSpec.maxLength) break;
            at += e->header + e->size;
        }
        end = at;
        if (end <= dataStart) return skip;
    }
    // The file's last byte must be on the disk.
    std::uint8_t last = 0;
    if (!file.Read(end - 1, std::span(&last, 1))) return canWait ? ExtractResult::Undecided() : skip;
    return ExtractResult::Record(static_cast<std::int64_t>(end),
                                 CarvedFile {0, end, docType == "webm" ? "webm" : "mkv"});
}

}  // namespace qb::cdr

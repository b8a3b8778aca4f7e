// The two indexes of a JPEG's appended images.
//
// APP2 "MPF" segment (Multi-Picture Format), after the identifier "MPF\0":
//   OFFSET  SIZE  DESCRIPTION
//   0       8     TIFF header: "II" 2A 00 or "MM" 00 2A, then the offset of
//                 the MP index IFD; every offset below counts from byte 0
//                 of this header
//   ifd     2     entry count, then 12-byte entries: tag, type, count, value
//                 (or the offset of the value)
//   tag B002      MP Entry: count = 16 * images, at the value offset:
//     0     4     attributes
//     4     4     image size in bytes
//     8     4     image offset (0 for the first image, the primary)
//     12    4     dependent image entries
//
// APP1 XMP segment, after "http://ns.adobe.com/xap/1.0/\0": an XML packet.
// Its container directory lists the file's media items in file order:
//   <Container:Directory><rdf:Seq>
//     <rdf:li rdf:parseType="Resource"><Container:Item Item:Semantic="Primary"
//        Item:Mime="image/jpeg" Item:Padding="0"/></rdf:li>
//     <rdf:li ...><Container:Item Item:Semantic="MotionPhoto" (or "GainMap")
//        Item:Mime="video/mp4" Item:Length="1234567"/></rdf:li>
//   </rdf:Seq></Container:Directory>
// The items after the primary follow its end (and its padding) back to back,
// each Length bytes long. The older MicroVideo form states
// GCamera:MicroVideoOffset="N": the video is the file's last N bytes.
#include "src/cdr/jpeg_appended_images.h"

#include <algorithm>
#include <string_view>

#include "src/cdr/byte_reader.h"

namespace qb::cdr {
namespace {

constexpr std::uint16_t kMpEntryTag = 0xB002;
constexpr std::uint64_t kMpEntrySize = 16;
constexpr std::size_t kMaxImages = 64;
constexpr std::size_t kMaxItems = 64;
// A video may follow the primary image after a little padding when only
// its length is stated.
constexpr std::uint64_t kVideoSearch = 65536;

std::string_view Text(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The value of the attribute whose name ends with `name` ("Length" matches
// Item:Length and GContainerItem:Length) inside one tag; empty when absent.
std::string_view Attribute(std::string_view tag, std::string_view name) {
    std::size_t at = 0;
    while ((at = tag.find(name, at)) != std::string_view::npos) {
        const std::size_t after = at + name.size();
        const bool prefixed = at > 0 && tag[at - 1] == ':';
        std::size_t eq = after;
        while (eq < tag.size() && tag[eq] == ' ') ++eq;
        if (prefixed && eq < tag.size() && tag[eq] == '=') {
            std::size_t q = eq + 1;
            while (q < tag.size() && tag[q] == ' ') ++q;
            if (q < tag.size() && (tag[q] == '"' || tag[q] == '\'')) {
                const std::size_t close = tag.find(tag[q], q + 1);
                if (close != std::string_view::npos) return tag.substr(q + 1, close - q - 1);
            }
        }
        at = after;
    }
    return {};
}

std::optional<std::uint64_t> Number(std::string_view text) {
    if (text.empty() || text.size() > 15) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v;
}

bool JpegAt(std::span<const std::uint8_t> file, std::uint64_t at) {
    return at + 3 <= file.size() && file[at] == 0xFF && file[at + 1] == 0xD8 && file[at + 2] == 0xFF;
}
bool VideoAt(std::span<const std::uint8_t> file, std::uint64_t at) {
    return at + 8 <= file.size() && Text(file.subspan(at + 4, 4)) == "ftyp";
}

}  // namespace

void JpegAppendedImages::Segment(std::uint8_t marker, std::uint64_t dataOffset, std::span<const std::uint8_t> data) {
    const std::string_view text = Text(data);
    if (marker == 0xE2 && text.starts_with(std::string_view("MPF\0", 4))) ReadMpf(dataOffset + 4, data.subspan(4));
    if (marker == 0xE1 && text.starts_with(std::string_view("http://ns.adobe.com/xap/1.0/\0", 29))) ReadXmp(data.subspan(29));
}

void JpegAppendedImages::ReadMpf(std::uint64_t base, std::span<const std::uint8_t> tiff) {
    const ByteView view(tiff);
    if (!view.Has(0, 8)) return;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I' && tiff[2] == 0x2A && tiff[3] == 0;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M' && tiff[2] == 0 && tiff[3] == 0x2A;
    if (!little && !big) return;
    auto u16 = [&](std::uint64_t at) { return little ? view.Le16(at) : view.Be16(at); };
    auto u32 = [&](std::uint64_t at) { return little ? view.Le32(at) : view.Be32(at); };
    const auto ifd = u32(4);
    if (!ifd) return;
    const auto count = u16(*ifd);
    if (!count) return;
    for (std::uint64_t i = 0; i < *count; ++i) {
        const std::uint64_t entry = *ifd + 2 + 12 * i;
        const auto tag = u16(entry);
        const auto n = u32(entry + 4);
        const auto value = u32(entry + 8);
        if (!tag || !n || !value) return;
        if (*tag != kMpEntryTag) continue;
        const std::uint64_t images = std::min<std::uint64_t>(*n / kMpEntrySize, kMaxImages);
        for (std::uint64_t k = 1; k < images; ++k) {
            const std::uint64_t at = *value + k * kMpEntrySize;
            const auto size = u32(at + 4);
            const auto offset = u32(at + 8);
            if (!size || !offset) return;
            if (*offset == 0 || *size == 0) continue;
            mpfImages_.push_back({base + *offset, *size, false});
        }
        return;
    }
}

void JpegAppendedImages::ReadXmp(std::span<const std::uint8_t> bytes) {
    const std::string_view text = Text(bytes);
    if (const auto micro = Number(Attribute(text, "MicroVideoOffset")); micro && *micro > 0) microVideoLength_ = *micro;

    const std::size_t directory = text.find("Directory");
    if (directory == std::string_view::npos) return;
    // Each tag after the directory's start that names a Semantic or a Mime
    // is one item, in file order.
    bool first = true;
    std::size_t at = directory;
    while (directory_.size() < kMaxItems && (at = text.find('<', at)) != std::string_view::npos) {
        const std::size_t close = text.find('>', at);
        if (close == std::string_view::npos) break;
        const std::string_view tag = text.substr(at, close - at);
        at = close;
        if (tag.find("Directory") != std::string_view::npos && tag.starts_with("</")) break;
        const std::string_view semantic = Attribute(tag, "Semantic");
        const std::string_view mime = Attribute(tag, "Mime");
        if (semantic.empty() && mime.empty()) continue;
        const std::uint64_t padding = Number(Attribute(tag, "Padding")).value_or(0);
        if (first) {
            first = false;
            if (semantic == "Primary" || semantic.empty()) {
                primaryPadding_ = padding;
                continue;
            }
        }
        const auto length = Number(Attribute(tag, "Length"));
        if (!length || *length == 0) {
            directory_.clear();  // an item of unknown length: the rest cannot be placed
            return;
        }
        directory_.push_back({*length, padding, mime.starts_with("video/") || semantic == "MotionPhoto"});
    }
}

std::optional<std::uint64_t> JpegAppendedImages::FileEnd(std::uint64_t primaryEnd, std::span<const std::uint8_t> file,
                                                         bool* needMore) const {
    *needMore = false;
    std::optional<std::uint64_t> end;
    auto consider = [&](std::uint64_t start, std::uint64_t itemEnd, bool video) {
        if (start + 8 > file.size()) {  // its signature lies past the bytes given
            *needMore = true;
            return false;
        }
        if (video ? !VideoAt(file, start) : !JpegAt(file, start)) return false;
        if (itemEnd > file.size()) {
            *needMore = true;
            return false;
        }
        end = std::max(end.value_or(0), itemEnd);
        return true;
    };

    // The MPF index: every image where it says.
    for (const Item& image : mpfImages_) {
        if (image.start < primaryEnd || image.length > UINT64_MAX - image.start) continue;
        consider(image.start, image.start + image.length, false);
    }
    // The XMP directory: the items back to back after the primary.
    if (!directory_.empty()) {
        std::uint64_t cursor = primaryEnd + primaryPadding_;
        for (const Entry& item : directory_) {
            if (item.length > UINT64_MAX / 4 || cursor > UINT64_MAX / 4) return std::nullopt;
            if (!consider(cursor, cursor + item.length, item.video)) break;
            cursor += item.length + item.padding;
        }
    }
    // MicroVideo: the video right after the primary (or a little padding
    // later), its length as stated.
    if (microVideoLength_ > 0 && microVideoLength_ < UINT64_MAX / 4) {
        const std::uint64_t searchEnd = primaryEnd + kVideoSearch;
        for (std::uint64_t at = primaryEnd; at < searchEnd; ++at) {
            if (at + 8 > file.size()) {
                *needMore = true;
                break;
            }
            if (VideoAt(file, at)) {
                consider(at, at + microVideoLength_, true);
                break;
            }
        }
    }
    if (*needMore) return std::nullopt;
    return end;
}

}  // namespace qb::cdr

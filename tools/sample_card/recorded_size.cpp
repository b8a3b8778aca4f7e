// Each rule below reads the sample the way the carving rule of its type
// does and answers only where that reading is plain: a sample that would
// make the rule guess (a truncated structure, a footer inside the data) is
// not delimited, and the card takes another variant of it.
//
// Fields read (little-endian unless marked big-endian):
//   OLE header    30 2 sector shift (9)     32 2 mini sector shift (6)
//                 44 4 FAT sectors          48 4 first directory sector
//                 56 4 mini-stream cutoff   60 4 first mini-FAT sector
//                 64 4 mini-FAT sectors     68 4 first DIFAT sector
//                 72 4 DIFAT sectors        76 436 first 109 FAT sector numbers
//   OLE entry     0 64 UTF-16 name          64 2 name length in bytes
//   (128 bytes)   66 1 object type (2 stream, 5 root)   120 4 stream size
//   ZIP local     6 2 flags   18 4 packed size   26 2 name length   28 2 extra length
//   ZIP end       20 2 comment length (22-byte record, 50 4B 05 06)
//   RAR block     2 1 type (73 archive, 74 file, 7B end)   5 2 header size
//                 7 4 packed size (file blocks)
//   PE            DOS 60 2 PE header position; PE+6 2 sections; PE+22 2
//                 characteristics; section entries of 40 bytes from PE+248,
//                 raw size at 16 and raw offset at 20
//   PNG chunk     0 4 length (big-endian)   4 4 type
//   QuickTime     0 4 atom size (big-endian)   4 4 type
#include "tools/sample_card/recorded_size.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "tools/sample_card/card_signatures.h"

namespace qb::tools {
namespace {

constexpr std::uint64_t kMiB = 1048576;

class Bytes {
public:
    explicit Bytes(std::span<const std::uint8_t> b) : b_(b) {}
    std::uint64_t size() const { return b_.size(); }
    std::span<const std::uint8_t> span() const { return b_; }
    bool Has(std::uint64_t at, std::uint64_t n) const { return at <= b_.size() && b_.size() - at >= n; }
    std::uint8_t U8(std::uint64_t at) const { return Has(at, 1) ? b_[at] : 0; }
    std::uint32_t Le(std::uint64_t at, int width) const {
        std::uint32_t v = 0;
        for (int i = width - 1; i >= 0; --i) v = (v << 8) | U8(at + static_cast<std::uint64_t>(i));
        return v;
    }
    std::uint32_t Be(std::uint64_t at, int width) const {
        std::uint32_t v = 0;
        for (int i = 0; i < width; ++i) v = (v << 8) | U8(at + static_cast<std::uint64_t>(i));
        return v;
    }
    bool Text(std::uint64_t at, std::string_view t) const {
        return Has(at, t.size()) && std::memcmp(b_.data() + at, t.data(), t.size()) == 0;
    }
    // First position >= from where `t` starts and ends before `limit`.
    std::optional<std::uint64_t> Find(std::string_view t, std::uint64_t from, std::uint64_t limit,
                                      bool ignoreCase = false) const {
        limit = std::min<std::uint64_t>(limit, b_.size());
        if (t.empty() || from > limit || limit - from < t.size()) return std::nullopt;
        for (std::uint64_t i = from; i + t.size() <= limit; ++i) {
            bool same = true;
            for (std::size_t k = 0; k < t.size() && same; ++k) {
                const auto a = static_cast<unsigned char>(b_[i + k]);
                const auto c = static_cast<unsigned char>(t[k]);
                same = a == c || (ignoreCase && std::tolower(a) == std::tolower(c) && std::isalpha(a));
            }
            if (same) return i;
        }
        return std::nullopt;
    }

private:
    std::span<const std::uint8_t> b_;
};

std::optional<RecordedFile> Whole(std::uint64_t size, const Bytes& b, std::string suffix) {
    if (size == 0 || size > b.size()) return std::nullopt;
    return RecordedFile {size, std::move(suffix)};
}

// JPEG: SOI, an APP0 or APP1 segment, quantisation and Huffman tables before
// the scan; the file ends at the first FF D9 after the scan header. The scan
// data must not begin with FF, or the segment walk would read on into it.
std::optional<RecordedFile> Jpeg(const Bytes& b) {
    if (b.size() < 128 || (b.U8(3) != 0xDB && (b.U8(3) & 0xF0) != 0xE0)) return std::nullopt;
    bool quantisation = false;
    bool huffman = false;
    std::uint64_t at = 2;
    for (int segments = 0; segments < 1000; ++segments) {
        if (b.U8(at) != 0xFF) return std::nullopt;
        if (b.U8(at + 1) == 0xFF) {  // one fill byte before the marker code
            ++at;
            if (b.U8(at + 1) == 0xFF) return std::nullopt;
        }
        const std::uint8_t code = b.U8(at + 1);
        const std::uint32_t length = b.Be(at + 2, 2);
        if (length < 2 || !b.Has(at + 2, length)) return std::nullopt;
        if (code == 0xDB) quantisation = true;
        if (code == 0xC4) huffman = true;
        at += 2 + length;
        if (code == 0xDA) {
            if (!quantisation || !huffman || b.U8(at) == 0xFF) return std::nullopt;
            const auto end = b.Find("\xFF\xD9", at - 2, b.size());
            if (!end) return std::nullopt;
            // A motion photo or an Ultra HDR photo: its metadata names what
            // follows the primary image, and the sample is that whole file.
            const std::uint64_t primary = *end + 2;
            const bool indexed = b.Find("Container:Directory", 2, primary) || b.Find("MicroVideoOffset", 2, primary) ||
                                 b.Find(std::string_view("MPF\0", 4), 2, primary);
            if (indexed && primary < b.size() && (b.Text(primary, "\xFF\xD8\xFF") || b.Text(primary + 4, "ftyp")))
                return Whole(b.size(), b, "jpg");
            return Whole(primary, b, "jpg");
        }
    }
    return std::nullopt;
}

// GIF87a or GIF89a; the file ends at the trailer its blocks lead to.
std::optional<RecordedFile> Gif(const Bytes& b) {
    if (!b.Text(4, "7a") && !b.Text(4, "9a")) return std::nullopt;
    auto table = [](std::uint8_t flags) -> std::uint64_t { return (flags & 0x80) ? 3ull << ((flags & 7) + 1) : 0; };
    std::uint64_t at = 13 + table(b.U8(10));
    for (int blocks = 0; blocks < 100000 && b.Has(at, 1); ++blocks) {
        const std::uint8_t introducer = b.U8(at);
        if (introducer == 0x3B) return Whole(at + 1, b, "gif");
        if (introducer == 0x21) {
            at += 2;
        } else if (introducer == 0x2C) {
            at += 10 + table(b.U8(at + 9)) + 1;
        } else {
            return std::nullopt;
        }
        while (b.Has(at, 1) && b.U8(at) != 0) at += 1 + b.U8(at);
        at += 1;
    }
    return std::nullopt;
}

// BMP: the file header states the size; the info header must look sane.
std::optional<RecordedFile> Bmp(const Bytes& b) {
    const std::uint32_t size = b.Le(2, 4);
    const auto width = static_cast<std::int32_t>(b.Le(18, 4));
    const auto height = static_cast<std::int32_t>(b.Le(22, 4));
    const std::uint32_t info = b.Le(14, 4);
    if (b.size() < 100 || size <= 100 || size > 2 * kMiB || info < 1 || info > 1000 || width <= 0 || height < 1 ||
        height > 2000)
        return std::nullopt;
    return Whole(size, b, "bmp");
}

// ASF: the file-properties object states the file size (its low 32 bits).
std::optional<RecordedFile> Asf(const Bytes& b) {
    if (b.size() < 70 || b.Le(16, 4) == 0 || static_cast<std::int32_t>(b.Le(24, 4)) <= 0 || b.U8(28) != 1)
        return std::nullopt;
    const auto properties = b.Find("\xA1\xDC\xAB\x8C\x47\xA9", 30, b.size());
    if (!properties) return std::nullopt;
    return Whole(b.Le(*properties + 40, 4), b, "wmv");
}

// QuickTime: top-level atoms from the first; the walk steps over the types
// it knows and ends before any other; a movie without "mdat" is not taken.
// The sample's last atom is followed on the card by at least 8 zero bytes,
// which end the walk.
std::optional<RecordedFile> QuickTime(const Bytes& b) {
    if (!b.Text(4, "moov")) return std::nullopt;
    std::uint64_t cursor = 0;
    bool mediaData = false;
    for (int atoms = 0; atoms < 100000; ++atoms) {
        const std::uint32_t size = b.Be(cursor, 4);
        if (size == 0 || !b.Has(cursor, size)) return std::nullopt;
        cursor += size;
        if (!b.Has(cursor, 8)) break;
        const bool known = b.Text(cursor + 4, "free") || b.Text(cursor + 4, "mdat") || b.Text(cursor + 4, "wide") ||
                           b.Text(cursor + 4, "PICT") || b.Text(cursor + 4, "trak") || b.Text(cursor + 4, "moov") ||
                           b.Text(cursor + 4, "mp3");
        if (b.Text(cursor + 4, "mdat")) mediaData = true;
        if (!known) break;
    }
    if (!mediaData) return std::nullopt;
    return Whole(cursor, b, "mov");
}

// RIFF: the chunk size plus 8; the form gives the extension.
std::optional<RecordedFile> Riff(const Bytes& b) {
    std::string suffix;
    if (b.Text(8, "AVI") && b.Text(12, "LIST"))
        suffix = "avi";
    else if (b.Text(8, "WAVE"))
        suffix = "wav";
    else
        return std::nullopt;
    const std::uint32_t chunk = b.Le(4, 4);
    if (chunk < 1) return std::nullopt;
    return Whole(std::uint64_t {chunk} + 8, b, suffix);
}

// HTML: plain text after "<html" (or "<!DOCTYPE html"); the page ends
// after its first "</html>".
std::optional<RecordedFile> Html(const Bytes& b) {
    const std::uint64_t header = b.U8(1) == '!' ? 14 : 5;
    if (!b.Has(0, header + 16)) return std::nullopt;
    for (std::uint64_t i = header; i < header + 16; ++i) {
        const std::uint8_t c = b.U8(i);
        if (!((c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r')) return std::nullopt;
    }
    const auto footer = b.Find("</html>", header, b.size(), true);
    if (!footer) return std::nullopt;
    return Whole(*footer + 7, b, "htm");
}

// OLE compound file: the size the carving rule computes from the header,
// the FAT sectors it reads and the directory (see the walk below). It may
// exceed the file's bytes; the card then pads the sample with zero sectors.
std::optional<RecordedFile> Ole(const Bytes& b) {
    const bool large = b.Le(30, 2) == 12 && b.Le(26, 2) == 4;  // version 4: 4096-byte sectors
    if ((b.Le(30, 2) != 9 && !large) || b.Le(32, 2) != 6 || b.Le(34, 2) != 0 || b.Le(36, 4) != 0 ||
        (!large && b.Le(40, 4) != 0))
        return std::nullopt;
    const std::uint64_t S = large ? 4096 : 512;
    const std::uint64_t perSector = S / 4;
    const std::uint32_t fatCount = b.Le(44, 4);
    const std::uint32_t difatCount = b.Le(72, 4);
    if (fatCount < 1 || fatCount > 100 || difatCount > 100) return std::nullopt;
    auto sectorAt = [&](std::uint64_t sector) { return (sector + 1) * S; };
    auto readable = [&](std::int64_t sector) { return sector >= 0 && b.Has(sectorAt(static_cast<std::uint64_t>(sector)), S); };

    std::int64_t highest = -1;
    std::vector<std::int64_t> fat;
    for (std::uint64_t i = 0; i < 109; ++i) fat.push_back(static_cast<std::int32_t>(b.Le(76 + 4 * i, 4)));
    std::int64_t difat = static_cast<std::int32_t>(b.Le(68, 4));
    for (std::uint32_t d = 0; d < difatCount; ++d) {
        if (!readable(difat)) return std::nullopt;
        highest = std::max(highest, difat);
        const std::uint64_t at = sectorAt(static_cast<std::uint64_t>(difat));
        for (std::uint64_t i = 0; i + 1 < perSector; ++i) fat.push_back(static_cast<std::int32_t>(b.Le(at + 4 * i, 4)));
        difat = static_cast<std::int32_t>(b.Le(at + S - 4, 4));
    }

    // The directory chain: the FAT sector holding each sector's entry gives
    // the next; the walk ends at the end-of-chain mark, at a sector that is
    // its own successor, or before a sector that is not full of entries.
    const std::int64_t firstDirectory = static_cast<std::int32_t>(b.Le(48, 4));
    if (firstDirectory < 0 || !readable(firstDirectory)) return std::nullopt;
    std::vector<std::int64_t> walked {firstDirectory};
    highest = std::max(highest, firstDirectory);
    std::int64_t current = firstDirectory;
    for (int steps = 0;; ++steps) {
        if (steps > 300) return std::nullopt;
        const std::uint64_t index = static_cast<std::uint64_t>(current) / perSector;
        if (index >= fat.size() || !readable(fat[index])) return std::nullopt;
        highest = std::max(highest, fat[index]);
        const std::int64_t next = static_cast<std::int32_t>(
            b.Le(sectorAt(static_cast<std::uint64_t>(fat[index])) + (static_cast<std::uint64_t>(current) % perSector) * 4, 4));
        if (next == -2 || next == current) break;
        if (next < 0 || !readable(next) || b.U8(sectorAt(static_cast<std::uint64_t>(next))) == 0) return std::nullopt;
        walked.push_back(next);
        highest = std::max(highest, next);
        bool full = true;
        for (std::uint64_t e = 0; e < S / 128; ++e)
            if (b.U8(sectorAt(static_cast<std::uint64_t>(next)) + e * 128 + 66) == 0) full = false;
        if (!full) break;
        current = next;
    }

    struct Entry {
        std::string name;
        std::uint8_t type;
        std::uint32_t size;
    };
    std::vector<Entry> entries;
    for (std::int64_t sector : walked) {
        for (std::uint64_t e = 0; e < S / 128; ++e) {
            const std::uint64_t at = sectorAt(static_cast<std::uint64_t>(sector)) + e * 128;
            const std::uint8_t type = b.U8(at + 66);
            if (type == 0) break;
            const std::uint32_t nameLength = b.Le(at + 64, 2);
            if (nameLength < 1 || nameLength > 64) return std::nullopt;
            std::string name;
            for (std::uint64_t i = 0; i < nameLength; ++i) {
                const std::uint8_t c = b.U8(at + i);
                if (c >= 0x20 && c < 0x7F) name.push_back(static_cast<char>(c));
            }
            const auto punctuation = std::count_if(name.begin(), name.end(), [](char c) {
                return std::ispunct(static_cast<unsigned char>(c)) != 0;
            });
            if (punctuation > 3 || name.find("Catalog") != std::string::npos || name.starts_with('@'))
                return std::nullopt;
            entries.push_back({name, type, b.Le(at + 120, 4)});
        }
    }
    if (entries.size() > 500) return std::nullopt;

    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"WordDocument", "doc"}, {"Worksheet", "xls"}, {"Book", "xls"},         {"Workbook", "xls"},
        {"Power", "ppt"},        {"Access", "mbd"},    {"AccessObjSiteData", "mbd"}, {"Visio", "vis"},
        {"Sfx", "sdw"}};
    const std::uint32_t cutoff = b.Le(56, 4);
    std::uint64_t size = 0;
    std::string suffix;
    for (const Entry& e : entries) {
        if (e.type != 2) continue;
        size += e.size > cutoff ? (std::uint64_t {e.size} + S - 1) / S * S : (std::uint64_t {e.size} + 63) / 64 * 64;
        for (const auto& [part, extension] : kNames) {
            if (suffix.empty() && e.name.find(part) != std::string::npos) suffix = extension;
        }
    }
    if (suffix.empty()) suffix = "ole";
    size += 2 * S + (entries.size() * 128 + S - 1) / S * S + std::uint64_t {fatCount} * S +
            (std::uint64_t {b.Le(64, 4)} * (large ? S : 64) + S - 1) / S * S;
    const std::int64_t firstMiniFat = static_cast<std::int32_t>(b.Le(60, 4));
    const std::int64_t n = highest + 6 > firstMiniFat ? highest + 6 : firstMiniFat;
    if (n > 0) size = std::max<std::uint64_t>(size, static_cast<std::uint64_t>(n) * S);
    size = (size + S - 1) / S * S;
    return RecordedFile {size, suffix};
}

// ZIP: local headers walked by their sizes (up to an entry whose sizes
// follow its data), then the end record whose central directory lies right
// before it, and its comment. The mimetype entry or the names in the
// central directory decide the suffix.
std::optional<RecordedFile> Zip(const Bytes& b) {
    if (b.size() < 100) return std::nullopt;
    std::string suffix;
    bool office = false;
    if (b.Text(30, "mimetypeapplication/vnd.sun.xml.")) {
        office = true;
        suffix = b.Text(62, "calc") ? "sxc" : b.Text(62, "impress") ? "sxi" : b.Text(62, "writer") ? "sxw" : "sx";
    } else if (b.Text(30, "mimetypeapplication/epub+zip")) {
        suffix = "epub";
    } else if (b.Text(30, "mimetypeapplication/vnd.oasis.opendocument.")) {
        suffix = b.Text(73, "text") ? "odt" : b.Text(73, "spreadsheet") ? "ods" : b.Text(73, "presentation") ? "odp"
                                                                                                               : "odf";
    }
    std::uint64_t cursor = 0;
    for (int entries = 0; b.Text(cursor + 2, "\x03\x04"); ++entries) {
        if (entries > 100000) return std::nullopt;
        const std::uint32_t flags = b.Le(cursor + 6, 2);
        const std::uint32_t packed = b.Le(cursor + 18, 4);
        const std::uint32_t unpacked = b.Le(cursor + 22, 4);
        const std::uint32_t nameLength = b.Le(cursor + 26, 2);
        const std::uint32_t extraLength = b.Le(cursor + 28, 2);
        if (packed > 100 * kMiB || nameLength > 4096) return std::nullopt;
        const std::uint64_t next = cursor + 30 + nameLength + extraLength + packed;
        if (next > b.size()) return std::nullopt;
        cursor = next;
        if ((flags & 8) != 0 && packed == 0 && unpacked == 0) break;
    }
    const std::uint64_t limit = office ? std::min<std::uint64_t>(b.size(), cursor + kMiB) : b.size();
    std::optional<std::uint64_t> record;
    for (std::uint64_t from = std::max<std::uint64_t>(cursor, 1); from < limit;) {
        const auto footer = b.Find(std::string_view("\x4B\x05\x06\x00", 4), from, limit);
        if (!footer || !b.Has(*footer, 21)) break;
        const std::uint64_t at = *footer - 1;
        if (std::uint64_t {b.Le(at + 16, 4)} + b.Le(at + 12, 4) == at) {
            record = at;
            break;
        }
        from = *footer + 1;
    }
    if (!record) return std::nullopt;
    if (suffix.empty()) {
        // The central directory's names, in order.
        bool android = false, types = false, word = false, excel = false, slides = false;
        std::string described;
        std::uint64_t at = b.Le(*record + 16, 4);
        for (std::uint32_t n = 0; n < b.Le(*record + 10, 2) && b.Text(at, "PK\x01\x02"); ++n) {
            const std::uint32_t nameLength = b.Le(at + 28, 2);
            std::string name;
            for (std::uint64_t i = 0; i < nameLength; ++i) name.push_back(static_cast<char>(b.U8(at + 46 + i)));
            if (described.empty()) {
                if (name == "content.xml") described = "sx";
                else if (name.find(".class") != std::string::npos || name.find(".jar") != std::string::npos ||
                         name.find(".java") != std::string::npos)
                    described = "jar";
            }
            android = android || name == "AndroidManifest.xml";
            types = types || name == "[Content_Types].xml";
            word = word || name.starts_with("word/");
            excel = excel || name.starts_with("xl/");
            slides = slides || name.starts_with("ppt/");
            at += 46 + nameLength + b.Le(at + 30, 2) + b.Le(at + 32, 2);
        }
        suffix = android                ? "apk"
                 : types && word        ? "docx"
                 : types && excel       ? "xlsx"
                 : types && slides      ? "pptx"
                 : !described.empty()   ? described
                                        : "zip";
    }
    return Whole(*record + 22 + b.Le(*record + 20, 2), b, suffix);
}

// RAR 1.5-4.x: marker block, archive header, file headers walked by header
// and packed sizes, then the 7-byte end-of-archive block. RAR 5: blocks of
// CRC, a vint header size, the header (type, flags, extra and data sizes)
// and the data, to the end-of-archive block (type 5).
std::optional<RecordedFile> Rar(const Bytes& b) {
    if (b.Text(0, "Rar!\x1A\x07\x01")) {
        auto vint = [&](std::uint64_t& at) {
            std::uint64_t v = 0;
            for (int i = 0; i < 10; ++i) {
                const std::uint8_t c = b.U8(at++);
                v |= std::uint64_t {c & 0x7Fu} << (7 * i);
                if (!(c & 0x80)) break;
            }
            return v;
        };
        std::uint64_t block = 8;
        for (int n = 0; n < 100000 && b.Has(block, 7); ++n) {
            std::uint64_t at = block + 4;
            const std::uint64_t size = vint(at);
            const std::uint64_t headerEnd = at + size;
            const std::uint64_t type = vint(at);
            const std::uint64_t flags = vint(at);
            if (flags & 1) vint(at);
            const std::uint64_t data = (flags & 2) ? vint(at) : 0;
            block = headerEnd + data;
            if (type == 5) return Whole(block, b, "rar");
        }
        return std::nullopt;
    }
    std::uint64_t at = b.Le(5, 2);
    if (at == 0 || b.U8(at + 2) != 0x73) return std::nullopt;
    const std::uint32_t archiveHeader = b.Le(at + 5, 2);
    if (archiveHeader == 0) return std::nullopt;
    at += archiveHeader;
    if (b.U8(at + 2) != 0x74) return std::nullopt;
    while (b.Has(at, 11) && b.U8(at + 2) == 0x74) {
        const std::uint32_t header = b.Le(at + 5, 2);
        const std::uint64_t next = at + header + b.Le(at + 7, 4);
        if (header == 0 || next > b.size()) return std::nullopt;
        at = next;
    }
    if (b.U8(at + 2) != 0x7B) return std::nullopt;
    return Whole(at + 7, b, "rar");
}

// PE: the furthest raw data of any section, or the end of the symbol and
// string tables after them; the library flag picks "dll". The section
// table follows the optional header, PE32 or PE32+.
std::optional<RecordedFile> Pe(const Bytes& b) {
    const std::uint32_t pe = b.Le(60, 2);
    if (b.size() < 100 || pe == 0 || pe > 1000 || !b.Text(pe, "PE")) return std::nullopt;
    const std::uint32_t sections = b.Le(pe + 6, 2);
    const std::uint32_t optional = b.Le(pe + 20, 2);
    const std::uint32_t magic = b.Le(pe + 24, 2);
    const std::uint64_t table = (magic == 0x10B && optional >= 96) || (magic == 0x20B && optional >= 112)
                                    ? pe + 24 + optional
                                    : pe + 248;
    if (sections == 0 || !b.Has(table, std::uint64_t {sections} * 40)) return std::nullopt;
    const std::uint32_t characteristics = b.Le(pe + 22, 2);
    std::string suffix;
    if (characteristics & 0x2000)
        suffix = "dll";
    else if (characteristics & 0x1002)
        suffix = "exe";
    else
        return std::nullopt;
    std::uint64_t size = 0;
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t raw = b.Le(table + i * 40 + 16, 4);
        if (raw > 0) size = std::max<std::uint64_t>(size, b.Le(table + i * 40 + 20, 4) + raw);
    }
    if (size < 512 || size > 4 * kMiB) return std::nullopt;
    const std::uint64_t symbols = b.Le(pe + 12, 4);
    const std::uint64_t count = b.Le(pe + 16, 4);
    if (symbols >= size && count > 0) size = std::max<std::uint64_t>(size, symbols + count * 18 + b.Le(symbols + count * 18, 4));
    return Whole(size, b, suffix);
}

// PNG: chunks walked by their lengths up to and including IEND.
std::optional<RecordedFile> Png(const Bytes& b) {
    const std::uint32_t width = b.Be(16, 4);
    const std::uint32_t height = b.Be(20, 4);
    if (b.size() < 100 || width < 1 || width > 16384 || height < 1 || height > 16384) return std::nullopt;
    std::uint64_t chunk = 8;
    while (true) {
        const std::uint32_t length = b.Be(chunk, 4);
        if (static_cast<std::int32_t>(length) <= 0) return std::nullopt;
        const std::uint64_t next = chunk + length + 12;
        if (!b.Has(next, 8)) return std::nullopt;
        const std::uint8_t first = b.U8(next + 4);
        if (first < 0x20 || first >= 0x7F) return std::nullopt;
        if (b.Text(next + 4, "IEND")) return Whole(next + b.Be(next, 4) + 12, b, "png");
        chunk = next;
    }
}

// MPEG program stream: a system header in the first pack, then packs of
// packets, then the end code; without it, the stream ends after its last
// pack's packets once four packs with packets have gone by.
std::optional<RecordedFile> Mpeg(const Bytes& b) {
    const bool mpeg2 = (b.U8(4) & 0xC0) == 0x40;
    if (b.U8(15) != 0xBB && !(mpeg2 && b.Text(14 + (b.U8(13) & 7), std::string_view("\0\0\x01\xBB", 4))))
        return std::nullopt;
    std::uint64_t at = 0;
    int packs = 0;
    bool packets = false;
    while (b.Has(at, 4) && b.Text(at, std::string_view("\0\0\x01", 3))) {
        const std::uint8_t id = b.U8(at + 3);
        if (id == 0xB9) {
            if (at + 4 <= 1023) return std::nullopt;
            return Whole(at + 4, b, "mpg");
        }
        if (id == 0xBA) {
            if (packets) ++packs;
            packets = false;
            at += (b.U8(at + 4) & 0xC0) == 0x40 ? 14 + (b.U8(at + 13) & 7) : 12;
        } else if (id >= 0xBB && id <= 0xEF) {
            const std::uint32_t length = b.Be(at + 4, 2);
            if (length == 0) return std::nullopt;
            at += 6 + std::uint64_t {length};
            packets = true;
        } else {
            return std::nullopt;
        }
    }
    if (at == b.size() && packets && packs + 1 >= 4 && at > 1023) return Whole(at, b, "mpg");
    return std::nullopt;
}

// PDF: "obj" near the header; a linearised file ends where its declared
// length says (its "%%EOF" just before), any other at its first "%%EOF";
// then each incremental update that follows (an object, "xref" or
// "trailer" after the "%%EOF" line) runs on to its own "%%EOF". The file
// ends with the line end after the last one.
std::optional<RecordedFile> Pdf(const Bytes& b) {
    constexpr std::uint64_t kHeader = 7;
    if (b.size() < kHeader + 512) return std::nullopt;
    if (!b.Find("obj", kHeader, kHeader + 100)) return std::nullopt;
    std::optional<std::uint64_t> footer;
    const auto linearized = b.Find("/Linearized", kHeader, kHeader + 512);
    const auto l = linearized ? b.Find("/L ", *linearized + 11, *linearized + 11 + 512) : std::nullopt;
    if (l) {
        std::uint64_t declared = 0;
        for (std::uint64_t i = 0; i < 8; ++i) {
            const std::uint8_t c = b.U8(*l + 3 + i);
            if (c < '0' || c > '9') break;
            declared = declared * 10 + (c - '0');
        }
        if (declared < 15 || declared > b.size()) return std::nullopt;
        footer = b.Find("%%EOF", declared - 15, declared - 1);
    } else {
        footer = b.Find("%%EOF", kHeader, b.size());
    }
    if (!footer) return std::nullopt;
    auto lineEnd = [&](std::uint64_t at) -> std::uint64_t {
        if (b.U8(at) == '\r') return b.U8(at + 1) == '\n' ? 2 : 1;
        return b.U8(at) == '\n' ? 1 : 0;
    };
    std::uint64_t end = *footer + 5;
    end += lineEnd(end);
    for (int updates = 0; updates < 1000; ++updates) {
        std::uint64_t at = end;
        while (at < b.size() && std::isspace(b.U8(at)) && b.U8(at) != '\v') ++at;
        const bool update = b.Text(at, "xref") || b.Text(at, "trailer") ||
                            (std::isdigit(b.U8(at)) && b.Find(" obj", at, std::min<std::uint64_t>(b.size(), at + 20)));
        if (!update) break;
        const auto next = b.Find("%%EOF", at, b.size());
        if (!next || b.Find("%PDF-", at, *next)) break;
        end = *next + 5;
        end += lineEnd(end);
    }
    return Whole(end, b, "pdf");
}

// ISO media: "ftyp", then top-level boxes of the known types, by their
// sizes; a movie needs "moov" and "mdat", a picture "meta". The brand
// names the file.
std::optional<RecordedFile> IsoMedia(const Bytes& b) {
    const std::uint32_t ftyp = b.Be(0, 4);
    if (!b.Text(4, "ftyp") || ftyp < 16 || ftyp > 4096 || ftyp % 4 != 0) return std::nullopt;
    static constexpr std::string_view kKnown[] = {"moov", "mdat", "free", "skip", "wide", "meta", "uuid", "pdin", "moof",
                                                  "mfra", "styp", "sidx", "ssix", "prft", "emsg", "udta", "PICT", "pnot",
                                                  "junk", "Xtra"};
    std::uint64_t at = ftyp;
    bool movie = false, media = false, items = false;
    while (b.Has(at, 8)) {
        const std::string type(reinterpret_cast<const char*>(&b.span()[at + 4]), 4);
        if (std::find(std::begin(kKnown), std::end(kKnown), type) == std::end(kKnown)) break;
        std::uint64_t size = b.Be(at, 4);
        if (size == 1) size = (std::uint64_t {b.Be(at + 8, 4)} << 32) | b.Be(at + 12, 4);
        if (size < 8 || !b.Has(at, size)) return std::nullopt;
        movie = movie || type == "moov" || type == "moof";
        media = media || type == "mdat";
        items = items || type == "meta";
        at += size;
    }
    if (!((movie && media) || items)) return std::nullopt;
    const std::string brand(reinterpret_cast<const char*>(&b.span()[8]), 4);
    std::string suffix = "mp4";
    if (brand == "heic" || brand == "heix") suffix = "heic";
    else if (brand == "mif1") suffix = b.Find("heic", 16, ftyp) ? "heic" : b.Find("avif", 16, ftyp) ? "avif" : "heif";
    else if (brand == "avif") suffix = "avif";
    else if (brand == "qt  ") suffix = "mov";
    else if (brand == "M4A ") suffix = "m4a";
    else if (brand.starts_with("3g")) suffix = brand == "3g2a" ? "3g2" : "3gp";
    return Whole(at, b, suffix);
}

// WebP: the RIFF length, over chunks that tile it exactly.
std::optional<RecordedFile> Webp(const Bytes& b) {
    if (!b.Text(8, "WEBP")) return std::nullopt;
    const std::uint64_t length = std::uint64_t {b.Le(4, 4)} + 8;
    if (!b.Text(12, "VP8 ") && !b.Text(12, "VP8L") && !b.Text(12, "VP8X")) return std::nullopt;
    std::uint64_t at = 12;
    while (at + 8 <= length) at += 8 + b.Le(at + 4, 4) + (b.Le(at + 4, 4) & 1);
    if (at != length) return std::nullopt;
    return Whole(length, b, "webp");
}

// MP3: the ID3v2 tag, then MPEG-1 layer III frames of one sample rate,
// then an ID3v1 tag.
std::optional<RecordedFile> Mp3(const Bytes& b) {
    std::uint64_t at = 0;
    const bool tagged = b.Text(0, "ID3");
    if (tagged) {
        std::uint64_t size = 0;
        for (std::uint64_t i = 6; i < 10; ++i) size = (size << 7) | (b.U8(i) & 0x7F);
        at = 10 + size;
    }
    int frames = 0;
    while (b.Has(at, 4) && b.U8(at) == 0xFF && b.U8(at + 1) == 0xFB) {
        static constexpr int kRates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
        const int rate = kRates[b.U8(at + 2) >> 4];
        if (rate == 0 || (b.U8(at + 2) & 0x0C) != 0) break;
        const std::uint64_t length = 144 * 1000 * std::uint64_t(rate) / 44100 + ((b.U8(at + 2) >> 1) & 1);
        if (!b.Has(at, length)) return std::nullopt;
        at += length;
        ++frames;
    }
    if (frames < (tagged ? 2 : 8)) return std::nullopt;
    if (b.Text(at, "TAG") && b.Has(at, 128)) at += 128;
    return Whole(at, b, "mp3");
}

// Ogg: pages walked by their lacing, up to the end-of-stream page.
std::optional<RecordedFile> Ogg(const Bytes& b) {
    std::uint64_t at = 0;
    int pages = 0;
    while (b.Text(at, "OggS")) {
        const std::uint64_t segments = b.U8(at + 26);
        std::uint64_t length = 27 + segments;
        for (std::uint64_t i = 0; i < segments; ++i) length += b.U8(at + 27 + i);
        if (!b.Has(at, length)) return std::nullopt;
        const bool last = (b.U8(at + 5) & 0x04) != 0;
        at += length;
        ++pages;
        if (last) break;
    }
    if (pages < 2) return std::nullopt;
    return Whole(at, b, b.Text(28, "OpusHead") ? "opus" : "ogg");
}

// SQLite: page size times the page count, when the header vouches for it.
std::optional<RecordedFile> Sqlite(const Bytes& b) {
    const std::uint32_t field = b.Be(16, 2);
    const std::uint64_t page = field == 1 ? 65536 : field;
    if (page < 512 || (page & (page - 1)) != 0 || b.U8(21) != 64 || b.Be(92, 4) != b.Be(24, 4)) return std::nullopt;
    return Whole(page * b.Be(28, 4), b, "db");
}

// AMR: the magic line and frames of one speech mode, comfort noise and
// no-data frames.
std::optional<RecordedFile> Amr(const Bytes& b) {
    const bool wide = b.Text(0, "#!AMR-WB\n");
    if (!wide && !b.Text(0, "#!AMR\n")) return std::nullopt;
    static constexpr int kNarrow[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, -1, -1, -1, -1, -1, -1, 0};
    static constexpr int kWide[16] = {17, 23, 32, 36, 40, 46, 50, 58, 60, 5, -1, -1, -1, -1, 0, 0};
    std::uint64_t at = wide ? 9 : 6;
    while (b.Has(at, 1)) {
        const std::uint8_t header = b.U8(at);
        const int size = (wide ? kWide : kNarrow)[(header >> 3) & 15];
        if ((header & 0x83) != 0 || (header & 4) == 0 || size < 0 || !b.Has(at, 1 + std::uint64_t(size))) break;
        at += 1 + std::uint64_t(size);
    }
    return Whole(at, b, "amr");
}

// FLAC: "fLaC" and STREAMINFO first; the frames run to the sample's end.
std::optional<RecordedFile> Flac(const Bytes& b) {
    if ((b.U8(4) & 0x7F) != 0 || b.Be(5, 3) != 34) return std::nullopt;
    return Whole(b.size(), b, "flac");
}

// Matroska: the EBML header and one Segment of known size (all of the
// sample when its size is unknown); the document type names the file.
std::optional<RecordedFile> Matroska(const Bytes& b) {
    const std::uint64_t header = 12 + ((std::uint64_t {b.Be(5, 4)} << 24) | b.Be(9, 3));
    const bool webm = b.Find("webm", 12, header).has_value();
    if (!webm && !b.Find("matroska", 12, header)) return std::nullopt;
    if (b.Be(header, 4) != 0x18538067) return std::nullopt;
    const std::uint64_t size = (std::uint64_t {b.Be(header + 5, 3)} << 32) | b.Be(header + 8, 4);
    const bool unknown = size == 0xFFFFFFFFFFFFFFull;
    return Whole(unknown ? b.size() : header + 12 + size, b, webm ? "webm" : "mkv");
}

}  // namespace

std::optional<RecordedFile> RecordedFileOf(std::string_view group, std::span<const std::uint8_t> bytes) {
    const Bytes b(bytes);
    if (group == "jpg") return Jpeg(b);
    if (group == "gif") return Gif(b);
    if (group == "bmp") return Bmp(b);
    if (group == "wmv") return Asf(b);
    if (group == "mov") return QuickTime(b);
    if (group == "rif") return Riff(b);
    if (group == "htm") return Html(b);
    if (group == "ole") return Ole(b);
    if (group == "zip") return Zip(b);
    if (group == "rar") return Rar(b);
    if (group == "exe") return Pe(b);
    if (group == "png") return Png(b);
    if (group == "mpg") return Mpeg(b);
    if (group == "pdf") return Pdf(b);
    if (group == "mp4") return IsoMedia(b);
    if (group == "webp") return Webp(b);
    if (group == "mp3") return Mp3(b);
    if (group == "ogg") return Ogg(b);
    if (group == "sqlite") return Sqlite(b);
    if (group == "amr") return Amr(b);
    if (group == "flac") return Flac(b);
    if (group == "mkv") return Matroska(b);
    return std::nullopt;
}

}  // namespace qb::tools

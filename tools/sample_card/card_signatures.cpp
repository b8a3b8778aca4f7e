#include "tools/sample_card/card_signatures.h"

#include <array>

namespace qb::tools {
namespace {

using namespace std::string_view_literals;

constexpr std::uint64_t kMiB = 1048576;

constexpr std::array<CardSignature, 25> kSignatures = {{
    {"jpg", "\xFF\xD8\xFF"sv, 64 * kMiB, false},
    {"gif", "GIF8"sv, 32 * kMiB, false},
    {"bmp", "BM"sv, 2 * kMiB, false},
    {"wmv", "\x30\x26\xB2\x75\x8E\x66\xCF\x11"sv, 40 * kMiB, false},
    {"mov", "moov"sv, 40 * kMiB, false},
    {"rif", "RIFF"sv, 20 * kMiB, false},
    {"htm", "<html"sv, 1 * kMiB, true},
    {"htm", "<!doctype html"sv, 1 * kMiB, true},
    {"ole", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0\0\0\0\0\0\0"sv, 5 * kMiB, false},
    {"zip", "\x50\x4B\x03\x04"sv, 100 * kMiB, false},
    {"rar", "\x52\x61\x72\x21\x1A\x07\x00"sv, 100 * kMiB, false},
    {"rar", "\x52\x61\x72\x21\x1A\x07\x01\x00"sv, 100 * kMiB, false},
    {"exe", "MZ"sv, 4 * kMiB, false},
    {"png", "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A"sv, 64 * kMiB, false},
    {"mpg", "\x00\x00\x01\xBA"sv, 50 * kMiB, false},
    {"pdf", "%PDF-1."sv, 40 * kMiB, false},
    {"mp4", "????ftyp"sv, 16384 * kMiB, false},
    {"webp", "RIFF????WEBP"sv, 32 * kMiB, false},
    {"mp3", "ID3"sv, 64 * kMiB, false},
    {"mp3", "\xFF"sv, 64 * kMiB, false},
    {"ogg", "OggS\x00\x02"sv, 64 * kMiB, false},
    {"sqlite", "SQLite format 3\0"sv, 4096 * kMiB, false},
    {"amr", "#!AMR"sv, 16 * kMiB, false},
    {"flac", "fLaC"sv, 100 * kMiB, false},
    {"mkv", "\x1A\x45\xDF\xA3"sv, 16384 * kMiB, false},
}};
static_assert(!kSignatures.back().group.empty(), "every signature slot is filled");

bool SameByte(std::uint8_t a, std::uint8_t b, bool ignoreCase) {
    if (a == b || b == '?') return true;
    if (!ignoreCase) return false;
    const bool aLetter = (a | 0x20) >= 'a' && (a | 0x20) <= 'z';
    return aLetter && (a | 0x20) == (b | 0x20);
}

bool Matches(const CardSignature& s, std::span<const std::uint8_t> bytes, std::size_t at) {
    if (s.header.empty() || at > bytes.size() || bytes.size() - at < s.header.size()) return false;
    for (std::size_t i = 0; i < s.header.size(); ++i)
        if (!SameByte(bytes[at + i], static_cast<std::uint8_t>(s.header[i]), s.ignoreCase)) return false;
    return true;
}

// Bounded little- and big-endian reads; out of range reads as nothing.
std::optional<std::uint32_t> Le(std::span<const std::uint8_t> b, std::size_t at, int width) {
    if (at > b.size() || b.size() - at < static_cast<std::size_t>(width)) return std::nullopt;
    std::uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}
std::optional<std::uint32_t> Be32(std::span<const std::uint8_t> b, std::size_t at) {
    if (at > b.size() || b.size() - at < 4) return std::nullopt;
    return (std::uint32_t {b[at]} << 24) | (std::uint32_t {b[at + 1]} << 16) | (std::uint32_t {b[at + 2]} << 8) |
           std::uint32_t {b[at + 3]};
}
bool TextAt(std::span<const std::uint8_t> b, std::size_t at, std::string_view text) {
    if (at > b.size() || b.size() - at < text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (b[at + i] != static_cast<std::uint8_t>(text[i])) return false;
    return true;
}

}  // namespace

std::span<const CardSignature> CardSignatures() { return kSignatures; }

const CardSignature* FindCardSignature(std::string_view group) {
    for (const CardSignature& s : kSignatures)
        if (s.group == group) return &s;
    return nullptr;
}

std::optional<std::string_view> HeaderGroupAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    for (const CardSignature& s : CardSignatures())
        if (Matches(s, bytes, at)) return s.group;
    return std::nullopt;
}

std::vector<std::string_view> HeaderGroupsAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::vector<std::string_view> groups;
    for (const CardSignature& s : CardSignatures())
        if (Matches(s, bytes, at) && (groups.empty() || groups.back() != s.group)) groups.push_back(s.group);
    return groups;
}

const CardSignature* SignatureAt(std::string_view group, std::span<const std::uint8_t> bytes, std::size_t at) {
    for (const CardSignature& s : CardSignatures())
        if (s.group == group && Matches(s, bytes, at)) return &s;
    return nullptr;
}

bool RejectedAtFirstCheck(std::string_view group, std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size()) return false;
    const std::span<const std::uint8_t> b = bytes.subspan(at);
    if (b.size() < 512) return false;
    if (group == "jpg") return b[3] != 0xDB && (b[3] & 0xF0) != 0xE0;
    if (group == "gif") return !TextAt(b, 4, "7a") && !TextAt(b, 4, "9a");
    if (group == "bmp") {
        const std::uint32_t size = *Le(b, 2, 4);
        const std::uint32_t info = *Le(b, 14, 4);
        const auto width = static_cast<std::int32_t>(*Le(b, 18, 4));
        const auto height = static_cast<std::int32_t>(*Le(b, 22, 4));
        return size <= 100 || size > 2 * kMiB || info < 1 || info > 1000 || width <= 0 || height < 1 ||
               height > 2000;
    }
    if (group == "rif") {
        if (TextAt(b, 8, "AVI")) return !TextAt(b, 12, "LIST");
        return !TextAt(b, 8, "WAVE");
    }
    if (group == "mpg") {
        if (b[15] == 0xBB) return false;
        if ((b[4] & 0xC0) != 0x40) return true;  // MPEG-2: the system header after the stuffing
        return !TextAt(b, 14 + (b[13] & 7), std::string_view("\0\0\x01\xBB", 4));
    }
    if (group == "png") {
        const std::uint32_t width = *Be32(b, 16);
        const std::uint32_t height = *Be32(b, 20);
        return width < 1 || width > 16384 || height < 1 || height > 16384;
    }
    if (group == "mp3") {
        if (TextAt(b, 0, "ID3")) return b[3] < 2 || b[3] > 4 || b[4] == 0xFF || ((b[6] | b[7] | b[8] | b[9]) & 0x80);
        // A file found at a frame must show eight frames in a row, of one
        // version, layer and sample rate.
        static constexpr int kRates[2][3][16] = {
            {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
             {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
             {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
            {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
             {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
             {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}}};
        std::size_t frame = 0;
        std::uint32_t first = 0;
        for (int frames = 0; frames < 8; ++frames) {
            const auto word = Be32(b, frame);
            if (!word) return false;  // past the bytes: not turned down here
            const std::uint32_t h = *word;
            const std::uint32_t version = (h >> 19) & 3, layer = (h >> 17) & 3, rate = (h >> 12) & 15,
                                sampling = (h >> 10) & 3;
            if ((h >> 21) != 0x7FF || version == 1 || layer == 0 || rate == 0 || rate == 15 || sampling == 3 ||
                (h & 3) == 2)
                return true;
            const std::uint32_t kind = h & 0x001E0C00;  // version, layer, sample rate
            if (frames == 0) first = kind;
            if (kind != first) return true;
            const int bitrate = kRates[version == 3 ? 1 : 0][3 - layer][rate] * 1000;
            int hz = 44100;
            if (sampling == 1) hz = 48000;
            if (sampling == 2) hz = 32000;
            if (version == 2) hz /= 2;
            if (version == 0) hz /= 4;
            const int padding = (h >> 9) & 1;
            const int l = 4 - static_cast<int>(layer);
            const int length = l == 1 ? (12 * bitrate / hz + padding) * 4
                               : (l == 3 && version != 3) ? 72 * bitrate / hz + padding
                                                          : 144 * bitrate / hz + padding;
            if (length < 4) return true;
            frame += static_cast<std::size_t>(length);
        }
        return false;
    }
    if (group == "mp4") {
        const std::uint32_t size = *Be32(b, 0);
        if (size < 16 || size > 4096 || size % 4 != 0) return true;
        for (std::size_t i = 8; i < 12; ++i)
            if (b[i] < 0x20 || b[i] > 0x7E) return true;
        return false;
    }
    if (group == "webp") {
        const std::uint32_t size = *Le(b, 4, 4);
        if (size < 16 || size % 2 != 0) return true;
        return !TextAt(b, 12, "VP8 ") && !TextAt(b, 12, "VP8L") && !TextAt(b, 12, "VP8X");
    }
    if (group == "sqlite") {
        const std::uint32_t page = *Le(b, 16, 1) << 8 | b[17];
        const std::uint32_t size = page == 1 ? 65536 : page;
        return size < 512 || size > 65536 || (size & (size - 1)) != 0 || b[21] != 64 || b[22] != 32 || b[23] != 32;
    }
    if (group == "amr") return !TextAt(b, 0, "#!AMR\n") && !TextAt(b, 0, "#!AMR-WB\n");
    if (group == "flac") return (b[4] & 0x7F) != 0 || b[5] != 0 || b[6] != 0 || b[7] != 34;
    if (group == "exe") {
        const std::uint32_t pe = *Le(b, 60, 2);
        if (pe == 0 || pe > 1000) return true;
        return !TextAt(b, pe, "PE");
    }
    if (group == "htm") {
        const std::size_t headerEnd = b[1] == '!' ? 14 : 5;
        for (std::size_t i = headerEnd; i < headerEnd + 16; ++i) {
            const std::uint8_t c = b[i];
            if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return true;
        }
        return false;
    }
    return false;
}

}  // namespace qb::tools

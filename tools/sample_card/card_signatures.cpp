#include "tools/sample_card/card_signatures.h"

#include <array>

namespace qb::tools {
namespace {

using namespace std::string_view_literals;

constexpr std::uint64_t kMiB = 1048576;

constexpr std::array<CardSignature, 14> kSignatures = {{
    {"jpg", "\xFF\xD8\xFF"sv, 20 * kMiB, false},
    {"gif", "GIF8"sv, 1 * kMiB, false},
    {"bmp", "BM"sv, 2 * kMiB, false},
    {"wmv", "\x30\x26\xB2\x75\x8E\x66\xCF\x11"sv, 40 * kMiB, false},
    {"mov", "moov"sv, 40 * kMiB, false},
    {"rif", "RIFF"sv, 20 * kMiB, false},
    {"htm", "<html"sv, 1 * kMiB, true},
    {"ole", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0\0\0\0\0\0\0"sv, 5 * kMiB, false},
    {"zip", "\x50\x4B\x03\x04"sv, 100 * kMiB, false},
    {"rar", "\x52\x61\x72\x21\x1A\x07\x00"sv, 100 * kMiB, false},
    {"exe", "MZ"sv, 1 * kMiB, false},
    {"png", "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A"sv, 1 * kMiB, false},
    {"mpg", "\x00\x00\x01\xBA"sv, 50 * kMiB, false},
    {"pdf", "%PDF-1."sv, 40 * kMiB, false},
}};

bool SameByte(std::uint8_t a, std::uint8_t b, bool ignoreCase) {
    if (a == b) return true;
    if (!ignoreCase) return false;
    const bool aLetter = (a | 0x20) >= 'a' && (a | 0x20) <= 'z';
    return aLetter && (a | 0x20) == (b | 0x20);
}

bool Matches(const CardSignature& s, std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < s.header.size()) return false;
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
    for (const CardSignature& s : kSignatures)
        if (Matches(s, bytes, at)) return s.group;
    return std::nullopt;
}

bool RejectedAtFirstCheck(std::string_view group, std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size()) return false;
    const std::span<const std::uint8_t> b = bytes.subspan(at);
    if (b.size() < 512) return false;
    if (group == "jpg") return b[3] != 0xE0 && b[3] != 0xE1;
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
    if (group == "mpg") return b[15] != 0xBB;
    if (group == "png") {
        const std::uint32_t width = *Be32(b, 16);
        const std::uint32_t height = *Be32(b, 20);
        return width < 1 || width > 3000 || height < 1 || height > 3000;
    }
    if (group == "exe") {
        const std::uint32_t pe = *Le(b, 60, 2);
        if (pe == 0 || pe > 1000) return true;
        return !TextAt(b, pe, "PE");
    }
    if (group == "htm") {
        for (std::size_t i = 5; i < 21; ++i) {
            const std::uint8_t c = b[i];
            if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return true;
        }
        return false;
    }
    return false;
}

}  // namespace qb::tools

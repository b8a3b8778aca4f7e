// QuickTime movie: the file is delimited by walking its top-level atoms. The
// header searched for is the first atom's type, so the file begins 4 bytes
// before it, with that atom's size.
//
// Atom (integers big-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       4     atom size, header included
//   4       4     type ("moov", "mdat", "free", "wide", "pnot", "PICT", ...)
//   8       ...   contents
//
// The file's top level: "moov" (movie resource), "mdat" (media data),
// "free"/"wide" (unused space), or for preview files "pnot" + "PICT" first.
//
// Positions below count from the file start (4 bytes before the header).
#include <array>
#include <optional>

#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {

constexpr std::int64_t kLeadIn = static_cast<std::int64_t>(kQuickTimeLeadIn);

// The four lead-in bytes followed by the bytes from the header on.
class FileView {
public:
    FileView(std::span<const std::uint8_t> leadIn, std::span<const std::uint8_t> bytes) : bytes_(bytes) {
        const std::size_t skip = leadIn.size() - kQuickTimeLeadIn;
        for (std::size_t i = 0; i < kQuickTimeLeadIn; ++i) leadIn_[i] = leadIn[skip + i];
    }

    std::uint64_t size() const { return bytes_.size() + kQuickTimeLeadIn; }

    std::optional<std::uint32_t> Be32(std::uint64_t at) const {
        if (at > size() || size() - at < 4) return std::nullopt;
        std::uint32_t v = 0;
        for (std::uint64_t i = 0; i < 4; ++i) v = (v << 8) | Byte(at + i);
        return v;
    }

    // The four bytes at `at` (which must lie inside) as text.
    std::array<char, 4> Type(std::uint64_t at) const {
        std::array<char, 4> t {};
        for (std::uint64_t i = 0; i < 4; ++i) t[i] = static_cast<char>(Byte(at + i));
        return t;
    }

private:
    std::uint8_t Byte(std::uint64_t at) const {
        return at < kQuickTimeLeadIn ? leadIn_[at] : bytes_[at - kQuickTimeLeadIn];
    }

    std::array<std::uint8_t, kQuickTimeLeadIn> leadIn_ {};
    std::span<const std::uint8_t> bytes_;
};

bool Is(const std::array<char, 4>& type, const char* text) {
    return type[0] == text[0] && type[1] == text[1] && type[2] == text[2] && type[3] == text[3];
}

// Atom types the walk steps over.
bool ContinuesWalk(const std::array<char, 4>& type) {
    if (type[0] == 'm' && type[1] == 'p' && type[2] == '3') return true;
    for (const char* known : {"free", "mdat", "wide", "PICT", "trak", "moov"})
        if (Is(type, known)) return true;
    return false;
}

// A position counted from the file start, relative to the header.
std::int64_t FromHeader(std::uint64_t position) { return static_cast<std::int64_t>(position) - kLeadIn; }

}  // namespace

ExtractResult ExtractQuickTime(const TypeSpec& typeSpec, const CarveInput& input) {
    return ExtractQuickTimeWithLeadIn(typeSpec, input.leadIn, input.bytes);
}

ExtractResult ExtractQuickTimeWithLeadIn(const TypeSpec& typeSpec, std::span<const std::uint8_t> leadIn,
                                         std::span<const std::uint8_t> bytes) {
    if (leadIn.size() < kQuickTimeLeadIn) return ExtractResult::Undecided();
    const FileView file(leadIn, bytes);
    const std::uint64_t available = file.size();

    // Atom sizes are at least 1, so the cursor moves forward on every step.
    std::uint64_t cursor = 0;
    bool mediaData = false;
    for (;;) {
        const std::uint32_t size = *file.Be32(cursor);  // inside: checked before each step
        if (size == 0 || size > typeSpec.maxLength) return ExtractResult::ContinueAt(FromHeader(cursor + 8));
        if (cursor + size > available) {
            if (typeSpec.maxLength > available) return ExtractResult::Undecided();
            return ExtractResult::ContinueAt(FromHeader(cursor + 8));
        }
        cursor += size;

        // Four bytes or fewer left: the bytes end the walk. More than that
        // and the next atom's type is read, which needs all of it inside.
        const std::uint64_t left = available - cursor;
        if (left <= 4) break;
        if (left < 8) return ExtractResult::Undecided();
        const std::array<char, 4> type = file.Type(cursor + 4);
        if (Is(type, "mdat")) mediaData = true;
        if (!ContinuesWalk(type)) break;
    }

    if (!mediaData) return ExtractResult::ContinueAt(FromHeader(cursor));
    return ExtractResult::Record(FromHeader(cursor), CarvedFile {-kLeadIn, cursor, typeSpec.suffix});
}

}  // namespace qb::cdr

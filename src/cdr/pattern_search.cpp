#include "src/cdr/pattern_search.h"

#include <cstring>

namespace qb::cdr {
namespace {

bool IsLetterRange(std::uint8_t b) { return b >= 65 && b <= 122; }

// The other case of an ASCII letter, or the byte itself.
std::uint8_t OtherCase(std::uint8_t b) {
    if (b >= 'a' && b <= 'z') return static_cast<std::uint8_t>(b - 32);
    if (b >= 'A' && b <= 'Z') return static_cast<std::uint8_t>(b + 32);
    return b;
}

}  // namespace

Pattern MakePattern(std::span<const std::uint8_t> bytes, bool caseSensitive) {
    Pattern p;
    p.bytes.assign(bytes.begin(), bytes.end());
    p.caseSensitive = caseSensitive;
    const auto n = static_cast<std::uint32_t>(p.bytes.size());
    p.skip.fill(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t shift = n - i - 1;
        const std::uint8_t b = p.bytes[i];
        if (b == kWildcard) p.skip.fill(shift);
        p.skip[b] = shift;
        if (!caseSensitive) p.skip[OtherCase(b)] = shift;
    }
    return p;
}

Pattern MakePattern(std::string_view bytes, bool caseSensitive) {
    return MakePattern(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                       caseSensitive);
}

bool PatternMatchesAt(const Pattern& pattern, const std::uint8_t* data) {
    const std::size_t n = pattern.bytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t want = pattern.bytes[i];
        const std::uint8_t got = data[i];
        if (want == got || want == kWildcard) continue;
        // Letters compare without case when both lie in 65..122 and differ by 32.
        if (!pattern.caseSensitive && IsLetterRange(want) && IsLetterRange(got) &&
            (want > got ? want - got : got - want) == 32)
            continue;
        return false;
    }
    return true;
}

std::optional<std::size_t> FindPattern(const Pattern& pattern, std::span<const std::uint8_t> region) {
    const std::size_t n = pattern.bytes.size();
    const std::size_t length = region.size();
    if (n == 0 || n > length) return std::nullopt;
    const std::uint8_t* data = region.data();
    // An exact pattern: the library's byte search finds each place its last
    // byte occurs, much faster than stepping through the skip table, and the
    // first full match found is the same one.
    if (pattern.caseSensitive && std::memchr(pattern.bytes.data(), kWildcard, n) == nullptr) {
        const std::uint8_t last = pattern.bytes[n - 1];
        std::size_t pos = n - 1;
        while (pos < length) {
            const void* hit = std::memchr(data + pos, last, length - pos);
            if (!hit) return std::nullopt;
            pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
            const std::size_t start = pos - (n - 1);
            std::size_t same = 0;
            while (same + 1 < n && data[start + same] == pattern.bytes[same]) ++same;
            if (same + 1 >= n) return start;
            ++pos;
        }
        return std::nullopt;
    }
    std::size_t pos = n - 1;
    while (pos < length) {
        const std::uint32_t shift = pattern.skip[data[pos]];
        if (shift != 0) {
            pos += shift;
            continue;
        }
        const std::size_t start = pos - (n - 1);
        if (PatternMatchesAt(pattern, data + start)) return start;
        ++pos;
    }
    return std::nullopt;
}

}  // namespace qb::cdr

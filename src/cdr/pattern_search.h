// Signature patterns and their Boyer-Moore search. "?" (0x3F) in a pattern
// matches any byte; a case-insensitive pattern matches ASCII letters of
// either case.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qb::cdr {

inline constexpr std::uint8_t kWildcard = '?';

struct Pattern {
    std::vector<std::uint8_t> bytes;
    std::array<std::uint32_t, 256> skip {};  // Boyer-Moore skip table
    bool caseSensitive = true;

    std::size_t size() const { return bytes.size(); }
    bool empty() const { return bytes.empty(); }
};

// Builds a pattern with its skip table.
Pattern MakePattern(std::span<const std::uint8_t> bytes, bool caseSensitive);
Pattern MakePattern(std::string_view bytes, bool caseSensitive);

// True when the pattern matches the bytes at data (which must hold at least
// pattern.size() bytes).
bool PatternMatchesAt(const Pattern& pattern, const std::uint8_t* data);

// Offset of the first match inside region, or nothing. An empty pattern
// never matches.
std::optional<std::size_t> FindPattern(const Pattern& pattern, std::span<const std::uint8_t> region);

}  // namespace qb::cdr

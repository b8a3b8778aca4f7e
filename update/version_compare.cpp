#include "update/version_compare.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace qb::update {
namespace {

std::vector<std::string_view> SplitParts(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t dot = text.find('.', start);
        if (dot == std::string_view::npos) {
            parts.push_back(text.substr(start));
            break;
        }
        parts.push_back(text.substr(start, dot - start));
        start = dot + 1;
    }
    return parts;
}

std::uint64_t LeadingNumber(std::string_view part) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (const char c : part) {
        if (c < '0' || c > '9') break;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (kMax - digit) / 10) return kMax;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

bool IsNewerVersion(std::string_view advertised, std::string_view program) {
    const std::vector<std::string_view> a = SplitParts(advertised);
    const std::vector<std::string_view> p = SplitParts(program);
    if (a.size() != 4 || p.size() != 4) return true;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint64_t x = LeadingNumber(a[i]);
        const std::uint64_t y = LeadingNumber(p[i]);
        if (x != y) return x > y;
    }
    return false;
}

}  // namespace qb::update

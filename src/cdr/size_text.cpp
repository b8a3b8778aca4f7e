#include "src/cdr/size_text.h"

#include <cstdio>

namespace qb::cdr {
namespace {

std::string Format(std::uint64_t bytes, const char* smallestUnit) {
    const double v = static_cast<double>(bytes);
    constexpr double kKilo = 1024.0;
    char text[64];
    if (v / kKilo < 1) {
        std::snprintf(text, sizeof text, "%.1f %s", v, smallestUnit);
    } else if (v / (kKilo * kKilo) < 1) {
        std::snprintf(text, sizeof text, "%.1f KB", v / kKilo);
    } else if (v / (kKilo * kKilo * kKilo) < 1) {
        std::snprintf(text, sizeof text, "%.1f MB", v / (kKilo * kKilo));
    } else {
        std::snprintf(text, sizeof text, "%.1f GB", v / (kKilo * kKilo * kKilo));
    }
    return text;
}

}  // namespace

std::string FormatSize(std::uint64_t bytes) { return Format(bytes, "B"); }
std::string FormatSizeLong(std::uint64_t bytes) { return Format(bytes, "Byte"); }

}  // namespace qb::cdr

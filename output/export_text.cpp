#include "output/export_text.h"

#include <cstdint>

namespace qb::output {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 character at the start of text, or 0.
std::size_t CharacterLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (code < least || code > 0x10FFFF || surrogate || code == 0xFFFE || code == 0xFFFF) return 0;
    return length;
}

}  // namespace

std::string CleanText(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = CharacterLength(text);
        const unsigned char first = static_cast<unsigned char>(text[0]);
        const bool control = first < 0x20 && first != '\t' && first != '\n' && first != '\r';
        if (length == 0 || control) {
            clean += kReplacement;
            text.remove_prefix(1);
        } else {
            clean.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return clean;
}

std::vector<std::string_view> FieldValues(std::string_view field) {
    std::vector<std::string_view> values;
    if (field.empty()) return values;
    for (;;) {
        const std::size_t bar = field.find('|');
        values.push_back(field.substr(0, bar));
        if (bar == std::string_view::npos) break;
        field.remove_prefix(bar + 1);
    }
    return values;
}

std::string_view FirstValue(std::string_view field) { return field.substr(0, field.find('|')); }

}  // namespace qb::output

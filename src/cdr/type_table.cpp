#include "src/cdr/type_table.h"

#include <initializer_list>

namespace qb::cdr {
namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TypeSpec Make(std::string suffix, int typeId, std::uint64_t maxLength, const std::vector<std::uint8_t>& header,
              const std::vector<std::uint8_t>& footer, bool caseSensitive,
              std::initializer_list<std::string_view> markers = {}) {
    TypeSpec t;
    t.suffix = std::move(suffix);
    t.typeId = typeId;
    t.maxLength = maxLength;
    t.caseSensitive = caseSensitive;
    t.header = MakePattern(header, caseSensitive);
    t.footer = MakePattern(footer, caseSensitive);
    for (std::string_view m : markers) t.markers.push_back(MakePattern(m, caseSensitive));
    return t;
}

}  // namespace

std::vector<TypeSpec> DefaultTypeTable() {
    using namespace std::string_view_literals;
    std::vector<TypeSpec> table;
    table.push_back(Make("jpg", kTypeJpg, 20 * kMiB, Bytes({0xFF, 0xD8, 0xFF}), Bytes({0xFF, 0xD9}), true));
    table.push_back(Make("gif", kTypeGif, 1 * kMiB, Bytes("GIF8"), Bytes({0x00, 0x3B}), true, {"\0\0;"sv}));
    table.push_back(Make("bmp", kTypeBmp, 2 * kMiB, Bytes("BM"), {}, true));
    table.push_back(Make("wmv", kTypeWmv, 40 * kMiB, Bytes({0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11}),
                         Bytes({0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9}), true));
    table.push_back(Make("mov", kTypeMov, 40 * kMiB, Bytes("moov"), {}, true));
    table.push_back(Make("rif", kTypeRif, 20 * kMiB, Bytes("RIFF"), Bytes("INFO"), true));
    table.push_back(Make("htm", kTypeHtm, 1 * kMiB, Bytes("<html"), Bytes("</html>"), false));
    table.push_back(Make("ole", kTypeOle, 5 * kMiB,
                         Bytes({0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0, 0, 0, 0, 0, 0, 0, 0}), {},
                         true));
    table.push_back(Make("zip", kTypeZip, 100 * kMiB, Bytes({0x50, 0x4B, 0x03, 0x04}),
                         Bytes({0x4B, 0x05, 0x06, 0x00}), true));
    table.push_back(Make("rar", kTypeRar, 100 * kMiB, Bytes({0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00}),
                         Bytes({0, 0, 0, 0, 0, 0, 0, 0}), true));
    table.push_back(Make("exe", kTypeExe, 1 * kMiB, Bytes("MZ"), {}, true));
    table.push_back(Make("png", kTypePng, 1 * kMiB, Bytes({0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}),
                         Bytes("IEND"), true));
    table.push_back(Make("mpg", kTypeMpg, 50 * kMiB, Bytes({0x00, 0x00, 0x01, 0xBA}),
                         Bytes({0x00, 0x00, 0x01, 0xB9}), true, {"\0\0\x01"sv}));
    table.push_back(Make("pdf", kTypePdf, 40 * kMiB, Bytes("%PDF-1."), Bytes("%%EOF"), true,
                         {"/L "sv, "obj"sv, "/Linearized"sv, "/Length"sv}));
    return table;
}

std::optional<std::vector<TypeSpec>> TypeTableFromList(std::string_view list, std::string* unknown) {
    const std::vector<TypeSpec> all = DefaultTypeTable();
    std::vector<TypeSpec> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) comma = list.size();
        const std::string_view name = list.substr(start, comma - start);
        start = comma + 1;
        if (name.empty()) continue;
        bool found = false;
        for (const TypeSpec& t : all) {
            if (t.suffix == name) {
                out.push_back(t);
                found = true;
                break;
            }
        }
        if (!found) {
            if (unknown) *unknown = std::string(name);
            return std::nullopt;
        }
    }
    if (out.empty()) {
        if (unknown) unknown->clear();
        return std::nullopt;
    }
    return out;
}

}  // namespace qb::cdr

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
    // JPEG files of today's cameras pass 20 MiB, and a motion photo carries
    // its video behind the picture.
    table.push_back(Make("jpg", kTypeJpg, 64 * kMiB, Bytes({0xFF, 0xD8, 0xFF}), Bytes({0xFF, 0xD9}), true));
    table.push_back(Make("gif", kTypeGif, 32 * kMiB, Bytes("GIF8"), Bytes({0x00, 0x3B}), true, {"\0\0;"sv}));
    table.push_back(Make("bmp", kTypeBmp, 2 * kMiB, Bytes("BM"), {}, true));
    table.push_back(Make("wmv", kTypeWmv, 40 * kMiB, Bytes({0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11}),
                         Bytes({0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9}), true));
    TypeSpec mov = Make("mov", kTypeMov, 40 * kMiB, Bytes("moov"), {}, true);
    mov.leadIn = 4;  // the "moov" atom's size comes first
    table.push_back(std::move(mov));
    table.push_back(Make("rif", kTypeRif, 20 * kMiB, Bytes("RIFF"), Bytes("INFO"), true));
    TypeSpec htm = Make("htm", kTypeHtm, 1 * kMiB, Bytes("<html"), Bytes("</html>"), false);
    htm.moreHeaders.push_back(MakePattern("<!doctype html"sv, false));
    table.push_back(std::move(htm));
    table.push_back(Make("ole", kTypeOle, 5 * kMiB,
                         Bytes({0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0, 0, 0, 0, 0, 0, 0, 0}), {},
                         true));
    table.push_back(Make("zip", kTypeZip, 100 * kMiB, Bytes({0x50, 0x4B, 0x03, 0x04}),
                         Bytes({0x4B, 0x05, 0x06, 0x00}), true));
    TypeSpec rar = Make("rar", kTypeRar, 100 * kMiB, Bytes({0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00}),
                        Bytes({0, 0, 0, 0, 0, 0, 0, 0}), true);
    rar.moreHeaders.push_back(MakePattern(Bytes({0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00}), true));
    table.push_back(std::move(rar));
    table.push_back(Make("exe", kTypeExe, 4 * kMiB, Bytes("MZ"), {}, true));
    // Screenshots of today's phones are several MiB and up to 16384 pixels
    // a side.
    table.push_back(Make("png", kTypePng, 64 * kMiB, Bytes({0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}),
                         Bytes("IEND"), true));
    table.push_back(Make("mpg", kTypeMpg, 50 * kMiB, Bytes({0x00, 0x00, 0x01, 0xBA}),
                         Bytes({0x00, 0x00, 0x01, 0xB9}), true, {"\0\0\x01"sv}));
    table.push_back(Make("pdf", kTypePdf, 40 * kMiB, Bytes("%PDF-1."), Bytes("%%EOF"), true,
                         {"/L "sv, "obj"sv, "/Linearized"sv, "/Length"sv}));

    // The box size comes first, then "ftyp": the file starts at the block
    // boundary. Its boxes are found by reading their headers where they lie,
    // so a video may be as long as a card holds.
    table.push_back(Make("mp4", kTypeIsoMedia, 16384 * kMiB, Bytes("????ftyp"), {}, true));
    table.push_back(Make("webp", kTypeWebp, 32 * kMiB, Bytes("RIFF????WEBP"), {}, true));
    // With an ID3v2 tag first, or the first frame's sync bits.
    TypeSpec mp3 = Make("mp3", kTypeMp3, 64 * kMiB, Bytes("ID3"), {}, true);
    mp3.moreHeaders.push_back(MakePattern(Bytes({0xFF}), true));
    table.push_back(std::move(mp3));
    // The first page of a stream: version 0, beginning-of-stream flag.
    table.push_back(Make("ogg", kTypeOgg, 64 * kMiB, Bytes({'O', 'g', 'g', 'S', 0x00, 0x02}), {}, true));
    table.push_back(Make("sqlite", kTypeSqlite, 4096 * kMiB, Bytes("SQLite format 3\0"sv), {}, true));
    table.push_back(Make("amr", kTypeAmr, 16 * kMiB, Bytes("#!AMR"), {}, true));
    table.push_back(Make("flac", kTypeFlac, 100 * kMiB, Bytes("fLaC"), {}, true));
    table.push_back(Make("mkv", kTypeMatroska, 16384 * kMiB, Bytes({0x1A, 0x45, 0xDF, 0xA3}), {}, true));
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

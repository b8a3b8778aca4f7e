// The file types the carving engine searches for: one definition per type,
// in table order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/cdr/pattern_search.h"

namespace qb::cdr {

struct DeviceNode;

// Type identifiers; the extractor is chosen by them.
enum TypeId : int {
    kTypeJpg = 0,
    kTypeGif = 1,
    kTypeBmp = 2,
    kTypeMpg = 3,
    kTypePdf = 4,
    kTypeDoc = 5,
    kTypeAvi = 6,
    kTypeWmv = 7,
    kTypeHtm = 8,
    kTypeZip = 9,
    kTypeMov = 10,
    kTypeXls = 11,
    kTypePpt = 12,
    kTypeWpd = 13,
    kTypeCpp = 14,
    kTypeOle = 15,
    kTypeGz = 16,
    kTypeRif = 17,
    kTypeWav = 18,
    kTypeMovPnot = 19,
    kTypeSxw = 20,
    kTypeSxc = 21,
    kTypeSxi = 22,
    kTypeConfigured = 23,
    kTypePng = 24,
    kTypeRar = 25,
    kTypeExe = 26,
    kTypeElf = 27,
    kTypeReg = 28,
    // Types beyond the fourteen of the workflow's first table.
    kTypeIsoMedia = 29,  // ISO base media files (MP4, MOV, 3GP, M4A, HEIC, AVIF), "ftyp" first
    kTypeWebp = 30,
    kTypeMp3 = 31,
    kTypeOgg = 32,
    kTypeSqlite = 33,
    kTypeAmr = 34,
    kTypeFlac = 35,
    kTypeMatroska = 36,  // Matroska and WebM
};

inline constexpr std::size_t kMaxMarkers = 5;
inline constexpr std::uint64_t kMiB = 1048576;

struct TypeSpec {
    std::string suffix;  // extension of this type's files (and its group's name)
    int typeId = 0;
    std::uint64_t maxLength = 0;  // largest file the type may produce
    Pattern header;
    // Further signatures that start a file of this type (an MP3 without its
    // ID3 tag starts with a frame header, RAR 5 with its own marker); the
    // extractor tells them apart by the bytes.
    std::vector<Pattern> moreHeaders;
    // Bytes of the file that lie before its header: a QuickTime movie found
    // at its "moov" atom starts 4 bytes earlier, with that atom's size. The
    // extractor is given up to this many bytes before the header.
    std::uint32_t leadIn = 0;
    Pattern footer;                // empty: none
    std::vector<Pattern> markers;  // at most kMaxMarkers further patterns
    bool caseSensitive = true;

    // Filled while scanning.
    std::uint64_t foundCount = 0;
    bool recorded = false;
    DeviceNode* group = nullptr;

    const Pattern& Marker(std::size_t i) const { return markers.at(i); }
};

// Every definition the workflow scans for, in table order: the fourteen
// types of the first table, then the media a phone holds today (ISO media
// files, WebP, MP3, Ogg, SQLite databases, AMR, FLAC, Matroska and WebM).
std::vector<TypeSpec> DefaultTypeTable();

// The definitions named in a comma-separated list ("jpg,png,zip"), in the
// list's order; names are the suffixes of the default table. Nothing when a
// name is unknown; *unknown then holds it.
std::optional<std::vector<TypeSpec>> TypeTableFromList(std::string_view list, std::string* unknown = nullptr);

}  // namespace qb::cdr

// Format extractors. A header signature only says where a file may begin;
// the extractor of its type reads the bytes that follow, rejects false hits,
// finds where the file ends and may refine its extension. Each extractor is a
// pure function of the bytes it is given and its type definition.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "src/cdr/byte_reader.h"
#include "src/cdr/type_table.h"

namespace qb::cdr {

// A file the extractor delimited.
struct CarvedFile {
    std::int64_t start = 0;  // first byte relative to the header (a lead-in makes it negative)
    std::uint64_t size = 0;
    std::string suffix;      // extension to record the file with
};

// What an extractor decided. Positions are relative to the header.
struct ExtractResult {
    // Where the search continues; nothing means the bytes available do not
    // suffice to decide (the engine then gives more bytes or skips).
    std::optional<std::int64_t> resume;
    std::optional<CarvedFile> file;  // at most one file
    std::string note;                // a diagnostic line for the engine's message stream

    static ExtractResult Undecided() { return {}; }
    static ExtractResult ContinueAt(std::int64_t position) { return {position, std::nullopt, {}}; }
    static ExtractResult Record(std::int64_t position, CarvedFile file) { return {position, std::move(file), {}}; }
};

// What an extractor is given.
struct CarveInput {
    // Every byte the engine holds from the header on: to the end of the
    // chunk, or further when the file runs on past it.
    std::span<const std::uint8_t> bytes;
    // The bytes right before the header, up to the type's leadIn of them
    // (fewer at the start of the disk).
    std::span<const std::uint8_t> leadIn;
    // True when no byte follows `bytes`: they end where the disk ends.
    bool complete = false;
    // Reads beyond `bytes`; null when there is nothing further to read from
    // (the extractor then decides from `bytes` alone, or answers Undecided).
    const FarBytes* far = nullptr;

    CarveInput() = default;
    // Any contiguous run of bytes (a vector, a span) is an input without
    // lead-in or far reads, as the tests and fuzz targets give it.
    template <typename Range>
        requires std::convertible_to<const Range&, std::span<const std::uint8_t>>
    CarveInput(const Range& range) : bytes(range) {}  // NOLINT: implicit on purpose
};

using Extractor = ExtractResult (*)(const TypeSpec& typeSpec, const CarveInput& input);

ExtractResult ExtractJpeg(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractGif(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractBmp(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractAsf(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractQuickTime(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractRiff(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractHtml(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractOle(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractZip(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractRar(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractPe(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractPng(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractMpeg(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractPdf(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractIsoMedia(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractWebp(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractMp3(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractOgg(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractSqlite(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractAmr(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractFlac(const TypeSpec& typeSpec, const CarveInput& input);
ExtractResult ExtractMatroska(const TypeSpec& typeSpec, const CarveInput& input);

// A QuickTime movie begins 4 bytes before its "moov" (or "pnot") header,
// with the first atom's size: its type's leadIn. This form takes the lead-in
// bytes apart (only their last four are used).
inline constexpr std::size_t kQuickTimeLeadIn = 4;
ExtractResult ExtractQuickTimeWithLeadIn(const TypeSpec& typeSpec, std::span<const std::uint8_t> leadIn,
                                         std::span<const std::uint8_t> bytes);

// The extractor of a type identifier; null for types whose headers never
// produce a file.
Extractor ExtractorFor(int typeId);

// "Skip": continue right after the header, recording nothing.
inline ExtractResult SkipHeader(const TypeSpec& typeSpec) {
    return ExtractResult::ContinueAt(static_cast<std::int64_t>(typeSpec.header.size()));
}

// The extension filter of a type id: ids that stand for one extension only
// (doc, xls, ppt; avi, wav; sxw, sxc, sxi) record only files detected with
// that extension; all other ids record every file.
bool ExtensionAllowed(int typeId, std::string_view extension);

}  // namespace qb::cdr

// Format extractors. A header signature only says where a file may begin;
// the extractor of its type reads the bytes that follow, rejects false hits,
// finds where the file ends and may refine its extension. Each extractor is a
// pure function of the bytes it is given and its type definition.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "src/cdr/type_table.h"

namespace qb::cdr {

// A file the extractor delimited.
struct CarvedFile {
    std::int64_t start = 0;  // first byte relative to the header (QuickTime files start 4 bytes before it)
    std::uint64_t size = 0;
    std::string suffix;      // extension to record the file with
};

// What an extractor decided. Positions are relative to the header.
struct ExtractResult {
    // Where the search continues; nothing means the bytes available do not
    // suffice to decide (the engine then re-reads maxLength bytes or skips).
    std::optional<std::int64_t> resume;
    std::optional<CarvedFile> file;  // at most one file
    std::string note;                // a diagnostic line for the engine's message stream

    static ExtractResult Undecided() { return {}; }
    static ExtractResult ContinueAt(std::int64_t position) { return {position, std::nullopt, {}}; }
    static ExtractResult Record(std::int64_t position, CarvedFile file) { return {position, std::move(file), {}}; }
};

// bytes starts at the header and holds every byte available from it (to the
// end of the chunk, or maxLength bytes after a re-read).
using Extractor = ExtractResult (*)(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);

ExtractResult ExtractJpeg(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractGif(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractBmp(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractAsf(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractQuickTime(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractRiff(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractHtml(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractOle(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractZip(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractRar(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractPe(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractPng(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractMpeg(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);
ExtractResult ExtractPdf(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes);

// A QuickTime file begins 4 bytes before its "moov" (or "pnot") header, with
// the first atom's size, which ExtractQuickTime cannot see (it answers
// Undecided). leadIn holds the bytes just before the header (at least
// kQuickTimeLeadIn of them for the file to be delimited; only the last four
// are used). Ids 10 and 19 are carved through this form.
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

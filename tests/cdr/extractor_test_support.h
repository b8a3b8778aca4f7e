// Shared pieces of the extractor tests: type definitions taken from the
// default table, byte buffers built and patched in place, and the three
// outcomes an extractor can report (recorded, continue elsewhere,
// undecided until more bytes are read).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/cdr/extractor.h"
#include "src/cdr/type_table.h"

namespace qb::cdr::extractortest {

using Bytes = std::vector<std::uint8_t>;

// A definition of the default table. Ids outside it are a table definition
// under their own id: avi and wav are riff, the pnot movie is mov with a
// "pnot" header, doc/xls/ppt are ole and sxw/sxc/sxi are zip, each with its
// own suffix.
TypeSpec SpecFor(int typeId, std::optional<std::uint64_t> maxLength = std::nullopt);

Bytes Concat(Bytes a, const Bytes& b);
Bytes Head(const Bytes& b, std::size_t n);
Bytes Filler(std::size_t n, std::uint8_t value = 0x20);
// `b` followed by `n` bytes of `value`.
Bytes WithTail(Bytes b, std::size_t n, std::uint8_t value = 0xEE);

// Offset of the first occurrence of `needle` at or after `from`; a test
// failure and hay.size() when it is not there.
std::size_t FindBytes(const Bytes& hay, const Bytes& needle, std::size_t from = 0);
std::size_t FindText(const Bytes& hay, std::string_view needle, std::size_t from = 0);

std::uint32_t Le32(const Bytes& b, std::size_t at);
void SetLe16(Bytes& b, std::size_t at, std::uint32_t v);
void SetLe32(Bytes& b, std::size_t at, std::uint32_t v);
void SetBe16(Bytes& b, std::size_t at, std::uint32_t v);
void SetBe32(Bytes& b, std::size_t at, std::uint32_t v);

// Recorded from the header with this size, the search resuming at `resume`
// (right after the file when not given).
void ExpectRecorded(const ExtractResult& r, std::uint64_t size, const std::string& suffix, std::int64_t resume);
void ExpectRecorded(const ExtractResult& r, std::uint64_t size, const std::string& suffix);
// Nothing recorded; the search goes on at `at`.
void ExpectContinue(const ExtractResult& r, std::int64_t at);
// Nothing decided: the bytes ran out.
void ExpectUndecided(const ExtractResult& r);

}  // namespace qb::cdr::extractortest

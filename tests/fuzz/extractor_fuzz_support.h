// Shared pieces of the extractor fuzz targets: the abort that reports a
// broken promise to the fuzzer, the default definitions, the demands every
// recorded file meets, and the ways the targets vary a definition and the
// bytes an extractor sees.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "src/cdr/extractor.h"
#include "src/cdr/pattern_search.h"
#include "src/cdr/type_table.h"

namespace qb::cdr::fuzzsupport {

inline void Check(bool condition) {
    if (!condition) std::abort();
}

// The default table's definition of typeId.
inline const TypeSpec& DefaultSpec(int typeId) {
    static const std::vector<TypeSpec> table = DefaultTypeTable();
    for (const TypeSpec& t : table)
        if (t.typeId == typeId) return t;
    std::abort();
}

// A recorded file comes with a place to resume, starts at the header and is
// not empty.
inline void CheckFileAtHeader(const ExtractResult& r) {
    Check(r.resume.has_value());
    Check(r.file->start == 0 && r.file->size > 0);
}

// The input with `header` written over it at `at` (when it fits).
inline std::vector<std::uint8_t> WithSignature(std::span<const std::uint8_t> input, const Pattern& header,
                                               std::size_t at) {
    std::vector<std::uint8_t> out(input.begin(), input.end());
    if (out.size() >= at + header.size())
        std::copy(header.bytes.begin(), header.bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    return out;
}

// call(typeSpec) with the definition's own maxLength, a small one and one equal
// to the bytes available.
template <typename Call>
void ForEachLength(const TypeSpec& base, std::size_t available, Call call) {
    TypeSpec typeSpec = base;
    for (std::uint64_t maxLength : {base.maxLength, std::uint64_t {1024}, std::uint64_t {available}}) {
        typeSpec.maxLength = maxLength;
        call(typeSpec);
    }
}

// run(extract, typeSpec, bytes) on the bytes as they are and cut in half, then
// with a small maxLength and with one equal to the bytes (a re-read).
template <typename Run>
void RunVariants(Run run, Extractor extract, TypeSpec typeSpec, std::span<const std::uint8_t> bytes) {
    run(extract, typeSpec, bytes);
    run(extract, typeSpec, bytes.first(bytes.size() / 2));
    typeSpec.maxLength = 600;
    run(extract, typeSpec, bytes);
    typeSpec.maxLength = bytes.size();
    run(extract, typeSpec, bytes);
}

}  // namespace qb::cdr::fuzzsupport

// Fuzz target: the picture extractors (JPEG, GIF, BMP, PNG). Each gets the
// input as it is and with its header signature written over the start, with
// the workflow's maxLength, with a small one and with one equal to the bytes
// given. A file must lie inside the bytes; the search must resume at a
// sensible place.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "src/cdr/extractor.h"
#include "src/cdr/type_table.h"

namespace {

using namespace qb::cdr;

void Check(const ExtractResult& r, std::size_t available) {
    const auto size = static_cast<std::int64_t>(available);
    if (r.file) {
        if (!r.resume) std::abort();
        if (r.file->start != 0 || r.file->size == 0) std::abort();
        if (r.file->size > available) std::abort();
    }
    if (r.resume && (*r.resume < 1 || *r.resume > size + 8)) std::abort();
}

void Run(const TypeSpec& base, Extractor extract, std::span<const std::uint8_t> input) {
    std::vector<std::uint8_t> signed_(input.begin(), input.end());
    if (signed_.size() >= base.header.size())
        std::copy(base.header.bytes.begin(), base.header.bytes.end(), signed_.begin());
    for (std::span<const std::uint8_t> bytes : {input, std::span<const std::uint8_t>(signed_)}) {
        TypeSpec spec = base;
        for (std::uint64_t maxLength : {base.maxLength, std::uint64_t {1024}, std::uint64_t {bytes.size()}}) {
            spec.maxLength = maxLength;
            Check(extract(spec, bytes), bytes.size());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<TypeSpec> table = DefaultTypeTable();
    const std::span<const std::uint8_t> input(data, size);
    for (const TypeSpec& spec : table) {
        switch (spec.typeId) {
        case kTypeJpg: Run(spec, &ExtractJpeg, input); break;
        case kTypeGif: Run(spec, &ExtractGif, input); break;
        case kTypeBmp: Run(spec, &ExtractBmp, input); break;
        case kTypePng: Run(spec, &ExtractPng, input); break;
        default: break;
        }
    }
    return 0;
}

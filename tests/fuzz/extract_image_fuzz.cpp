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
#include "tests/fuzz/extractor_fuzz_support.h"

namespace {

using namespace qb::cdr;
using namespace qb::cdr::fuzzsupport;

void CheckResult(const ExtractResult& r, std::size_t available) {
    const auto size = static_cast<std::int64_t>(available);
    if (r.file) {
        CheckFileAtHeader(r);
        Check(r.file->size <= available);
    }
    if (r.resume) Check(*r.resume >= 1 && *r.resume <= size + 8);
}

void Run(const TypeSpec& base, Extractor extract, std::span<const std::uint8_t> input) {
    const std::vector<std::uint8_t> signed_ = WithSignature(input, base.header, 0);
    for (std::span<const std::uint8_t> bytes : {input, std::span<const std::uint8_t>(signed_)})
        ForEachLength(base, bytes.size(),
                      [&](const TypeSpec& typeSpec) { CheckResult(extract(typeSpec, bytes), bytes.size()); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<TypeSpec> table = DefaultTypeTable();
    const std::span<const std::uint8_t> input(data, size);
    for (const TypeSpec& typeSpec : table) {
        switch (typeSpec.typeId) {
        case kTypeJpg: Run(typeSpec, &ExtractJpeg, input); break;
        case kTypeGif: Run(typeSpec, &ExtractGif, input); break;
        case kTypeBmp: Run(typeSpec, &ExtractBmp, input); break;
        case kTypePng: Run(typeSpec, &ExtractPng, input); break;
        default: break;
        }
    }
    return 0;
}

// Fuzz target: the video and audio extractors (ASF, QuickTime, RIFF, MPEG
// program stream). Each gets the input as it is and with its header
// signature written over the start (QuickTime: after the four lead-in
// bytes), with the workflow's maxLength, with a small one and with one equal
// to the bytes given. A file must lie inside the bytes (QuickTime's from its
// lead-in on); the search must resume at a sensible place.
#include <algorithm>
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
using Bytes = std::span<const std::uint8_t>;

// leadIn: bytes before the header that a file may start with.
void CheckResult(const ExtractResult& r, std::size_t available, std::int64_t leadIn) {
    const auto size = static_cast<std::int64_t>(available);
    if (r.file) {
        if (!r.resume) std::abort();
        if (r.file->start > 0 || r.file->start < -leadIn || r.file->size == 0) std::abort();
        if (static_cast<std::int64_t>(r.file->size) + r.file->start > size) std::abort();
        if (*r.resume < r.file->start + static_cast<std::int64_t>(r.file->size)) std::abort();
    }
    if (r.resume && (*r.resume < -leadIn || *r.resume > size + 8)) std::abort();
}

void Run(const TypeSpec& base, Extractor extract, Bytes input) {
    const std::vector<std::uint8_t> signed_ = WithSignature(input, base.header, 0);
    for (Bytes bytes : {input, Bytes(signed_)})
        ForEachLength(base, bytes.size(),
                      [&](const TypeSpec& typeSpec) { CheckResult(extract(typeSpec, bytes), bytes.size(), 0); });
}

void RunQuickTime(const TypeSpec& base, Bytes input) {
    const std::vector<std::uint8_t> signed_ = WithSignature(input, base.header, kQuickTimeLeadIn);
    for (Bytes file : {input, Bytes(signed_)}) {
        const std::size_t lead = std::min(file.size(), kQuickTimeLeadIn);
        const Bytes leadIn = file.first(lead), bytes = file.subspan(lead);
        ForEachLength(base, bytes.size(), [&](const TypeSpec& typeSpec) {
            CheckResult(ExtractQuickTimeWithLeadIn(typeSpec, leadIn, bytes), bytes.size(), static_cast<std::int64_t>(lead));
            CheckResult(ExtractQuickTime(typeSpec, bytes), bytes.size(), 0);
        });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<TypeSpec> table = DefaultTypeTable();
    const Bytes input(data, size);
    for (const TypeSpec& typeSpec : table) {
        switch (typeSpec.typeId) {
        case kTypeWmv: Run(typeSpec, &ExtractAsf, input); break;
        case kTypeMpg: Run(typeSpec, &ExtractMpeg, input); break;
        case kTypeMov: {
            RunQuickTime(typeSpec, input);
            TypeSpec preview = typeSpec;
            preview.typeId = kTypeMovPnot;
            preview.header = MakePattern("pnot", true);
            RunQuickTime(preview, input);
            break;
        }
        case kTypeRif:
            for (int id : {kTypeRif, kTypeAvi, kTypeWav}) {
                TypeSpec riff = typeSpec;
                riff.typeId = id;
                Run(riff, &ExtractRiff, input);
            }
            break;
        default: break;
        }
    }
    return 0;
}

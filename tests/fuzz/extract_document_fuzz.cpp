// Fuzz target: bytes that follow a header, as the carving engine hands them
// to the document extractors (HTML, PDF, OLE compound files). Each extractor
// sees the bytes with its default definition, with a small maxLength, with
// maxLength equal to the bytes (a re-read), under the single-extension ids,
// and cut in half; every result must stay inside the bytes.
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

// The file lies inside the bytes and the search goes on no further than
// their end (or, for OLE, than the file).
void Run(Extractor extract, const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes) {
    const ExtractResult r = extract(typeSpec, bytes);
    if (r.resume) Check(*r.resume >= 0 && static_cast<std::uint64_t>(*r.resume) <= bytes.size());
    if (!r.file) return;
    CheckFileAtHeader(r);
    Check(r.file->size <= bytes.size());
    Check(ExtensionAllowed(typeSpec.typeId, r.file->suffix));
    if (extract == &ExtractOle)
        Check(static_cast<std::uint64_t>(*r.resume) <= r.file->size);
    else
        Check(static_cast<std::uint64_t>(*r.resume) == r.file->size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    RunVariants(Run, &ExtractHtml, DefaultSpec(kTypeHtm), bytes);
    RunVariants(Run, &ExtractPdf, DefaultSpec(kTypePdf), bytes);
    for (int id : {kTypeOle, kTypeDoc, kTypeXls, kTypePpt}) {
        TypeSpec typeSpec = DefaultSpec(kTypeOle);
        typeSpec.typeId = id;
        RunVariants(Run, &ExtractOle, typeSpec, bytes);
    }
    return 0;
}

// Fuzz target: bytes that follow a header, as the carving engine hands them
// to the archive and executable extractors (ZIP, RAR, PE). Each extractor
// sees the bytes with its default definition, with a small maxLength, with
// maxLength equal to the bytes (a re-read), under the single-extension ids,
// and cut in half; every result must stay where its format allows.
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

constexpr std::uint64_t kRarDamagedEnd = 51200;  // a damaged archive may be taken this far
constexpr std::uint64_t kRarEndBlock = 7;        // the end block may lie just past the bytes
// A PE search may resume 60 bytes past a section table whose last entry's
// final 16 bytes (not read) lie past the bytes.
constexpr std::uint64_t kPePastTable = 60 + 16;

void Run(Extractor extract, const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes) {
    const ExtractResult r = extract(typeSpec, bytes);
    const std::uint64_t available = bytes.size();
    if (r.resume) {
        Check(*r.resume >= 0);
        const auto resume = static_cast<std::uint64_t>(*r.resume);
        if (extract == &ExtractRar)
            Check(resume <= available + kRarEndBlock || resume <= kRarDamagedEnd);
        else if (extract == &ExtractPe)
            Check(resume <= available + kPePastTable);
        else
            Check(resume <= available);
    }
    if (!r.file) return;
    CheckFileAtHeader(r);
    Check(ExtensionAllowed(typeSpec.typeId, r.file->suffix));
    if (extract == &ExtractZip) {
        Check(r.file->size <= available);
        Check(*r.resume == static_cast<std::int64_t>(r.file->size) - 1);
    } else if (extract == &ExtractRar) {
        Check(r.file->size <= available + kRarEndBlock || r.file->size <= kRarDamagedEnd);
        Check(*r.resume == static_cast<std::int64_t>(r.file->size));
    } else {
        Check(r.file->size <= available && (r.file->size >= 512 || r.file->size == available));
        Check(r.file->suffix == "exe" || r.file->suffix == "dll");
        Check(*r.resume == static_cast<std::int64_t>(r.file->size));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    for (int id : {kTypeZip, kTypeSxw, kTypeSxc, kTypeSxi}) {
        TypeSpec typeSpec = DefaultSpec(kTypeZip);
        typeSpec.typeId = id;
        RunVariants(Run, &ExtractZip, typeSpec, bytes);
    }
    RunVariants(Run, &ExtractRar, DefaultSpec(kTypeRar), bytes);
    RunVariants(Run, &ExtractPe, DefaultSpec(kTypeExe), bytes);
    return 0;
}

// Fuzz target: the extractors of what a phone holds (ISO media, WebP, MP3,
// Ogg, SQLite, AMR, FLAC, Matroska, RAR 5). Each gets the input as it is and
// with its signature written over the start; with the workflow's maxLength,
// a small one and one equal to the bytes given; with the bytes alone, with
// the disk ending there, and with far reads of the input itself (and of the
// input cut short, where reads past it fail). A file must lie inside what
// can be read, start at the header and come with a place to resume.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "src/cdr/extractor.h"
#include "src/cdr/type_table.h"
#include "tests/fuzz/extractor_fuzz_support.h"

namespace {

using namespace qb::cdr;
using namespace qb::cdr::fuzzsupport;
using Bytes = std::span<const std::uint8_t>;

class FarInput final : public FarBytes {
public:
    explicit FarInput(Bytes bytes) : bytes_(bytes) {}
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
        if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
        return true;
    }

private:
    Bytes bytes_;
};

void CheckResult(const ExtractResult& r, std::uint64_t reach) {
    if (r.file) {
        Check(r.resume.has_value());
        Check(r.file->start == 0 && r.file->size > 0 && r.file->size <= reach);
        Check(!r.file->suffix.empty());
    }
    if (r.resume) Check(*r.resume >= 0);
}

void Run(const TypeSpec& base, Extractor extract, Bytes input, std::string_view signature) {
    std::vector<std::uint8_t> signed_(input.begin(), input.end());
    for (std::size_t i = 0; i < signature.size() && i < signed_.size(); ++i)
        if (signature[i] != '?') signed_[i] = static_cast<std::uint8_t>(signature[i]);
    for (Bytes bytes : {input, Bytes(signed_)}) {
        const FarInput farWhole(bytes);
        const FarInput farCut(bytes.first(bytes.size() / 2));
        ForEachLength(base, bytes.size(), [&](const TypeSpec& typeSpec) {
            CarveInput plain(bytes);
            CheckResult(extract(typeSpec, plain), bytes.size());
            plain.complete = true;
            CheckResult(extract(typeSpec, plain), bytes.size());
            // The first bytes near, the rest read far.
            CarveInput near(bytes.first(std::min<std::size_t>(bytes.size(), 64)));
            near.far = &farWhole;
            CheckResult(extract(typeSpec, near), bytes.size());
            near.far = &farCut;
            CheckResult(extract(typeSpec, near), bytes.size());
        });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<TypeSpec> table = DefaultTypeTable();
    const Bytes input(data, size);
    for (const TypeSpec& typeSpec : table) {
        switch (typeSpec.typeId) {
        case kTypeIsoMedia: Run(typeSpec, &ExtractIsoMedia, input, "????ftypmp42"); break;
        case kTypeWebp: Run(typeSpec, &ExtractWebp, input, "RIFF????WEBPVP8 "); break;
        case kTypeMp3:
            Run(typeSpec, &ExtractMp3, input, "ID3\x03");
            Run(typeSpec, &ExtractMp3, input, "\xFF\xFB\x90");
            break;
        case kTypeOgg: Run(typeSpec, &ExtractOgg, input, std::string_view("OggS\0\x02", 6)); break;
        case kTypeSqlite: Run(typeSpec, &ExtractSqlite, input, std::string_view("SQLite format 3\0\x10\0\x01\x01\0@  ", 24)); break;
        case kTypeAmr: Run(typeSpec, &ExtractAmr, input, "#!AMR\n"); break;
        case kTypeFlac: Run(typeSpec, &ExtractFlac, input, std::string_view("fLaC\x80\0\0\x22", 8)); break;
        case kTypeMatroska: Run(typeSpec, &ExtractMatroska, input, "\x1A\x45\xDF\xA3"); break;
        case kTypeRar: Run(typeSpec, &ExtractRar, input, std::string_view("Rar!\x1A\x07\x01\0", 8)); break;
        default: break;
        }
    }
    return 0;
}

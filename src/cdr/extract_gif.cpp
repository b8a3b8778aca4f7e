// GIF87a / GIF89a: the file ends at the first 00 3B (a block terminator
// followed by the trailer byte) after the signature.
//
//   OFFSET  SIZE  DESCRIPTION
//   0       4     "GIF8"
//   4       2     version rest: "7a" or "9a"
//   6       7     logical screen descriptor (width, height, flags, ...)
//   13      ...   colour table, extensions, images (data in sub-blocks
//                 ended by a 00 block)
//   end-1   1     trailer 3B
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kVersionEnd = 6;
}

ExtractResult ExtractGif(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes) {
    const ByteView view(bytes);
    if (!view.Has(0, kVersionEnd)) return ExtractResult::Undecided();
    if (!view.Equals(4, "7a") && !view.Equals(4, "9a")) return ExtractResult::ContinueAt(4);

    const auto found = FindPattern(typeSpec.footer, view.Sub(kVersionEnd, typeSpec.maxLength));
    if (!found) return ExtractResult::Undecided();
    const std::uint64_t end = kVersionEnd + *found + typeSpec.footer.size();
    return ExtractResult::Record(static_cast<std::int64_t>(end), CarvedFile {0, end, typeSpec.suffix});
}

}  // namespace qb::cdr

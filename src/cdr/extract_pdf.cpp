// PDF documents: a plain file ends at its first "%%EOF"; a linearised file
// states its length in the linearisation dictionary, and its last "%%EOF"
// is looked for right before that length (the first-page section of such a
// file carries an "%%EOF" of its own near the start).
//
// File (text with binary streams):
//   OFFSET  SIZE  DESCRIPTION
//   0       7     "%PDF-1." followed by the minor version digit
//   ...           an optional binary comment line, then objects "N 0 obj"
//                 ... "endobj"; the first object of a linearised file is
//                 << /Linearized 1 /L <file length> /H [...] /O ... >>
//   n-6     5     "%%EOF", then one line end (the file's last byte)
#include <optional>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAfterHeader = 512;
constexpr std::uint64_t kObjWindow = 100;          // "obj" must appear this early
constexpr std::uint64_t kLinearizedWindow = 512;   // "/Linearized", then "/L ", within this
constexpr std::uint64_t kLengthDigits = 8;         // the declared length's field
constexpr std::uint64_t kFooterWindowBack = 15;    // the last "%%EOF" lies in the 14 bytes
constexpr std::uint64_t kFooterWindow = 14;        // that start 15 before the declared end
constexpr std::uint64_t kLineEnd = 1;

enum MarkerIndex : std::size_t { kMarkerL = 0, kMarkerObj = 1, kMarkerLinearized = 2 };

// The type's markers, or the built-in ones for a definition that lacks them.
const Pattern& MarkerOf(const TypeSpec& typeSpec, std::size_t index) {
    static const Pattern fallback[] = {MakePattern("/L ", true), MakePattern("obj", true),
                                       MakePattern("/Linearized", true), MakePattern("/Length", true)};
    if (index < typeSpec.markers.size()) return typeSpec.Marker(index);
    return fallback[index];
}

// First match of pattern inside [from, from + length) of view, as an offset
// from the header.
std::optional<std::uint64_t> FindIn(const Pattern& pattern, const ByteView& view, std::uint64_t from,
                                    std::uint64_t length) {
    const auto at = FindPattern(pattern, view.Sub(from, length));
    if (!at) return std::nullopt;
    return from + *at;
}

// The decimal number the field starts with (after blanks), as atoi reads it.
std::uint64_t DecimalIn(std::span<const std::uint8_t> field) {
    std::size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r'))) ++i;
    std::uint64_t value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) value = value * 10 + (field[i] - '0');
    return value;
}
}  // namespace

ExtractResult ExtractPdf(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes) {
    const ByteView view(bytes);
    const std::uint64_t headerEnd = typeSpec.header.size();
    if (view.size() < headerEnd || view.size() - headerEnd < kMinimumAfterHeader) return ExtractResult::Undecided();
    const std::uint64_t afterHeader = view.size() - headerEnd;
    const std::uint64_t area = afterHeader < typeSpec.maxLength ? afterHeader : typeSpec.maxLength;

    if (!FindIn(MarkerOf(typeSpec, kMarkerObj), view, headerEnd, area < kObjWindow ? area : kObjWindow))
        return ExtractResult::ContinueAt(static_cast<std::int64_t>(headerEnd + kObjWindow));

    std::optional<std::uint64_t> footer;
    const auto linearized = FindIn(MarkerOf(typeSpec, kMarkerLinearized), view, headerEnd, kLinearizedWindow);
    const std::optional<std::uint64_t> lengthKey =
        linearized ? FindIn(MarkerOf(typeSpec, kMarkerL), view, *linearized + MarkerOf(typeSpec, kMarkerLinearized).size(),
                            kLinearizedWindow)
                   : std::nullopt;
    if (lengthKey) {
        const std::uint64_t field = *lengthKey + MarkerOf(typeSpec, kMarkerL).size();
        if (!view.Has(field, kLengthDigits)) return ExtractResult::Undecided();
        const std::uint64_t declared = DecimalIn(view.Sub(field, kLengthDigits));
        if (declared == 0) return ExtractResult::ContinueAt(static_cast<std::int64_t>(field));
        if (declared > afterHeader) {
            if (typeSpec.maxLength >= declared) return ExtractResult::Undecided();
            return ExtractResult::ContinueAt(static_cast<std::int64_t>(field));
        }
        const std::uint64_t from = declared > kFooterWindowBack ? declared - kFooterWindowBack : 0;
        footer = FindIn(typeSpec.footer, view, from, kFooterWindow);
    } else {
        footer = FindIn(typeSpec.footer, view, headerEnd, area);
    }
    if (!footer) return ExtractResult::Undecided();

    // The file ends with the line end that follows "%%EOF"; a footer at the
    // very end of the bytes given keeps the file inside them.
    std::uint64_t end = *footer + typeSpec.footer.size() + kLineEnd;
    if (end > view.size()) end = view.size();
    return ExtractResult::Record(static_cast<std::int64_t>(end), CarvedFile {0, end, typeSpec.suffix});
}

}  // namespace qb::cdr

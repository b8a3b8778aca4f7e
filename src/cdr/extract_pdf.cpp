// PDF documents: a plain file ends at its first "%%EOF"; a linearised file
// states its length in the linearisation dictionary, and its last "%%EOF"
// is looked for right before that length (the first-page section of such a
// file carries an "%%EOF" of its own near the start). A document saved
// again by an editor or signed has incremental updates appended, each
// ending with an "%%EOF" of its own: while the bytes after an "%%EOF" line
// begin such an update (an object, a cross-reference section or a
// trailer), the file runs on to the update's "%%EOF". The file ends with
// the line end after its last "%%EOF" (CR LF, CR or LF). Some writers
// begin an update with comment lines, even a "%PDF-" header line (Pillow
// does); such an update is only taken when its trailer's /Prev names the
// cross-reference section before it, as a new document's cannot.
//
// File (text with binary streams):
//   OFFSET  SIZE  DESCRIPTION
//   0       7     "%PDF-1." followed by the minor version digit
//   ...           an optional binary comment line, then objects "N 0 obj"
//                 ... "endobj"; the first object of a linearised file is
//                 << /Linearized 1 /L <file length> /H [...] /O ... >>
//   ...     5     "%%EOF", a line end, then the updates, if any:
//                 "N G obj" ... "xref" ... "trailer" ... "%%EOF" each
//   end     5     the last "%%EOF", then its line end (the last bytes)
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
// Updates followed at most; each moves on by at least one "%%EOF".
constexpr int kMaxUpdates = 4096;
// Blank bytes allowed between an "%%EOF" line and the update after it.
constexpr std::uint64_t kMaxBlankBeforeUpdate = 1024;
// Comment lines allowed at the start of an update, and their length.
constexpr int kMaxUpdateComments = 4;
constexpr std::uint64_t kMaxCommentLine = 256;
// "startxref", its number and "%%EOF" lie within this many bytes.
constexpr std::uint64_t kStartXrefReach = 64;

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
bool Blank(std::uint8_t b) { return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == '\f'; }
bool Digit(std::uint8_t b) { return b >= '0' && b <= '9'; }

// The bytes of the line end at `at`: CR LF, CR or LF.
std::uint64_t LineEndAt(const ByteView& view, std::uint64_t at) {
    const auto b = view.U8(at);
    if (b == std::uint8_t {'\r'}) return view.U8(at + 1) == std::uint8_t {'\n'} ? 2 : 1;
    return b == std::uint8_t {'\n'} ? 1 : 0;
}

// True when the bytes at `at` begin an incremental update: "N G obj",
// "xref" or "trailer".
bool UpdateStartsAt(const ByteView& view, std::uint64_t at) {
    if (view.Equals(at, "xref") || view.Equals(at, "trailer")) return true;
    std::uint64_t p = at;
    for (int number = 0; number < 2; ++number) {
        const std::uint64_t digits = p;
        while (p - digits < 10 && view.U8(p) && Digit(*view.U8(p))) ++p;
        if (p == digits) return false;
        const std::uint64_t blanks = p;
        while (p - blanks < 8 && view.U8(p) && Blank(*view.U8(p))) ++p;
        if (p == blanks) return false;
    }
    return view.Equals(p, "obj");
}

// The decimal number after "startxref" right before the "%%EOF" at `eof`.
std::optional<std::uint64_t> StartXrefBefore(const ByteView& view, std::uint64_t eof) {
    static const Pattern keyword = MakePattern("startxref", true);
    const std::uint64_t from = eof > kStartXrefReach ? eof - kStartXrefReach : 0;
    std::optional<std::uint64_t> at;
    for (std::uint64_t p = from; p < eof;) {
        const auto found = FindPattern(keyword, view.Sub(p, eof - p));
        if (!found) break;
        at = p + *found;
        p = *at + 1;
    }
    if (!at) return std::nullopt;
    std::uint64_t p = *at + 9;
    while (p < eof && Blank(view.data()[p])) ++p;
    if (p >= eof || !Digit(view.data()[p])) return std::nullopt;
    std::uint64_t value = 0;
    for (int digits = 0; p < eof && Digit(view.data()[p]) && digits < 15; ++p, ++digits) value = value * 10 + (view.data()[p] - '0');
    return value;
}

// True when the trailer of the section [from, eof) names `previous` as the
// cross-reference section before it ("/Prev N").
bool PrevIs(const ByteView& view, std::uint64_t from, std::uint64_t eof, std::uint64_t previous) {
    static const Pattern key = MakePattern("/Prev", true);
    for (std::uint64_t p = from; p < eof;) {
        const auto found = FindPattern(key, view.Sub(p, eof - p));
        if (!found) return false;
        std::uint64_t q = p + *found + 5;
        while (q < eof && Blank(view.data()[q])) ++q;
        std::uint64_t value = 0;
        int digits = 0;
        for (; q < eof && Digit(view.data()[q]) && digits < 15; ++q, ++digits) value = value * 10 + (view.data()[q] - '0');
        if (digits > 0 && value == previous) return true;
        p = p + *found + 1;
    }
    return false;
}

}  // namespace

ExtractResult ExtractPdf(const TypeSpec& typeSpec, const CarveInput& input) {
    const std::span<const std::uint8_t> bytes = input.bytes;
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

    // Bytes past the ones given may hold more of the file, unless the disk
    // ends there or maxLength is reached.
    const bool canWait = !input.complete && afterHeader < typeSpec.maxLength;
    const std::uint64_t reach = headerEnd + area;
    static const Pattern startOfFile = MakePattern("%PDF-", true);
    std::uint64_t end = *footer + typeSpec.footer.size();
    if (end + 2 > view.size() && canWait) return ExtractResult::Undecided();
    end += LineEndAt(view, end);
    std::uint64_t lastEof = *footer;
    for (int updates = 0; updates < kMaxUpdates; ++updates) {
        std::uint64_t at = end;
        while (at < view.size() && at - end < kMaxBlankBeforeUpdate && Blank(view.data()[at])) ++at;
        // Comment lines first; a header line among them.
        bool headerLine = false;
        for (int comments = 0; comments < kMaxUpdateComments && view.U8(at) == std::uint8_t {'%'} &&
                               !view.Equals(at, "%%EOF");
             ++comments) {
            headerLine = headerLine || view.Equals(at, "%PDF-");
            std::uint64_t line = at;
            while (line < view.size() && line - at < kMaxCommentLine && view.data()[line] != '\n' &&
                   view.data()[line] != '\r')
                ++line;
            at = line;
            while (at < view.size() && Blank(view.data()[at])) ++at;
        }
        if (at + 16 > view.size() && canWait) return ExtractResult::Undecided();
        if (!UpdateStartsAt(view, at)) break;
        const auto next = FindIn(typeSpec.footer, view, at, reach > at ? reach - at : 0);
        if (!next) {
            if (canWait) return ExtractResult::Undecided();
            break;
        }
        // Another document's header before it: that "%%EOF" is not ours.
        if (FindIn(startOfFile, view, at, *next - at)) break;
        if (headerLine) {
            const auto previous = StartXrefBefore(view, lastEof);
            if (!previous || !PrevIs(view, at, *next, *previous)) break;
        }
        lastEof = *next;
        end = *next + typeSpec.footer.size();
        if (end + 2 > view.size() && canWait) return ExtractResult::Undecided();
        end += LineEndAt(view, end);
    }
    return ExtractResult::Record(static_cast<std::int64_t>(end), CarvedFile {0, end, typeSpec.suffix});
}

}  // namespace qb::cdr

// HTML pages: from "<html", or from the "<!DOCTYPE html" that opens most
// pages of today, to the first "</html>", all compared without regard to
// case.
//
// Page (text):
//   OFFSET  SIZE  DESCRIPTION
//   0       5     "<html" (any case), or
//   0       14    "<!DOCTYPE html" (any case)
//   5 / 14  16    text: printable bytes, tabs and line ends (LF or CR LF)
//   ...           the rest of the page
//   n       7     "</html>" (any case), the page's last bytes
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kTextCheck = 16;  // bytes after the header that must be text
constexpr std::uint64_t kTailReserve = 10;

// Printable bytes, tabs and line ends. Carriage returns count as text too:
// pages saved on Windows end their lines with CR LF, and turning them down
// would lose every such page.
bool IsTextByte(std::uint8_t b) { return (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r'; }
}  // namespace

ExtractResult ExtractHtml(const TypeSpec& typeSpec, const CarveInput& input) {
    const std::span<const std::uint8_t> bytes = input.bytes;
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    // Which of the two headers opens the page.
    const bool doctype = view.U8(1) == std::uint8_t {'!'};
    const std::uint64_t headerEnd = doctype && !typeSpec.moreHeaders.empty() ? typeSpec.moreHeaders.front().size()
                                                                           : typeSpec.header.size();
    if (!view.Has(headerEnd, kTextCheck)) return ExtractResult::Undecided();

    for (std::uint64_t i = 0; i < kTextCheck; ++i) {
        if (!IsTextByte(bytes[headerEnd + i]))
            return ExtractResult::ContinueAt(static_cast<std::int64_t>(headerEnd + kTextCheck));
    }

    // The footer is searched within maxLength bytes when that many follow the
    // header, else within the bytes available less a few.
    const std::uint64_t afterHeader = available - headerEnd;
    const std::uint64_t limit = afterHeader >= typeSpec.maxLength ? typeSpec.maxLength : available - kTailReserve;
    const auto found = FindPattern(typeSpec.footer, view.Sub(headerEnd, limit));
    if (!found) return ExtractResult::Undecided();

    const std::uint64_t end = headerEnd + *found + typeSpec.footer.size();
    return ExtractResult::Record(static_cast<std::int64_t>(end), CarvedFile {0, end, typeSpec.suffix});
}

}  // namespace qb::cdr

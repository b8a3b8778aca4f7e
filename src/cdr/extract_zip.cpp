// ZIP archives, and the formats built on them (OpenOffice documents, Java
// archives): the local entries are walked, then the archive ends with the
// end-of-central-directory record and its comment.
//
// Local file header (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       4     signature 50 4B 03 04
//   4       2     version needed to extract
//   6       2     flags; bit 3: sizes and CRC follow the data in a descriptor
//   8       2     compression method (0 stored, 8 deflated)
//   10      4     modification time and date (MS-DOS)
//   14      4     CRC-32 of the uncompressed data
//   18      4     compressed size
//   22      4     uncompressed size
//   26      2     name length
//   28      2     extra field length
//   30      n     name, then the extra field, then the compressed data
//
// An OpenOffice document's first entry is the stored "mimetype" file:
//   30      8     "mimetype"
//   38      n     "application/vnd.sun.xml.writer" (or calc, impress, ...)
//
// End of central directory record:
//   0       4     signature 50 4B 05 06
//   4       2     number of this disk
//   6       2     disk holding the central directory
//   8       2     central directory entries on this disk
//   10      2     central directory entries in all
//   12      4     central directory size
//   16      4     central directory offset
//   20      2     comment length
//   22      n     comment
#include <string>
#include <string_view>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAvailable = 100;
constexpr std::uint64_t kLocalHeader = 30;
constexpr std::uint32_t kMaxNameLength = 100;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint64_t kOfficeSearch = 1 * kMiB;
constexpr std::uint64_t kEndRecord = 22;
constexpr std::uint64_t kEndRecordFromFooter = 21;  // the footer starts one byte into the record

std::string OfficeExtension(const ByteView& view) {
    if (view.Equals(62, "calc")) return "sxc";
    if (view.Equals(62, "impress")) return "sxi";
    if (view.Equals(62, "writer")) return "sxw";
    return "sx";
}

bool Contains(std::span<const std::uint8_t> name, std::string_view part) {
    const std::string_view text(reinterpret_cast<const char*>(name.data()), name.size());
    return text.find(part) != std::string_view::npos;
}
}  // namespace

ExtractResult ExtractZip(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes) {
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    if (available < kMinimumAvailable) return ExtractResult::Undecided();

    const bool office = view.Equals(30, "mimetypeapplication/vnd.sun.xml.");
    std::string extension = office ? OfficeExtension(view) : "zip";

    // Each entry moves the cursor on by at least its 30-byte header.
    std::uint64_t cursor = 0;
    bool descriptorStop = false;
    for (;;) {
        const auto b2 = view.U8(cursor + 2);
        const auto b3 = view.U8(cursor + 3);
        if (!b2 || !b3) return ExtractResult::Undecided();
        if (*b2 != 0x03 || *b3 != 0x04) break;
        if (!view.Has(cursor, kLocalHeader)) return ExtractResult::Undecided();

        const std::uint16_t flags = *view.Le16(cursor + 6);
        const std::uint32_t compressed = *view.Le32(cursor + 18);
        const std::uint32_t uncompressed = *view.Le32(cursor + 22);
        const std::uint16_t nameLength = *view.Le16(cursor + 26);
        const std::uint16_t extraLength = *view.Le16(cursor + 28);
        if (compressed > typeSpec.maxLength || nameLength > kMaxNameLength)
            return ExtractResult::ContinueAt(static_cast<std::int64_t>(cursor + 4));
        const std::uint64_t next = cursor + kLocalHeader + nameLength + extraLength + compressed;
        if (next > available) return ExtractResult::Undecided();

        if (extension == "zip") {
            const auto name = view.Sub(cursor + kLocalHeader, nameLength);
            if (std::string_view(reinterpret_cast<const char*>(name.data()), name.size()) == "content.xml")
                extension = "sx";
            else if (Contains(name, ".class") || Contains(name, ".jar") || Contains(name, ".java"))
                extension = "jar";
        }
        cursor = next;
        if ((flags & kFlagDescriptor) != 0 && compressed == 0 && uncompressed == 0) {
            descriptorStop = true;
            break;
        }
    }

    const std::uint64_t afterCursor = available - cursor;
    std::uint64_t limit = afterCursor;
    if (extension.starts_with("sx"))
        limit = kOfficeSearch;
    else if (descriptorStop)
        limit = typeSpec.maxLength;
    if (limit > afterCursor) limit = afterCursor;

    // The record starts one byte before the footer, so the footer is never
    // the first byte.
    const std::uint64_t from = cursor > 0 ? cursor : 1;
    const auto found = FindPattern(typeSpec.footer, view.Sub(from, limit > from - cursor ? limit - (from - cursor) : 0));
    if (!found) return ExtractResult::ContinueAt(static_cast<std::int64_t>(cursor));
    const std::uint64_t footer = from + *found;
    if (available - footer < kEndRecordFromFooter) return ExtractResult::Undecided();

    // The record starts one byte before the footer; a comment that runs past
    // the bytes given is left to the engine's re-read.
    const std::uint64_t record = footer - 1;
    const std::uint64_t end = record + kEndRecord + *view.Le16(record + 20);
    if (end > available) return ExtractResult::Undecided();

    const auto resume = static_cast<std::int64_t>(end - 1);
    if (!ExtensionAllowed(typeSpec.typeId, extension)) return ExtractResult::ContinueAt(resume);
    return ExtractResult::Record(resume, CarvedFile {0, end, std::move(extension)});
}

}  // namespace qb::cdr

// ZIP archives, and the formats built on them (OpenOffice and
// OpenDocument files, Office Open XML documents, Android packages, Java
// archives, EPUB books): the local entries are walked, then the archive ends
// with the end-of-central-directory record and its comment. The record
// whose central directory lies right before it is the archive's own (a
// stored archive inside has one of its own, earlier); the names in the
// central directory (or, without it, those of the local entries) tell
// which kind of document the archive is.
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
// An OpenOffice or OpenDocument file's first entry is the stored
// "mimetype" file:
//   30      8     "mimetype"
//   38      n     "application/vnd.sun.xml.writer" (or calc, impress, ...),
//                 "application/vnd.oasis.opendocument.text" (or
//                 spreadsheet, presentation, graphics, ...), or
//                 "application/epub+zip"
//
// Central directory file header:
//   0       4     signature 50 4B 01 02
//   28      2     name length
//   30      2     extra field length
//   32      2     comment length
//   46      n     name, extra field, comment
//
// End of central directory record:
//   0       4     signature 50 4B 05 06
//   4       2     number of this disk
//   6       2     disk holding the central directory
//   8       2     central directory entries on this disk
//   10      2     central directory entries in all
//   12      4     central directory size
//   16      4     central directory offset (FFFFFFFF: in the ZIP64 record)
//   20      2     comment length
//   22      n     comment
//
// Kinds by the names inside: AndroidManifest.xml an Android package (apk);
// [Content_Types].xml with word/, xl/ or ppt/ a Word, Excel or PowerPoint
// document (docx, xlsx, pptx); content.xml an OpenOffice document of
// unknown kind (sx); a name with ".class", ".jar" or ".java" a Java
// archive (jar).
#include <string>
#include <string_view>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAvailable = 100;
constexpr std::uint64_t kLocalHeader = 30;
constexpr std::uint64_t kCentralHeader = 46;
// Entry names are paths; deep ones (Java packages, vendored source trees)
// run well past 100 bytes. No file system gives a path longer than this.
constexpr std::uint32_t kMaxNameLength = 4096;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint64_t kOfficeSearch = 1 * kMiB;
constexpr std::uint64_t kEndRecord = 22;
constexpr std::uint64_t kEndRecordFromFooter = 21;  // the footer starts one byte into the record
// End records tried before the first found is taken as the archive's.
constexpr int kMaxEndRecords = 64;
// Central directory entries read for the names.
constexpr std::uint64_t kMaxCentralEntries = 65536;

std::string OfficeExtension(const ByteView& view) {
    if (view.Equals(62, "calc")) return "sxc";
    if (view.Equals(62, "impress")) return "sxi";
    if (view.Equals(62, "writer")) return "sxw";
    return "sx";
}

// An OpenDocument or EPUB file by its mimetype entry; empty otherwise.
std::string MimetypeExtension(const ByteView& view) {
    if (view.Equals(30, "mimetypeapplication/epub+zip")) return "epub";
    if (!view.Equals(30, "mimetypeapplication/vnd.oasis.opendocument.")) return {};
    const std::uint64_t kind = 30 + 43;
    if (view.Equals(kind, "text")) return "odt";
    if (view.Equals(kind, "spreadsheet")) return "ods";
    if (view.Equals(kind, "presentation")) return "odp";
    if (view.Equals(kind, "graphics")) return "odg";
    return "odf";
}

std::string_view Text(std::span<const std::uint8_t> name) {
    return {reinterpret_cast<const char*>(name.data()), name.size()};
}

// What the entry names say, in the order they come.
struct Names {
    std::string described;  // "sx" or "jar" from the first name that makes one
    bool android = false;
    bool contentTypes = false;
    bool word = false, excel = false, powerPoint = false;

    void Add(std::string_view name) {
        if (described.empty()) {
            if (name == "content.xml")
                described = "sx";
            else if (name.find(".class") != std::string_view::npos || name.find(".jar") != std::string_view::npos ||
                     name.find(".java") != std::string_view::npos)
                described = "jar";
        }
        if (name == "AndroidManifest.xml") android = true;
        if (name == "[Content_Types].xml") contentTypes = true;
        if (name.starts_with("word/")) word = true;
        if (name.starts_with("xl/")) excel = true;
        if (name.starts_with("ppt/")) powerPoint = true;
    }
    std::string Extension() const {
        if (android) return "apk";
        if (contentTypes && word) return "docx";
        if (contentTypes && excel) return "xlsx";
        if (contentTypes && powerPoint) return "pptx";
        return described.empty() ? "zip" : described;
    }
};

// The names of the central directory that ends at `record`; false when
// there is no whole central directory there.
bool CentralNames(const ByteView& view, std::uint64_t record, Names* names) {
    const auto size = view.Le32(record + 12);
    const auto offset = view.Le32(record + 16);
    const auto count = view.Le16(record + 10);
    if (!size || !offset || !count || *offset == 0xFFFFFFFF) return false;
    if (std::uint64_t {*offset} + *size != record) return false;
    std::uint64_t at = *offset;
    for (std::uint64_t n = 0; n < *count && n < kMaxCentralEntries; ++n) {
        if (!view.Equals(at, "PK\x01\x02") || !view.Has(at, kCentralHeader)) return false;
        const std::uint64_t nameLength = *view.Le16(at + 28);
        names->Add(Text(view.Sub(at + kCentralHeader, nameLength)));
        at += kCentralHeader + nameLength + *view.Le16(at + 30) + *view.Le16(at + 32);
    }
    return true;
}

// True when the end record at `record` closes an archive that starts at
// byte 0: its central directory ends right before it (ZIP64 archives keep
// the offset elsewhere and are taken as they come).
bool ClosesThisArchive(const ByteView& view, std::uint64_t record) {
    const auto size = view.Le32(record + 12);
    const auto offset = view.Le32(record + 16);
    if (!size || !offset) return false;
    if (*offset == 0xFFFFFFFF || *size == 0xFFFFFFFF) return true;
    return std::uint64_t {*offset} + *size == record;
}

}  // namespace

ExtractResult ExtractZip(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const std::uint64_t available = view.size();
    if (available < kMinimumAvailable) return ExtractResult::Undecided();
    // Bytes past those given may hold the rest of the archive.
    const bool canWait = !input.complete && available < typeSpec.maxLength;

    const bool office = view.Equals(30, "mimetypeapplication/vnd.sun.xml.");
    std::string extension = office ? OfficeExtension(view) : MimetypeExtension(view);
    Names local;

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

        local.Add(Text(view.Sub(cursor + kLocalHeader, nameLength)));
        cursor = next;
        if ((flags & kFlagDescriptor) != 0 && compressed == 0 && uncompressed == 0) {
            descriptorStop = true;
            break;
        }
    }

    const std::uint64_t afterCursor = available - cursor;
    std::uint64_t limit = afterCursor;
    if (office)
        limit = kOfficeSearch;
    else if (descriptorStop)
        limit = typeSpec.maxLength;
    // The search is cut short by the bytes given: more of them may hold the
    // end record.
    const bool cut = limit >= afterCursor && canWait;
    if (limit > afterCursor) limit = afterCursor;

    // The record starts one byte before the footer, so the footer is never
    // the first byte. The first record found is the archive's unless a
    // later one closes the archive and it does not.
    std::uint64_t from = cursor > 0 ? cursor : 1;
    const std::uint64_t searchEnd = cursor + limit;
    std::optional<std::uint64_t> chosen;
    std::optional<std::uint64_t> firstFound;
    for (int tries = 0; tries < kMaxEndRecords && from < searchEnd; ++tries) {
        const auto found = FindPattern(typeSpec.footer, view.Sub(from, searchEnd - from));
        if (!found) break;
        const std::uint64_t footer = from + *found;
        if (available - footer < kEndRecordFromFooter) return ExtractResult::Undecided();
        if (!firstFound) firstFound = footer;
        if (ClosesThisArchive(view, footer - 1)) {
            chosen = footer;
            break;
        }
        from = footer + 1;
    }
    if (!chosen && firstFound && !cut) chosen = firstFound;
    if (!chosen) {
        if (cut) return ExtractResult::Undecided();
        return ExtractResult::ContinueAt(static_cast<std::int64_t>(cursor));
    }

    // The record starts one byte before the footer; a comment that runs past
    // the bytes given is left to the engine, which gives more of them.
    const std::uint64_t record = *chosen - 1;
    const std::uint64_t end = record + kEndRecord + *view.Le16(record + 20);
    if (end > available) return ExtractResult::Undecided();

    if (extension.empty()) {
        Names central;
        extension = CentralNames(view, record, &central) ? central.Extension() : local.Extension();
    }
    const auto resume = static_cast<std::int64_t>(end - 1);
    if (!ExtensionAllowed(typeSpec.typeId, extension)) return ExtractResult::ContinueAt(resume);
    return ExtractResult::Record(resume, CarvedFile {0, end, std::move(extension)});
}

}  // namespace qb::cdr

// Document samples for the sample card and the extractor tests: HTML pages,
// PDF files (plain, linearised, with an incremental update) and OLE compound
// files holding Word, Excel and PowerPoint streams, built byte by byte,
// deterministically, with the structure real files have, and options for
// the variants and defects the tests need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb::tools {

struct HtmlSampleOptions {
    std::string title = "Summer trip";
    int paragraphs = 4;
    std::uint32_t seed = 1;
    bool upperCaseTags = false;   // <HTML> ... </HTML>, as older editors wrote them
    bool crlfLineEnds = false;    // CR LF line ends (a CR follows "<html>")
    bool doctype = false;         // a <!DOCTYPE html> line before <html>
    bool closingTag = true;       // </html> at the end
    bool trailingLineEnd = false; // a line end after </html>
    // When above the natural size, the page is grown to exactly this size
    // with a comment in the body.
    std::size_t totalSize = 0;
};

// A small page: head with title and style, body with a heading, paragraphs
// and a list of links.
std::vector<std::uint8_t> BuildHtml(const HtmlSampleOptions& options = {});

struct PdfSampleOptions {
    int minorVersion = 4;
    int pages = 2;
    std::uint32_t seed = 1;
    bool binaryComment = true;  // the %E2E3CFD3 comment line after the header
    std::string lineEnd = "\n"; // "\r\n" as some writers use
    // A linearised file: the linearisation dictionary with the file's
    // length (/L), the first-page cross-reference section with its own
    // trailer and "%%EOF", the hint stream, then the rest of the objects.
    bool linearized = false;
    std::optional<std::uint64_t> declaredLength;  // another /L than the file's length
    // An update section appended after the first "%%EOF" (a changed Info
    // dictionary, its cross-reference section and trailer, a second "%%EOF").
    bool incrementalUpdate = false;
    bool finalEof = true;  // the last "%%EOF" and its line end
    // When above the natural size, the file is grown to exactly this size
    // with comment lines in the last page's content stream.
    std::size_t totalSize = 0;
};

// A text document: catalog, page tree, one Helvetica font, pages with
// content streams, an Info dictionary, cross-reference table and trailer.
std::vector<std::uint8_t> BuildPdf(const PdfSampleOptions& options = {});

// One stream of a compound file.
struct OleStream {
    std::string name;  // may begin with a control character (05 "SummaryInformation")
    std::vector<std::uint8_t> data;
};

struct OleSampleOptions {
    // In directory order after the root entry.
    std::vector<OleStream> streams;
    // The directory sectors after the streams (as Word places them) rather
    // than right after the FAT.
    bool directoryLast = false;
    // DIFAT sectors chained from the header and placed at the end of the
    // file. Every FAT sector already fits the header's 109 slots, so they
    // hold only free entries, as writers that reserve them leave them.
    int difatSectors = 0;
    // Version 4: 4096-byte sectors (the header padded to one of them).
    bool largeSectors = false;
};

// A built compound file and where its parts lie (sector numbers; sector k
// starts at byte (k + 1) * sectorSize; SectorOffset is for 512-byte ones).
struct OleSample {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> fatSectors;
    std::vector<std::uint32_t> difatSectors;
    std::vector<std::uint32_t> directorySectors;  // in chain order
    std::vector<std::uint32_t> miniFatSectors;
    std::uint32_t directoryEntries = 0;  // the root entry and one per stream
    std::size_t sectorSize = 512;

    static std::size_t SectorOffset(std::uint32_t sector) { return (std::size_t {sector} + 1) * 512; }
};

// Version 3 (512-byte sectors, 64-byte mini sectors, cutoff 4096): header,
// FAT, directory as a red-black tree, mini FAT and mini stream for the small
// streams, whole sectors for the large ones.
OleSample BuildOle(const OleSampleOptions& options);

struct OfficeSampleOptions {
    std::uint32_t seed = 1;
    std::size_t mainStreamSize = 9000;  // the WordDocument, Workbook or PowerPoint Document stream
    bool directoryLast = false;
};

// The streams of a Word 97-2003 document: WordDocument (with its FIB),
// 1Table, 01 "CompObj", 05 "SummaryInformation", 05 "DocumentSummaryInformation".
OleSampleOptions WordDocumentStreams(const OfficeSampleOptions& options = {});
// An Excel 97-2003 workbook: Workbook (BIFF8 records), the summary streams.
OleSampleOptions ExcelWorkbookStreams(const OfficeSampleOptions& options = {});
// A PowerPoint 97-2003 presentation: PowerPoint Document, Current User, the
// summary streams.
OleSampleOptions PowerPointStreams(const OfficeSampleOptions& options = {});

}  // namespace qb::tools

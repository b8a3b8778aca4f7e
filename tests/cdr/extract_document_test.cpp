// Document extractors (HTML, PDF, OLE compound files) on the sample
// builders' files: exact sizes, where the search resumes, extensions and
// their filter, rejections, undecided cases when the bytes run out, and
// hostile chains and sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/cdr/extractor.h"
#include "src/cdr/type_table.h"
#include "tests/cdr/extractor_test_support.h"
#include "tools/sample_card/document_samples.h"

namespace qb::cdr {
namespace {

using namespace extractortest;
using tools::BuildHtml;
using tools::BuildOle;
using tools::BuildPdf;
using tools::OleSample;
using tools::OleSampleOptions;

// ---------------------------------------------------------------- HTML --

TEST(ExtractHtmlTest, PageEndsAfterItsClosingTag) {
    const Bytes page = BuildHtml();
    const auto size = static_cast<std::int64_t>(page.size());
    ExpectRecorded(ExtractHtml(SpecFor(kTypeHtm), WithTail(page, 64)), page.size(), "htm", size);
}

TEST(ExtractHtmlTest, TagsMatchInAnyCase) {
    tools::HtmlSampleOptions o;
    o.upperCaseTags = true;
    const Bytes page = BuildHtml(o);
    ExpectRecorded(ExtractHtml(SpecFor(kTypeHtm), WithTail(page, 64)), page.size(), "htm",
                   static_cast<std::int64_t>(page.size()));
}

TEST(ExtractHtmlTest, FileStartsAtTheTagNotAtTheDoctype) {
    tools::HtmlSampleOptions o;
    o.doctype = true;
    o.trailingLineEnd = true;
    const Bytes file = BuildHtml(o);
    const std::size_t tag = FindText(file, "<html");
    const Bytes fromTag(file.begin() + static_cast<std::ptrdiff_t>(tag), file.end());
    const std::size_t size = fromTag.size() - 1;  // the line end after </html> is not part of it
    ExpectRecorded(ExtractHtml(SpecFor(kTypeHtm), WithTail(fromTag, 64)), size, "htm",
                   static_cast<std::int64_t>(size));
}

TEST(ExtractHtmlTest, FirstClosingTagEndsThePage) {
    const Bytes page = BuildHtml();
    Bytes two = page;
    two.insert(two.end(), page.begin(), page.end());
    ExpectRecorded(ExtractHtml(SpecFor(kTypeHtm), WithTail(two, 64)), page.size(), "htm",
                   static_cast<std::int64_t>(page.size()));
}

TEST(ExtractHtmlTest, BytesAfterTheTagMustBeText) {
    // CR LF line ends (a page saved on Windows) are text.
    tools::HtmlSampleOptions o;
    o.crlfLineEnds = true;
    const Bytes windowsPage = BuildHtml(o);
    ExpectRecorded(ExtractHtml(SpecFor(kTypeHtm), WithTail(windowsPage, 64)), windowsPage.size(), "htm",
                   static_cast<std::int64_t>(windowsPage.size()));

    Bytes page = BuildHtml();
    page[20] = 0xC3;  // a UTF-8 lead byte
    ExpectContinue(ExtractHtml(SpecFor(kTypeHtm), WithTail(page, 64)), 21);
    page[20] = '\t';  // tabs and line feeds are text
    EXPECT_TRUE(ExtractHtml(SpecFor(kTypeHtm), WithTail(page, 64)).file.has_value());
    page[21] = 0x01;  // only the first 16 bytes are looked at
    EXPECT_TRUE(ExtractHtml(SpecFor(kTypeHtm), WithTail(page, 64)).file.has_value());
}

TEST(ExtractHtmlTest, UndecidedWithoutClosingTagOrBytes) {
    tools::HtmlSampleOptions o;
    o.closingTag = false;
    ExpectUndecided(ExtractHtml(SpecFor(kTypeHtm), WithTail(BuildHtml(o), 64)));
    ExpectUndecided(ExtractHtml(SpecFor(kTypeHtm), Head(BuildHtml(), 20)));
    ExpectUndecided(ExtractHtml(SpecFor(kTypeHtm), Bytes {}));
}

TEST(ExtractHtmlTest, FooterIsNotSoughtInTheLastBytes) {
    // Fewer than maxLength bytes after the header: the search stops 5 bytes
    // before the end of the bytes (the bytes available less 10, from the
    // header's end).
    const Bytes page = BuildHtml();
    EXPECT_TRUE(ExtractHtml(SpecFor(kTypeHtm), WithTail(page, 5)).file.has_value());
    ExpectUndecided(ExtractHtml(SpecFor(kTypeHtm), WithTail(page, 4)));
}

TEST(ExtractHtmlTest, FooterBeyondMaxLengthIsNotFound) {
    const Bytes page = BuildHtml();
    const Bytes bytes = WithTail(page, 4096);
    ExpectUndecided(ExtractHtml(SpecFor(kTypeHtm, page.size() - 6), bytes));
    ExpectRecorded(ExtractHtml(SpecFor(kTypeHtm, page.size() - 5), bytes), page.size(), "htm",
                   static_cast<std::int64_t>(page.size()));
}

TEST(ExtractHtmlTest, GrownPageKeepsItsExactSize) {
    tools::HtmlSampleOptions o;
    o.totalSize = 300000;
    const Bytes page = BuildHtml(o);
    ASSERT_EQ(page.size(), 300000u);
    ExpectRecorded(ExtractHtml(SpecFor(kTypeHtm), WithTail(page, 64)), 300000, "htm", 300000);
}

// ----------------------------------------------------------------- PDF --

TEST(ExtractPdfTest, PlainFileEndsAfterItsEofLine) {
    const Bytes pdf = BuildPdf();
    const auto size = static_cast<std::int64_t>(pdf.size());
    ExpectRecorded(ExtractPdf(SpecFor(kTypePdf), WithTail(pdf, 1000)), pdf.size(), "pdf", size);
}

TEST(ExtractPdfTest, IncrementalUpdatesRunToTheLastEof) {
    tools::PdfSampleOptions o;
    o.incrementalUpdate = true;
    const Bytes pdf = BuildPdf(o);
    const std::size_t first = FindText(pdf, "%%EOF");
    ASSERT_LT(first + 6, pdf.size());
    ExpectRecorded(ExtractPdf(SpecFor(kTypePdf), WithTail(pdf, 1000)), pdf.size(), "pdf");
    // What follows an "%%EOF" line is no update: zero filler, or the next
    // document.
    const Bytes plain = BuildPdf({});
    ExpectRecorded(ExtractPdf(SpecFor(kTypePdf), WithTail(plain, 1000, 0x00)), plain.size(), "pdf");
    ExpectRecorded(ExtractPdf(SpecFor(kTypePdf), Concat(plain, pdf)), plain.size(), "pdf");
    // An update whose "%%EOF" lies past the bytes given: more are needed,
    // unless there are none.
    const Bytes cut = Head(pdf, pdf.size() - 20);
    ExpectUndecided(ExtractPdf(SpecFor(kTypePdf), cut));
    CarveInput last(cut);
    last.complete = true;
    ExpectRecorded(ExtractPdf(SpecFor(kTypePdf), last), first + 6, "pdf");
}

TEST(ExtractPdfTest, LinearisedFileEndsAtItsDeclaredLength) {
    // The first-page section's own "%%EOF" lies near the start.
    tools::PdfSampleOptions o;
    o.linearized = true;
    o.pages = 3;
    for (bool update : {false, true}) {
        o.incrementalUpdate = update;
        const Bytes pdf = BuildPdf(o);
        ASSERT_LT(FindText(pdf, "%%EOF"), 1000u);
        ExpectRecorded(ExtractPdf(SpecFor(kTypePdf), WithTail(pdf, 1000)), pdf.size(), "pdf",
                       static_cast<std::int64_t>(pdf.size()));
    }
}

TEST(ExtractPdfTest, LinearisedFileWithCrLfEndsAfterItsLineEnd) {
    tools::PdfSampleOptions o;
    o.linearized = true;
    o.lineEnd = "\r\n";
    o.totalSize = 150000;
    const Bytes pdf = BuildPdf(o);
    ASSERT_EQ(pdf.size(), 150000u);
    ExpectRecorded(ExtractPdf(SpecFor(kTypePdf), WithTail(pdf, 1000)), 150000, "pdf");
}

TEST(ExtractPdfTest, WrongDeclaredLengthLeavesItUndecided) {
    tools::PdfSampleOptions o;
    o.linearized = true;
    const std::size_t size = BuildPdf(o).size();
    o.declaredLength = size - 100;
    ExpectUndecided(ExtractPdf(SpecFor(kTypePdf), WithTail(BuildPdf(o), 1000)));
}

TEST(ExtractPdfTest, EofIsSoughtIn14BytesStarting15BeforeTheDeclaredEnd) {
    tools::PdfSampleOptions o;
    o.linearized = true;
    const std::size_t size = BuildPdf(o).size();  // "%%EOF" at size - 6, then a line feed
    for (std::uint64_t declared = size - 3; declared <= size + 12; ++declared) {
        o.declaredLength = declared;
        const Bytes pdf = BuildPdf(o);
        ASSERT_EQ(pdf.size(), size);
        const ExtractResult r = ExtractPdf(SpecFor(kTypePdf), WithTail(pdf, 1000));
        if (declared >= size && declared <= size + 9)
            ExpectRecorded(r, size, "pdf", static_cast<std::int64_t>(size));
        else
            ExpectUndecided(r);
    }
}

TEST(ExtractPdfTest, DeclaredLengthZeroSkipsTheKey) {
    tools::PdfSampleOptions o;
    o.linearized = true;
    o.declaredLength = 0;
    const Bytes pdf = BuildPdf(o);
    const std::size_t field = FindText(pdf, "/L ") + 3;
    ExpectContinue(ExtractPdf(SpecFor(kTypePdf), WithTail(pdf, 1000)), static_cast<std::int64_t>(field));
}

TEST(ExtractPdfTest, DeclaredLengthPastTheBytes) {
    tools::PdfSampleOptions o;
    o.linearized = true;
    const Bytes pdf = BuildPdf(o);
    const Bytes part = Head(pdf, pdf.size() - 200);
    // A re-read of maxLength bytes would hold it.
    ExpectUndecided(ExtractPdf(SpecFor(kTypePdf), part));
    // It can never fit.
    const std::size_t field = FindText(pdf, "/L ") + 3;
    ExpectContinue(ExtractPdf(SpecFor(kTypePdf, pdf.size() - 1), part), static_cast<std::int64_t>(field));
}

TEST(ExtractPdfTest, ObjMustAppearEarly) {
    const Bytes pdf = BuildPdf();
    const std::size_t firstLine = FindText(pdf, "\n") + 1;
    Bytes late(pdf.begin(), pdf.begin() + static_cast<std::ptrdiff_t>(firstLine));
    late.push_back('%');
    late.insert(late.end(), 120, 'x');
    late.push_back('\n');
    late.insert(late.end(), pdf.begin() + static_cast<std::ptrdiff_t>(firstLine), pdf.end());
    ExpectContinue(ExtractPdf(SpecFor(kTypePdf), WithTail(late, 1000)), 107);
}

TEST(ExtractPdfTest, UndecidedCases) {
    const Bytes pdf = BuildPdf();
    ExpectUndecided(ExtractPdf(SpecFor(kTypePdf), Head(pdf, 7 + 511)));  // fewer than 512 after the header
    ExpectUndecided(ExtractPdf(SpecFor(kTypePdf), Head(pdf, 3)));
    tools::PdfSampleOptions o;
    o.finalEof = false;
    ExpectUndecided(ExtractPdf(SpecFor(kTypePdf), WithTail(BuildPdf(o), 1000)));
    // Only maxLength bytes after the header are searched.
    ExpectUndecided(ExtractPdf(SpecFor(kTypePdf, pdf.size() - 7 - 6), WithTail(pdf, 1000)));
    ExpectRecorded(ExtractPdf(SpecFor(kTypePdf, pdf.size() - 7 - 1), WithTail(pdf, 1000)), pdf.size(), "pdf",
                   static_cast<std::int64_t>(pdf.size()));
}

TEST(ExtractPdfTest, EofAtTheVeryEndOfTheDiskStaysInsideTheBytes) {
    const Bytes pdf = BuildPdf();
    const Bytes cut = Head(pdf, pdf.size() - 1);  // the line end after %%EOF is missing
    ExpectUndecided(ExtractPdf(SpecFor(kTypePdf), cut));
    CarveInput last(cut);
    last.complete = true;
    ExpectRecorded(ExtractPdf(SpecFor(kTypePdf), last), cut.size(), "pdf");
}

TEST(ExtractPdfTest, HostileDeclaredLengths) {
    tools::PdfSampleOptions o;
    o.linearized = true;
    for (std::uint64_t declared : {1ull, 14ull, 15ull, 99999999ull}) {
        o.declaredLength = declared;
        const Bytes pdf = BuildPdf(o);
        const ExtractResult r = ExtractPdf(SpecFor(kTypePdf, 1000), WithTail(pdf, 100));
        EXPECT_FALSE(r.file.has_value()) << declared;
    }
}

// ----------------------------------------------------------------- OLE --

OleSampleOptions Streams(std::initializer_list<std::pair<std::string, std::size_t>> streams) {
    OleSampleOptions o;
    for (const auto& [name, size] : streams) o.streams.push_back({name, Bytes(size, 0x5A)});
    return o;
}

// WordDocument (5000 bytes) then Workbook (100): FAT in sector 0, the
// directory (3 entries) in sector 1, mini FAT in 2, mini stream in 3,
// WordDocument in 4 to 13. The estimate: streams 5120 + 128, 1024, the
// directory 512, FAT 512, mini FAT 512 = 7808, rounded up to 8192; the
// highest sector read is 1 (N = 7), so the search resumes at 7 * 512 - 2560.
TEST(ExtractOleTest, FirstKnownStreamNameGivesTheExtension) {
    const OleSample word = BuildOle(Streams({{"WordDocument", 5000}, {"Workbook", 100}}));
    ASSERT_EQ(word.bytes.size(), 15u * 512);
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), WithTail(word.bytes, 4096)), 8192, "doc", 1024);

    const OleSample book = BuildOle(Streams({{"Workbook", 100}, {"WordDocument", 5000}}));
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), WithTail(book.bytes, 4096)), 8192, "xls", 1024);

    const OleSample other = BuildOle(Streams({{"Contents", 5000}, {"Ole10Native", 100}}));
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), WithTail(other.bytes, 4096)), 8192, "ole", 1024);
}

TEST(ExtractOleTest, OfficeDocumentsGetTheirExtensions) {
    struct Case {
        OleSampleOptions streams;
        const char* extension;
    };
    const Case cases[] = {{tools::WordDocumentStreams(), "doc"},
                          {tools::ExcelWorkbookStreams(), "xls"},
                          {tools::PowerPointStreams(), "ppt"}};
    for (const Case& c : cases) {
        const OleSample sample = BuildOle(c.streams);
        const ExtractResult r = ExtractOle(SpecFor(kTypeOle), WithTail(sample.bytes, 8192));
        ASSERT_TRUE(r.file.has_value()) << c.extension;
        EXPECT_EQ(r.file->suffix, c.extension);
        // The estimate covers the file and stays within a few sectors of it.
        EXPECT_GE(r.file->size, sample.bytes.size());
        EXPECT_LE(r.file->size, sample.bytes.size() + 4 * 512);
        EXPECT_EQ(r.file->size % 512, 0u);
    }
}

TEST(ExtractOleTest, DirectoryAtTheEndRaisesTheSize) {
    // The highest sector read is the directory's last (sector 13 of 14):
    // N = 19 sectors, more than the estimate.
    OleSampleOptions o = Streams({{"WordDocument", 5000}, {"Workbook", 100}});
    o.directoryLast = true;
    const OleSample sample = BuildOle(o);
    ASSERT_EQ(sample.directorySectors, std::vector<std::uint32_t> {13});
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), WithTail(sample.bytes, 8192)), 19 * 512, "doc", 14 * 512);
    // More bytes may follow; when none do, the file is cut to the bytes
    // given, and the search still resumes at the highest sector read.
    ExpectUndecided(ExtractOle(SpecFor(kTypeOle), sample.bytes));
    CarveInput last(sample.bytes);
    last.complete = true;
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), last), sample.bytes.size(), "doc", 14 * 512);
}

TEST(ExtractOleTest, ExtensionFilterOfTheSingleTypeIds) {
    const OleSample word = BuildOle(tools::WordDocumentStreams());
    const Bytes bytes = WithTail(word.bytes, 8192);
    const ExtractResult all = ExtractOle(SpecFor(kTypeOle), bytes);
    ASSERT_TRUE(all.file.has_value());
    const ExtractResult doc = ExtractOle(SpecFor(kTypeDoc), bytes);
    ASSERT_TRUE(doc.file.has_value());
    EXPECT_EQ(doc.file->suffix, "doc");
    EXPECT_EQ(doc.file->size, all.file->size);
    ExpectContinue(ExtractOle(SpecFor(kTypeXls), bytes), *all.resume);
    ExpectContinue(ExtractOle(SpecFor(kTypePpt), bytes), *all.resume);

    const OleSample show = BuildOle(tools::PowerPointStreams());
    EXPECT_TRUE(ExtractOle(SpecFor(kTypePpt), WithTail(show.bytes, 8192)).file.has_value());
    // An "ole" file passes only the id of all extensions.
    const OleSample plain = BuildOle(Streams({{"Contents", 5000}}));
    EXPECT_FALSE(ExtractOle(SpecFor(kTypeDoc), WithTail(plain.bytes, 8192)).file.has_value());
}

TEST(ExtractOleTest, HeaderValidation) {
    const Bytes good = WithTail(BuildOle(Streams({{"WordDocument", 5000}})).bytes, 4096);
    struct Patch {
        std::size_t at;
        std::uint32_t value;
        int width;
    };
    const Patch patches[] = {{30, 12, 2},   {32, 7, 2},   {34, 1, 2}, {38, 1, 2},
                             {40, 1, 4},    {44, 0, 4},   {44, 101, 4}, {72, 101, 4}};
    for (const Patch& p : patches) {
        Bytes bad = good;
        if (p.width == 2)
            SetLe16(bad, p.at, p.value);
        else
            SetLe32(bad, p.at, p.value);
        ExpectContinue(ExtractOle(SpecFor(kTypeOle), bad), 512);
        // With fewer than 512 bytes, at their end.
        ExpectContinue(ExtractOle(SpecFor(kTypeOle), Head(bad, 300)), 300);
    }
    ExpectUndecided(ExtractOle(SpecFor(kTypeOle), Head(good, 75)));
    ExpectUndecided(ExtractOle(SpecFor(kTypeOle), Head(good, 511)));
}

TEST(ExtractOleTest, DirectoryStartOutsideTheFile) {
    Bytes bytes = WithTail(BuildOle(Streams({{"WordDocument", 5000}})).bytes, 4096);
    SetLe32(bytes, 48, 0xFFFFFFFE);  // negative: end of chain
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), bytes), 10);
    SetLe32(bytes, 48, 0x7FFFFFF0);  // beyond the bytes: a re-read may reach it
    ExpectUndecided(ExtractOle(SpecFor(kTypeOle), bytes));
}

// Ten entries: directory sectors 1, 2 (full) and 3 (two entries).
OleSample LongDirectory() {
    OleSampleOptions o;
    for (int i = 0; i < 9; ++i) o.streams.push_back({"Stream" + std::to_string(i), Bytes(100, 0x33)});
    return BuildOle(o);
}

std::size_t FatEntry(const OleSample& s, std::uint32_t sector) {
    return OleSample::SectorOffset(s.fatSectors[0]) + 4 * std::size_t {sector};
}

TEST(ExtractOleTest, LongDirectoryChainIsWalked) {
    const OleSample sample = LongDirectory();
    ASSERT_EQ(sample.directorySectors, (std::vector<std::uint32_t> {1, 2, 3}));
    // Streams 9 * 128, 1024, directory 10 * 128 -> 1536, FAT 512, mini FAT
    // 512 = 4736 -> 5120; highest read 3 -> N = 9 -> 4608 is less.
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), WithTail(sample.bytes, 8192)), 5120, "ole", 9 * 512 - 2560);
}

TEST(ExtractOleTest, BrokenDirectoryChainsGiveUpTheFile) {
    const OleSample sample = LongDirectory();
    const Bytes good = WithTail(sample.bytes, 8192);
    const std::int64_t giveUp = 2 * 512;  // (first directory sector + 1) * 512
    auto withNext = [&](std::uint32_t sector, std::uint32_t next) {
        Bytes b = good;
        SetLe32(b, FatEntry(sample, sector), next);
        return b;
    };
    // A cycle through full sectors: 300 steps, then given up.
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), withNext(2, 1)), giveUp);
    // Free, a mark below -1, a sector past the bytes.
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), withNext(1, 0xFFFFFFFF)), giveUp);
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), withNext(1, 0xFFFFFFFD)), giveUp);
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), withNext(1, 0x00FFFFFF)), giveUp);
    // A next sector starting with a zero byte.
    Bytes zeroFirst = good;
    zeroFirst[OleSample::SectorOffset(2)] = 0;
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), zeroFirst), giveUp);
    // The FAT sector itself out of reach.
    Bytes noFat = good;
    SetLe32(noFat, 76, 0x7FFFFFFF);
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), noFat), giveUp);
    // A sector that names itself ends the chain there: one sector read.
    const ExtractResult self = ExtractOle(SpecFor(kTypeOle), withNext(1, 1));
    ASSERT_TRUE(self.file.has_value());
    // Streams 3 * 128, 1024, 4 entries 512, FAT 512, mini FAT 512 = 2944 -> 3072.
    EXPECT_EQ(self.file->size, 3584u);  // N = 1 + 6 = 7 sectors
}

TEST(ExtractOleTest, SuspiciousEntriesGiveUpTheFile) {
    const OleSample sample = BuildOle(Streams({{"WordDocument", 5000}, {"Workbook", 100}}));
    const Bytes good = WithTail(sample.bytes, 4096);
    const std::size_t entry = OleSample::SectorOffset(sample.directorySectors[0]) + 128;  // WordDocument
    auto renamed = [&](std::string_view name) {
        Bytes b = good;
        std::fill(b.begin() + static_cast<std::ptrdiff_t>(entry), b.begin() + static_cast<std::ptrdiff_t>(entry + 64), 0);
        for (std::size_t i = 0; i < name.size(); ++i) b[entry + 2 * i] = static_cast<std::uint8_t>(name[i]);
        SetLe16(b, entry + 64, static_cast<std::uint32_t>((name.size() + 1) * 2));
        return b;
    };
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), renamed("Catalog")), 1024);     // a thumbnail cache
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), renamed("@Stream")), 1024);
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), renamed("a.b,c;d!")), 1024);  // 4 punctuation marks
    EXPECT_TRUE(ExtractOle(SpecFor(kTypeOle), renamed("a.b,c;d")).file.has_value());  // 3 are allowed
    Bytes badLength = good;
    SetLe16(badLength, entry + 64, 0);
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), badLength), 1024);
    SetLe16(badLength, entry + 64, 65);
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), badLength), 1024);
}

TEST(ExtractOleTest, AtMost500DirectoryEntries) {
    auto withStreams = [](int count) {
        OleSampleOptions o;
        for (int i = 0; i < count; ++i) o.streams.push_back({"S" + std::to_string(i), Bytes {}});
        return BuildOle(o);
    };
    const OleSample fits = withStreams(499);  // 500 entries
    EXPECT_TRUE(ExtractOle(SpecFor(kTypeOle), WithTail(fits.bytes, 8192)).file.has_value());
    const OleSample tooMany = withStreams(500);
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), WithTail(tooMany.bytes, 8192)),
                   static_cast<std::int64_t>(OleSample::SectorOffset(tooMany.directorySectors[0])));
}

TEST(ExtractOleTest, DifatSectorsCountAsRead) {
    OleSampleOptions o = tools::WordDocumentStreams();
    o.difatSectors = 2;
    const OleSample sample = BuildOle(o);
    ASSERT_EQ(sample.difatSectors.size(), 2u);
    const std::uint32_t last = sample.difatSectors.back();
    ASSERT_EQ(sample.bytes.size(), (last + 2) * 512u);
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), WithTail(sample.bytes, 8192)), (last + 6) * 512u, "doc",
                   static_cast<std::int64_t>(last + 1) * 512);
}

TEST(ExtractOleTest, DifatChainsAreBounded) {
    OleSampleOptions o = tools::WordDocumentStreams();
    o.difatSectors = 1;
    const OleSample sample = BuildOle(o);
    const std::uint32_t difat = sample.difatSectors[0];
    Bytes cyclic = WithTail(sample.bytes, 8192);
    SetLe32(cyclic, 72, 100);                                      // the most sectors allowed
    SetLe32(cyclic, OleSample::SectorOffset(difat) + 508, difat);  // naming itself
    const ExtractResult r = ExtractOle(SpecFor(kTypeOle), cyclic);
    ASSERT_TRUE(r.file.has_value());
    EXPECT_EQ(r.file->suffix, "doc");

    // A DIFAT sector out of reach: continue at the last one read, or after
    // the header when none was.
    Bytes unreadable = cyclic;
    SetLe32(unreadable, OleSample::SectorOffset(difat) + 508, 0x00FFFFFF);
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), unreadable),
                   static_cast<std::int64_t>(OleSample::SectorOffset(difat)));
    SetLe32(unreadable, 68, 0xFFFFFFFE);
    ExpectContinue(ExtractOle(SpecFor(kTypeOle), unreadable), 512);
}

TEST(ExtractOleTest, HugeSizesAreCutToTheBytes) {
    const OleSample sample = BuildOle(Streams({{"WordDocument", 5000}, {"Workbook", 100}}));
    const Bytes good = WithTail(sample.bytes, 4096);
    const std::size_t entry = OleSample::SectorOffset(sample.directorySectors[0]) + 128;
    Bytes hugeStream = good;
    SetLe32(hugeStream, entry + 120, 0xFFFFFFFF);
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), hugeStream), good.size(), "doc", 1024);

    Bytes hugeMiniFat = good;
    SetLe32(hugeMiniFat, 64, 0xFFFFFFFF);  // mini FAT sector count
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), hugeMiniFat), good.size(), "doc", 1024);

    Bytes farMiniFat = good;
    SetLe32(farMiniFat, 60, 0x7FFFFFF0);  // first mini FAT sector: N is taken from it
    ExpectRecorded(ExtractOle(SpecFor(kTypeOle), farMiniFat), good.size(), "doc",
                   static_cast<std::int64_t>(good.size()));
}

}  // namespace
}  // namespace qb::cdr

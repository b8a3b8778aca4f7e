#include "tools/sample_card/document_samples.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <utility>

#include "tools/sample_card/byte_writer.h"

namespace qb::tools {

namespace {

// Deterministic words for the samples' text.
class TextSource {
public:
    explicit TextSource(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}

    std::uint32_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    std::string Word() {
        static constexpr std::array<std::string_view, 40> kWords = {
            "harbour", "morning", "letter",  "garden",  "river",   "station", "window",  "summer",
            "village", "market",  "bridge",  "evening", "journey", "coffee",  "mountain", "museum",
            "ferry",   "ticket",  "weather", "picture", "island",  "castle",  "forest",  "beach",
            "road",    "friend",  "dinner",  "walk",    "light",   "history", "valley",  "lake",
            "north",   "square",  "church",  "train",   "hotel",   "breakfast", "library", "cliff"};
        return std::string(kWords[Next() % kWords.size()]);
    }
    std::string Sentence(int words) {
        std::string s = Word();
        s[0] = static_cast<char>(s[0] - 32);
        for (int i = 1; i < words; ++i) s += " " + Word();
        return s + ".";
    }

private:
    std::uint32_t state_;
};

// Filler text of exactly n bytes, broken into lines by lineEnd, each line
// starting with prefix (for comment lines); bytes too few for a line are
// blanks.
std::string FillerLines(std::size_t n, std::string_view prefix, std::string_view lineEnd, TextSource& text) {
    std::string out;
    const std::size_t overhead = prefix.size() + lineEnd.size();
    while (n > 0) {
        if (n < overhead + 1) {
            out.append(n, ' ');
            break;
        }
        std::size_t body = std::min<std::size_t>(n - overhead, 70);
        if (n - overhead - body > 0 && n - overhead - body < overhead + 1) body = n - overhead;  // no short tail
        std::string line;
        while (line.size() < body) line += text.Word() + " ";
        line.resize(body);
        out += std::string(prefix) + line + std::string(lineEnd);
        n -= body + overhead;
    }
    return out;
}

// ---------------------------------------------------------------- HTML

std::string HtmlPage(const HtmlSampleOptions& o, std::size_t padding) {
    const std::string nl = o.crlfLineEnds ? "\r\n" : "\n";
    auto tag = [&](std::string_view name) {
        std::string t(name);
        if (o.upperCaseTags)
            std::transform(t.begin(), t.end(), t.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
        return t;
    };
    TextSource text(o.seed);
    std::string page;
    if (o.doctype) page += "<!DOCTYPE html>" + nl;
    page += "<" + tag("html") + " lang=\"en\">" + nl;
    page += "<" + tag("head") + ">" + nl;
    page += "<" + tag("meta") + " charset=\"utf-8\">" + nl;
    page += "<" + tag("title") + ">" + o.title + "</" + tag("title") + ">" + nl;
    page += "<" + tag("style") + ">body { font-family: Georgia, serif; margin: 2em; } h1 { color: #335; }</" +
            tag("style") + ">" + nl;
    page += "</" + tag("head") + ">" + nl;
    page += "<" + tag("body") + ">" + nl;
    page += "<" + tag("h1") + ">" + o.title + "</" + tag("h1") + ">" + nl;
    for (int i = 0; i < o.paragraphs; ++i) {
        page += "<" + tag("p") + ">";
        for (int s = 0; s < 3; ++s) page += (s ? " " : "") + text.Sentence(6 + static_cast<int>(text.Next() % 8));
        page += "</" + tag("p") + ">" + nl;
    }
    page += "<" + tag("ul") + ">" + nl;
    for (int i = 1; i <= 3; ++i) {
        const std::string word = text.Word();
        page += "<" + tag("li") + "><" + tag("a") + " href=\"" + word + ".html\">" + word + "</" + tag("a") + "></" +
                tag("li") + ">" + nl;
    }
    page += "</" + tag("ul") + ">" + nl;
    if (padding > 0) {
        // <!-- ... --> with its line end; very small amounts are line ends.
        const std::size_t frame = 4 + 3 + nl.size();
        if (padding <= frame + 1) {
            for (std::size_t i = 0; i < padding; ++i) page += "\n";
        } else {
            page += "<!--" + nl + FillerLines(padding - frame - nl.size(), "", nl, text) + "-->" + nl;
        }
    }
    page += "</" + tag("body") + ">" + nl;
    if (o.closingTag) page += "</" + tag("html") + ">";
    if (o.trailingLineEnd) page += nl;
    return page;
}

// ---------------------------------------------------------------- PDF

// Writes numbered objects and remembers where each starts.
class PdfText {
public:
    explicit PdfText(std::string lineEnd) : nl(std::move(lineEnd)) {}

    void Line(std::string_view s) { out += std::string(s) + nl; }
    void Object(int number, const std::string& body) {
        offsets[number] = out.size();
        Line(std::to_string(number) + " 0 obj");
        Line(body);
        Line("endobj");
    }
    void StreamObject(int number, const std::string& dictionaryExtra, const std::string& data) {
        offsets[number] = out.size();
        Line(std::to_string(number) + " 0 obj");
        Line("<< /Length " + std::to_string(data.size()) + dictionaryExtra + " >>");
        Line("stream");
        out += data;
        Line("");
        Line("endstream");
        Line("endobj");
    }
    // A cross-reference section of consecutive objects; returns its offset.
    // *firstEntry receives the offset of the line end before its first entry.
    std::size_t Xref(int first, int count, bool withFreeHead, std::size_t* firstEntry = nullptr) {
        const std::size_t at = out.size();
        Line("xref");
        Line(std::to_string(first) + " " + std::to_string(count));
        if (firstEntry) *firstEntry = out.size() - 1;
        const std::string eol = nl == "\r\n" ? "\r\n" : " \n";
        for (int i = 0; i < count; ++i) {
            char entry[32];
            if (withFreeHead && i == 0)
                std::snprintf(entry, sizeof entry, "%010d %05d f", 0, 65535);
            else
                std::snprintf(entry, sizeof entry, "%010zu %05d n", offsets[first + i], 0);
            out += std::string(entry) + eol;
        }
        return at;
    }

    std::string nl;
    std::string out;
    std::array<std::size_t, 256> offsets {};
};

struct PdfNumbers {  // the values a linearised file states about itself
    std::size_t length = 0, hintOffset = 0, hintLength = 0, firstPageEnd = 0, mainXrefEntry = 0, mainXref = 0,
                firstXref = 0, firstPageObject = 0, fontObject = 0, fontLength = 0;
    bool operator==(const PdfNumbers&) const = default;
};

std::string PageContent(TextSource& text, int page, const std::string& nl, std::size_t padding) {
    std::string s = "BT" + nl + "/F1 12 Tf" + nl + "14 TL" + nl + "72 720 Td" + nl;
    s += "(Page " + std::to_string(page) + ") Tj T*" + nl;
    for (int i = 0; i < 12; ++i) s += "(" + text.Sentence(5 + static_cast<int>(text.Next() % 6)) + ") Tj T*" + nl;
    s += "ET";
    if (padding > 0) s += nl + FillerLines(padding, "% ", nl, text);
    return s;
}

std::string PdfInfo(int extraSpaces, bool modified) {
    std::string info = "<< /Title (Travel notes) /Author (M. Keller) /Producer (Quillbrook sample writer 1.0) "
                       "/CreationDate (D:20140923101500+02'00')";
    if (modified) info += " /ModDate (D:20140925183000+02'00')";
    return info + std::string(static_cast<std::size_t>(extraSpaces), ' ') + " >>";
}

const std::string kPdfFont = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
const std::string kPdfId = "[<5A1F2C9E7B3D4E60A1B2C3D4E5F60718><5A1F2C9E7B3D4E60A1B2C3D4E5F60718>]";

std::string PageObject(int parent, int font, int contents) {
    return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
           std::to_string(font) + " 0 R >> /ProcSet [/PDF /Text] >> /Contents " + std::to_string(contents) + " 0 R >>";
}

void PdfHeader(PdfText& w, const PdfSampleOptions& o) {
    w.Line("%PDF-1." + std::to_string(o.minorVersion));
    if (o.binaryComment) w.Line("%\xE2\xE3\xCF\xD3");
}

// The update section appended after the first "%%EOF".
void PdfUpdate(PdfText& w, int infoNumber, int size, std::size_t previousXref, int extraSpaces) {
    w.Object(infoNumber, PdfInfo(extraSpaces, true));
    const std::size_t at = w.out.size();
    w.Line("xref");
    w.Line("0 1");
    const std::string eol = w.nl == "\r\n" ? "\r\n" : " \n";
    w.out += "0000000000 65535 f" + eol;
    w.Line(std::to_string(infoNumber) + " 1");
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu %05d n", w.offsets[infoNumber], 0);
    w.out += std::string(entry) + eol;
    w.Line("trailer");
    w.Line("<< /Size " + std::to_string(size) + " /Root 1 0 R /Info " + std::to_string(infoNumber) + " 0 R /ID " +
           kPdfId + " /Prev " + std::to_string(previousXref) + " >>");
    w.Line("startxref");
    w.Line(std::to_string(at));
}

std::string PlainPdf(const PdfSampleOptions& o, std::size_t padding, int extraSpaces) {
    PdfText w(o.lineEnd);
    TextSource text(o.seed);
    PdfHeader(w, o);
    const int pages = std::max(1, o.pages);
    std::string kids;
    for (int i = 0; i < pages; ++i) kids += (i ? " " : "") + std::to_string(4 + 2 * i) + " 0 R";
    w.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    w.Object(3, kPdfFont);
    for (int i = 0; i < pages; ++i) {
        w.Object(4 + 2 * i, PageObject(2, 3, 5 + 2 * i));
        w.StreamObject(5 + 2 * i, "", PageContent(text, i + 1, w.nl, i == pages - 1 ? padding : 0));
    }
    const int info = 4 + 2 * pages;
    w.Object(info, PdfInfo(extraSpaces, false));
    const std::size_t xref = w.Xref(0, info + 1, true);
    w.Line("trailer");
    w.Line("<< /Size " + std::to_string(info + 1) + " /Root 1 0 R /Info " + std::to_string(info) + " 0 R /ID " + kPdfId +
           " >>");
    w.Line("startxref");
    w.Line(std::to_string(xref));
    if (o.incrementalUpdate) {
        w.Line("%%EOF");
        PdfUpdate(w, info, info + 1, xref, extraSpaces);
    }
    if (o.finalEof) w.Line("%%EOF");
    return w.out;
}

// Main section objects 1..m (pages 2.. with their contents, then Info);
// first-page section m+1 (linearisation dictionary) .. m+7.
std::string LinearizedPdf(const PdfSampleOptions& o, std::size_t padding, int extraSpaces, const PdfNumbers& guess,
                          PdfNumbers* actual) {
    PdfText w(o.lineEnd);
    TextSource text(o.seed);
    PdfHeader(w, o);
    const int pages = std::max(1, o.pages);
    const int m = 2 * (pages - 1) + 1;
    const int lin = m + 1, catalog = m + 2, tree = m + 3, hint = m + 4, firstPage = m + 5, font = m + 6,
              firstContent = m + 7;
    const int info = m;

    const std::uint64_t declared = o.declaredLength ? *o.declaredLength : guess.length;
    w.Object(lin, "<< /Linearized 1 /L " + std::to_string(declared) + " /H [" + std::to_string(guess.hintOffset) + " " +
                      std::to_string(guess.hintLength) + "] /O " + std::to_string(firstPage) + " /E " +
                      std::to_string(guess.firstPageEnd) + " /N " + std::to_string(pages) + " /T " +
                      std::to_string(guess.mainXrefEntry) + " >>");
    // The first-page section's offsets are known only once it is written;
    // its cross-reference entries use the previous round's values.
    const std::size_t firstXref = w.out.size();
    w.Line("xref");
    w.Line(std::to_string(lin) + " 7");
    const std::size_t entriesAt = w.out.size();
    const std::string eol = w.nl == "\r\n" ? "\r\n" : " \n";
    for (int i = 0; i < 7; ++i) w.out += std::string(18, '0') + eol;  // filled in below (fixed width)
    w.Line("trailer");
    w.Line("<< /Size " + std::to_string(m + 8) + " /Root " + std::to_string(catalog) + " 0 R /Info " +
           std::to_string(info) + " 0 R /ID " + kPdfId + " /Prev " + std::to_string(guess.mainXref) + " >>");
    w.Line("startxref");
    w.Line("0");
    w.Line("%%EOF");

    std::string kids = std::to_string(firstPage) + " 0 R";
    for (int i = 1; i < pages; ++i) kids += " " + std::to_string(2 * i - 1) + " 0 R";
    w.Object(catalog, "<< /Type /Catalog /Pages " + std::to_string(tree) + " 0 R >>");
    w.Object(tree, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    // Page offset hint table header (36 bytes, every page alike: no bits per
    // page), then the shared object hint table header (24 bytes).
    std::string hintData(64, '\0');
    auto putBe32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) hintData[at + i] = static_cast<char>(v >> (24 - 8 * i));
    };
    putBe32(0, 2);                                          // least objects in a page
    putBe32(4, static_cast<std::uint32_t>(guess.firstPageObject));  // location of the first page object
    putBe32(36, static_cast<std::uint32_t>(font));  // the font: one shared group, used by the first page
    putBe32(40, static_cast<std::uint32_t>(guess.fontObject));
    putBe32(44, 1);
    putBe32(48, 1);
    putBe32(54, static_cast<std::uint32_t>(guess.fontLength));  // least group length
    const std::size_t hintAt = w.out.size();
    w.StreamObject(hint, " /S 36", hintData);
    const std::size_t hintLength = w.out.size() - hintAt;
    w.Object(firstPage, PageObject(tree, font, firstContent));
    w.Object(font, kPdfFont);
    const std::size_t fontLength = w.out.size() - w.offsets[font];
    w.StreamObject(firstContent, "", PageContent(text, 1, w.nl, pages == 1 ? padding : 0));
    const std::size_t firstPageEnd = w.out.size();

    for (int i = 1; i < pages; ++i) {
        w.Object(2 * i - 1, PageObject(tree, font, 2 * i));
        w.StreamObject(2 * i, "", PageContent(text, i + 1, w.nl, i == pages - 1 ? padding : 0));
    }
    w.Object(info, PdfInfo(extraSpaces, false));
    std::size_t mainXrefEntry = 0;
    const std::size_t mainXref = w.Xref(0, m + 1, true, &mainXrefEntry);
    w.Line("trailer");
    w.Line("<< /Size " + std::to_string(m + 1) + " >>");
    w.Line("startxref");
    w.Line(std::to_string(firstXref));
    if (o.incrementalUpdate) {
        w.Line("%%EOF");
        PdfUpdate(w, info, m + 8, firstXref, extraSpaces);
    }
    if (o.finalEof) w.Line("%%EOF");

    for (int i = 0; i < 7; ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu %05d n", w.offsets[lin + i], 0);
        std::copy(entry, entry + 18, w.out.begin() + static_cast<std::ptrdiff_t>(entriesAt + i * (18 + eol.size())));
    }
    *actual = PdfNumbers {w.out.size(), hintAt,   hintLength, firstPageEnd, mainXrefEntry,
                          mainXref,     firstXref, w.offsets[firstPage], w.offsets[font], fontLength};
    return w.out;
}

std::string RenderPdf(const PdfSampleOptions& o, std::size_t padding, int extraSpaces) {
    if (!o.linearized) return PlainPdf(o, padding, extraSpaces);
    // The dictionary states offsets of the file it is part of: write until
    // the numbers agree with the file they produce.
    PdfNumbers guess;
    std::string out;
    for (int round = 0; round < 16; ++round) {
        PdfNumbers actual;
        out = LinearizedPdf(o, padding, extraSpaces, guess, &actual);
        if (actual == guess) break;
        guess = actual;
    }
    return out;
}

// ---------------------------------------------------------------- OLE

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatMark = 0xFFFFFFFD;
constexpr std::uint32_t kDifatMark = 0xFFFFFFFC;
constexpr std::size_t kMiniSector = 64;
constexpr std::size_t kCutoff = 4096;

std::uint32_t Ceil(std::size_t value, std::size_t unit) { return static_cast<std::uint32_t>((value + unit - 1) / unit); }

// Directory order of two names: shorter first, then by upper-case letters.
bool NameBefore(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = (a[i] >= 'a' && a[i] <= 'z') ? static_cast<char>(a[i] - 32) : a[i];
        const char y = (b[i] >= 'a' && b[i] <= 'z') ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y) return x < y;
    }
    return false;
}

struct TreeLinks {
    std::uint32_t left = kFree, right = kFree;
    bool red = false;
};

// A balanced tree over the sorted entries; the deepest level is red, which
// keeps every path's count of black nodes equal.
std::uint32_t BuildTree(const std::vector<std::uint32_t>& sorted, std::size_t from, std::size_t to, int depth,
                        int maxDepth, std::vector<TreeLinks>& links) {
    if (from >= to) return kFree;
    const std::size_t mid = from + (to - from) / 2;
    const std::uint32_t node = sorted[mid];
    links[node].red = depth == maxDepth && depth > 0;
    links[node].left = BuildTree(sorted, from, mid, depth + 1, maxDepth, links);
    links[node].right = BuildTree(sorted, mid + 1, to, depth + 1, maxDepth, links);
    return node;
}

int TreeDepth(std::size_t n) {
    int depth = -1;
    while (n > 0) {
        n /= 2;
        ++depth;
    }
    return depth;
}

void PutEntry(std::vector<std::uint8_t>& out, std::size_t at, const std::string& name, std::uint8_t type,
              const TreeLinks& links, std::uint32_t child, std::uint32_t start, std::uint32_t size) {
    for (std::size_t i = 0; i < name.size() && i < 31; ++i) out[at + 2 * i] = static_cast<std::uint8_t>(name[i]);
    SetLe16(out, at + 64, static_cast<std::uint32_t>((std::min<std::size_t>(name.size(), 31) + 1) * 2));
    out[at + 66] = type;
    out[at + 67] = links.red ? 0 : 1;
    SetLe32(out, at + 68, links.left);
    SetLe32(out, at + 72, links.right);
    SetLe32(out, at + 76, child);
    SetLe32(out, at + 116, start);
    SetLe32(out, at + 120, size);
}

// ---------------------------------------------------------------- Office streams

// An OLE property set with string properties (VT_LPSTR).
std::vector<std::uint8_t> PropertySet(const std::array<std::uint8_t, 16>& formatId,
                                      const std::vector<std::pair<std::uint32_t, std::string>>& properties) {
    std::vector<std::uint8_t> values;
    std::vector<std::uint32_t> offsets;
    const std::size_t headerSize = 8 + 8 * properties.size();
    for (const auto& [id, text] : properties) {
        offsets.push_back(static_cast<std::uint32_t>(headerSize + values.size()));
        PutLe32(values, 0x001E);
        const std::size_t length = text.size() + 1;
        PutLe32(values, static_cast<std::uint32_t>(length));
        PutText(values, text);
        values.push_back(0);
        while (values.size() % 4 != 0) values.push_back(0);
    }
    std::vector<std::uint8_t> out;
    PutLe16(out, 0xFFFE);  // byte order
    PutLe16(out, 0);       // format version
    PutLe32(out, 0x00020105);  // system: Windows 5.1
    out.insert(out.end(), 16, 0);  // class id
    PutLe32(out, 1);               // one section
    out.insert(out.end(), formatId.begin(), formatId.end());
    PutLe32(out, 0x30);  // section offset
    PutLe32(out, static_cast<std::uint32_t>(headerSize + values.size()));
    PutLe32(out, static_cast<std::uint32_t>(properties.size()));
    for (std::size_t i = 0; i < properties.size(); ++i) {
        PutLe32(out, properties[i].first);
        PutLe32(out, offsets[i]);
    }
    out.insert(out.end(), values.begin(), values.end());
    return out;
}

constexpr std::array<std::uint8_t, 16> kSummaryFormat = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                                         0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr std::array<std::uint8_t, 16> kDocumentSummaryFormat = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                                                 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

void AddSummaryStreams(OleSampleOptions& options, const std::string& application, std::uint32_t seed) {
    TextSource text(seed);
    options.streams.push_back({std::string("\x05") + "SummaryInformation",
                               PropertySet(kSummaryFormat, {{2, text.Sentence(3)}, {4, "M. Keller"},
                                                            {8, "M. Keller"}, {0x12, application}})});
    options.streams.push_back({std::string("\x05") + "DocumentSummaryInformation",
                               PropertySet(kDocumentSummaryFormat, {{0x0F, "Keller & Sons"}})});
}

std::vector<std::uint8_t> CompObj(std::string_view userType, std::string_view clipboard, std::string_view progId) {
    std::vector<std::uint8_t> out;
    PutLe16(out, 1);
    PutLe16(out, 0xFFFE);
    PutLe32(out, 0x00000A03);
    PutLe32(out, 0xFFFFFFFF);
    out.insert(out.end(), 16, 0);
    for (std::string_view s : {userType, clipboard, progId}) {
        PutLe32(out, static_cast<std::uint32_t>(s.size() + 1));
        PutText(out, s);
        out.push_back(0);
    }
    PutLe32(out, 0x71B239F4);  // Unicode marker
    PutLe32(out, 0);
    return out;
}

// Text bytes up to size (the document's characters).
void FillText(std::vector<std::uint8_t>& data, std::size_t size, TextSource& text) {
    while (data.size() < size) {
        const std::string s = text.Sentence(8) + "\r";
        for (char c : s) {
            if (data.size() == size) break;
            data.push_back(static_cast<std::uint8_t>(c));
        }
    }
}

// One BIFF8 record.
void BiffRecord(std::vector<std::uint8_t>& out, std::uint16_t type, const std::vector<std::uint8_t>& body) {
    PutLe16(out, type);
    PutLe16(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

// One PowerPoint record header.
void PptRecordHeader(std::vector<std::uint8_t>& out, std::uint16_t versionInstance, std::uint16_t type,
                     std::uint32_t length) {
    PutLe16(out, versionInstance);
    PutLe16(out, type);
    PutLe32(out, length);
}

}  // namespace

std::vector<std::uint8_t> BuildHtml(const HtmlSampleOptions& options) {
    std::string page = HtmlPage(options, 0);
    if (options.totalSize > page.size()) page = HtmlPage(options, options.totalSize - page.size());
    return {page.begin(), page.end()};
}

std::vector<std::uint8_t> BuildPdf(const PdfSampleOptions& options) {
    std::string file = RenderPdf(options, 0, 0);
    const std::size_t target = options.totalSize;
    if (target <= file.size()) return {file.begin(), file.end()};
    // Padding moves a few numbers by a digit; the last bytes come from up to
    // three blanks in the Info dictionary.
    std::size_t padding = target - file.size();
    for (int round = 0; round < 16; ++round) {
        file = RenderPdf(options, padding, 0);
        if (file.size() > target) {
            padding -= std::min(padding, file.size() - target);
            continue;
        }
        const std::size_t gap = target - file.size();
        if (gap > 3) {
            padding += gap;
            continue;
        }
        file = RenderPdf(options, padding, static_cast<int>(gap));
        if (file.size() == target) break;
        padding = padding > 0 ? padding - 1 : 0;
    }
    return {file.begin(), file.end()};
}

OleSample BuildOle(const OleSampleOptions& options) {
    OleSample sample;
    // 512-byte sectors in version 3, 4096-byte ones in version 4.
    const std::size_t sectorSize = options.largeSectors ? 4096 : 512;
    const std::uint32_t perSector = static_cast<std::uint32_t>(sectorSize / 4);
    sample.sectorSize = sectorSize;
    const std::size_t streamCount = options.streams.size();

    // Small streams go to the mini stream, large ones to whole sectors.
    std::vector<std::uint32_t> miniStart(streamCount, kEndOfChain), bigStart(streamCount, kEndOfChain);
    std::uint32_t miniTotal = 0;
    std::uint32_t bigTotal = 0;
    for (const OleStream& s : options.streams) {
        if (s.data.size() < kCutoff)
            miniTotal += Ceil(s.data.size(), kMiniSector);
        else
            bigTotal += Ceil(s.data.size(), sectorSize);
    }
    const std::size_t miniStreamBytes = std::size_t {miniTotal} * kMiniSector;
    const std::uint32_t miniStreamSectors = Ceil(miniStreamBytes, sectorSize);
    const std::uint32_t miniFatSectors = Ceil(miniTotal, perSector);
    const auto entries = static_cast<std::uint32_t>(streamCount + 1);
    const std::uint32_t directorySectors = Ceil(entries, static_cast<std::uint32_t>(sectorSize / 128));
    const auto difatSectors = static_cast<std::uint32_t>(std::max(0, options.difatSectors));
    std::uint32_t fatSectors = 1;
    auto total = [&] {
        return fatSectors + difatSectors + directorySectors + miniFatSectors + miniStreamSectors + bigTotal;
    };
    while (std::size_t {fatSectors} * perSector < total()) ++fatSectors;

    std::uint32_t next = 0;
    auto take = [&](std::uint32_t count) {
        const std::uint32_t first = next;
        next += count;
        return first;
    };
    const std::uint32_t fatFirst = take(fatSectors);
    std::uint32_t directoryFirst = options.directoryLast ? 0 : take(directorySectors);
    const std::uint32_t miniFatFirst = take(miniFatSectors);
    const std::uint32_t miniStreamFirst = take(miniStreamSectors);
    std::uint32_t miniNext = 0;
    for (std::size_t i = 0; i < streamCount; ++i) {
        const std::size_t size = options.streams[i].data.size();
        if (size == 0) continue;
        if (size < kCutoff) {
            miniStart[i] = miniNext;
            miniNext += Ceil(size, kMiniSector);
        } else {
            bigStart[i] = take(Ceil(size, sectorSize));
        }
    }
    if (options.directoryLast) directoryFirst = take(directorySectors);
    const std::uint32_t difatFirst = take(difatSectors);
    const std::uint32_t sectors = next;

    std::vector<std::uint32_t> fat(std::size_t {fatSectors} * perSector, kFree);
    auto chain = [&](std::vector<std::uint32_t>& table, std::uint32_t first, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) table[first + i] = i + 1 < count ? first + i + 1 : kEndOfChain;
    };
    for (std::uint32_t i = 0; i < fatSectors; ++i) fat[fatFirst + i] = kFatMark;
    for (std::uint32_t i = 0; i < difatSectors; ++i) fat[difatFirst + i] = kDifatMark;
    chain(fat, directoryFirst, directorySectors);
    chain(fat, miniFatFirst, miniFatSectors);
    chain(fat, miniStreamFirst, miniStreamSectors);
    std::vector<std::uint32_t> miniFat(std::size_t {miniFatSectors} * perSector, kFree);
    for (std::size_t i = 0; i < streamCount; ++i) {
        const std::size_t size = options.streams[i].data.size();
        if (size == 0) continue;
        if (size < kCutoff)
            chain(miniFat, miniStart[i], Ceil(size, kMiniSector));
        else
            chain(fat, bigStart[i], Ceil(size, sectorSize));
    }

    std::vector<std::uint8_t>& out = sample.bytes;
    out.assign((std::size_t {sectors} + 1) * sectorSize, 0);

    // Header.
    const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(signature, signature + 8, out.begin());
    SetLe16(out, 24, 0x003E);
    SetLe16(out, 26, options.largeSectors ? 4 : 3);
    SetLe16(out, 28, 0xFFFE);
    SetLe16(out, 30, options.largeSectors ? 12 : 9);
    if (options.largeSectors) SetLe32(out, 40, directorySectors);
    SetLe16(out, 32, 6);
    SetLe32(out, 44, fatSectors);
    SetLe32(out, 48, directoryFirst);
    SetLe32(out, 56, kCutoff);
    SetLe32(out, 60, miniFatSectors ? miniFatFirst : kEndOfChain);
    SetLe32(out, 64, miniFatSectors);
    SetLe32(out, 68, difatSectors ? difatFirst : kEndOfChain);
    SetLe32(out, 72, difatSectors);
    for (std::uint32_t i = 0; i < 109; ++i) SetLe32(out, 76 + 4 * i, i < fatSectors ? fatFirst + i : kFree);

    auto sectorAt = [&](std::uint32_t s) { return (std::size_t {s} + 1) * sectorSize; };
    for (std::size_t i = 0; i < fat.size(); ++i) SetLe32(out, sectorAt(fatFirst) + 4 * i, fat[i]);
    for (std::size_t i = 0; i < miniFat.size(); ++i) SetLe32(out, sectorAt(miniFatFirst) + 4 * i, miniFat[i]);
    for (std::uint32_t d = 0; d < difatSectors; ++d) {
        const std::size_t at = sectorAt(difatFirst + d);
        for (std::uint32_t i = 0; i + 1 < perSector; ++i) SetLe32(out, at + 4 * i, kFree);
        SetLe32(out, at + sectorSize - 4, d + 1 < difatSectors ? difatFirst + d + 1 : kEndOfChain);
    }

    // Directory: root entry, then the streams; unused entries name no sibling.
    std::vector<std::uint32_t> sorted;
    for (std::uint32_t i = 1; i <= streamCount; ++i) sorted.push_back(i);
    std::stable_sort(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) {
        return NameBefore(options.streams[a - 1].name, options.streams[b - 1].name);
    });
    std::vector<TreeLinks> links(entries);
    const std::uint32_t treeRoot = BuildTree(sorted, 0, sorted.size(), 0, TreeDepth(sorted.size()), links);
    const std::size_t directoryAt = sectorAt(directoryFirst);
    for (std::uint32_t e = 0; e < directorySectors * (sectorSize / 128); ++e) {
        const std::size_t at = directoryAt + std::size_t {e} * 128;
        if (e >= entries) {
            SetLe32(out, at + 68, kFree);
            SetLe32(out, at + 72, kFree);
            SetLe32(out, at + 76, kFree);
        } else if (e == 0) {
            PutEntry(out, at, "Root Entry", 5, TreeLinks {}, treeRoot, miniStreamSectors ? miniStreamFirst : kEndOfChain,
                     static_cast<std::uint32_t>(miniStreamBytes));
        } else {
            const OleStream& s = options.streams[e - 1];
            const std::uint32_t start = s.data.empty()           ? kEndOfChain
                                        : s.data.size() < kCutoff ? miniStart[e - 1]
                                                                  : bigStart[e - 1];
            PutEntry(out, at, s.name, 2, links[e], kFree, start, static_cast<std::uint32_t>(s.data.size()));
        }
    }

    // Stream data.
    for (std::size_t i = 0; i < streamCount; ++i) {
        const std::vector<std::uint8_t>& data = options.streams[i].data;
        if (data.empty()) continue;
        const std::size_t at = data.size() < kCutoff
                                   ? sectorAt(miniStreamFirst) + std::size_t {miniStart[i]} * kMiniSector
                                   : sectorAt(bigStart[i]);
        std::copy(data.begin(), data.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    }

    for (std::uint32_t i = 0; i < fatSectors; ++i) sample.fatSectors.push_back(fatFirst + i);
    for (std::uint32_t i = 0; i < difatSectors; ++i) sample.difatSectors.push_back(difatFirst + i);
    for (std::uint32_t i = 0; i < directorySectors; ++i) sample.directorySectors.push_back(directoryFirst + i);
    for (std::uint32_t i = 0; i < miniFatSectors; ++i) sample.miniFatSectors.push_back(miniFatFirst + i);
    sample.directoryEntries = entries;
    return sample;
}

OleSampleOptions WordDocumentStreams(const OfficeSampleOptions& options) {
    OleSampleOptions ole;
    ole.directoryLast = options.directoryLast;
    TextSource text(options.seed);

    // The File Information Block, then the text from 0x400 on.
    std::vector<std::uint8_t> word(0x400, 0);
    SetLe16(word, 0, 0xA5EC);   // wIdent
    SetLe16(word, 2, 0x00C1);   // nFib: Word 97
    SetLe16(word, 6, 0x0409);   // lid: English (US)
    SetLe16(word, 10, 0x1200);  // flags: fWhichTblStm (1Table), fExtChar
    SetLe16(word, 12, 0x00BF);  // nFibBack
    SetLe32(word, 24, 0x400);   // fcMin
    SetLe32(word, 28, static_cast<std::uint32_t>(std::max<std::size_t>(options.mainStreamSize, 0x400)));  // fcMac
    FillText(word, std::max<std::size_t>(options.mainStreamSize, 0x400 + 1), text);
    ole.streams.push_back({"WordDocument", std::move(word)});

    std::vector<std::uint8_t> table;
    for (std::size_t i = 0; i < 4200; ++i) table.push_back(static_cast<std::uint8_t>((text.Next() >> 4) & 0xFF));
    ole.streams.push_back({"1Table", std::move(table)});
    ole.streams.push_back({std::string("\x01") + "CompObj",
                           CompObj("Microsoft Office Word 97-2003 Document", "MSWordDoc", "Word.Document.8")});
    AddSummaryStreams(ole, "Microsoft Office Word", options.seed);
    return ole;
}

OleSampleOptions ExcelWorkbookStreams(const OfficeSampleOptions& options) {
    OleSampleOptions ole;
    ole.directoryLast = options.directoryLast;
    TextSource text(options.seed);

    std::vector<std::uint8_t> book;
    BiffRecord(book, 0x0809, {0x00, 0x06, 0x05, 0x00, 0xBB, 0x0D, 0xCC, 0x07, 0xC9, 0x40, 0x00, 0x00, 0x06, 0x01, 0x00,
                              0x00});  // BOF: BIFF8 workbook globals
    BiffRecord(book, 0x00E1, {0xB0, 0x04});  // INTERFACEHDR: code page 1200
    std::vector<std::uint8_t> access(112, ' ');
    const std::string user = "M. Keller";
    access[0] = static_cast<std::uint8_t>(user.size());
    access[1] = 0;
    access[2] = 0;
    std::copy(user.begin(), user.end(), access.begin() + 3);
    BiffRecord(book, 0x005C, access);        // WRITEACCESS
    BiffRecord(book, 0x0042, {0xB0, 0x04});  // CODEPAGE
    const std::size_t target = std::max<std::size_t>(options.mainStreamSize, 512);
    // Cell text records (LABEL: 13 bytes and the text) up to the size, then
    // EOF; what is left is always none or room for one more record.
    constexpr std::size_t kLabel = 13;
    std::uint16_t row = 0;
    for (;;) {
        const std::size_t room = target - 4 - book.size();
        if (room == 0) break;
        std::string cell = text.Sentence(4);
        if (kLabel + cell.size() >= room || room - (kLabel + cell.size()) <= kLabel) cell.resize(room - kLabel, '.');
        std::vector<std::uint8_t> label;
        PutLe16(label, row++);
        PutLe16(label, 0);     // column
        PutLe16(label, 0x0F);  // XF
        PutLe16(label, static_cast<std::uint32_t>(cell.size()));
        label.push_back(0);  // 8-bit characters
        PutText(label, cell);
        BiffRecord(book, 0x0204, label);
    }
    BiffRecord(book, 0x000A, {});  // EOF
    ole.streams.push_back({"Workbook", std::move(book)});
    AddSummaryStreams(ole, "Microsoft Excel", options.seed);
    return ole;
}

OleSampleOptions PowerPointStreams(const OfficeSampleOptions& options) {
    OleSampleOptions ole;
    ole.directoryLast = options.directoryLast;
    TextSource text(options.seed);

    const std::size_t target = std::max<std::size_t>(options.mainStreamSize, 256);
    std::vector<std::uint8_t> doc;
    PptRecordHeader(doc, 0x000F, 0x03E8, static_cast<std::uint32_t>(target - 8));  // DocumentContainer
    PptRecordHeader(doc, 0x0001, 0x03E9, 40);                                        // DocumentAtom
    PutLe32(doc, 5760);  // slide size
    PutLe32(doc, 4320);
    PutLe32(doc, 7620);  // notes size
    PutLe32(doc, 5715);
    PutLe32(doc, 1);  // server zoom
    PutLe32(doc, 2);
    PutLe32(doc, 0);  // notes master, handout master
    PutLe32(doc, 0);
    PutLe16(doc, 1);  // first slide number
    PutLe16(doc, 0);  // slide size type
    doc.insert(doc.end(), 4, 0);
    // Text atoms (TextBytesAtom: 8 bytes and the text) up to the size; what
    // is left is always none or room for one more atom.
    constexpr std::size_t kAtom = 8;
    while (doc.size() < target) {
        const std::size_t room = target - doc.size();
        std::string line = text.Sentence(5);
        if (kAtom + line.size() >= room || room - (kAtom + line.size()) <= kAtom) line.resize(room - kAtom, '.');
        PptRecordHeader(doc, 0x0000, 0x0FA8, static_cast<std::uint32_t>(line.size()));
        PutText(doc, line);
    }
    ole.streams.push_back({"PowerPoint Document", std::move(doc)});

    const std::string user = "Keller";
    std::vector<std::uint8_t> current;
    PptRecordHeader(current, 0x0000, 0x0FF6, static_cast<std::uint32_t>(24 + user.size()));  // CurrentUserAtom
    PutLe32(current, 0x14);
    PutLe32(current, 0xE391C05F);  // header token
    PutLe32(current, 0);           // offset to the current edit
    PutLe16(current, static_cast<std::uint32_t>(user.size()));
    PutLe16(current, 0x03F4);      // document version
    current.push_back(3);
    current.push_back(0);
    PutLe16(current, 0);
    PutText(current, user);
    PutLe32(current, 8);  // release version
    ole.streams.push_back({"Current User", std::move(current)});
    AddSummaryStreams(ole, "Microsoft Office PowerPoint", options.seed);
    return ole;
}

}  // namespace qb::tools

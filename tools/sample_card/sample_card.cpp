// The catalogue of the sample card: which samples are laid down, in which
// order, where (within a chunk, across a chunk boundary, off a block
// boundary) and with what the scan does with them. Each entry builds its
// sample from a variant number; when a variant cannot be laid down exactly
// (its bytes hold a header at a block boundary that the truth could not
// account for, or its type's rule would not delimit it), the next variant
// is taken.
#include "tools/sample_card/sample_card.h"

#include <algorithm>
#include <functional>
#include <span>
#include <string_view>

#include "platform/file.h"
#include "tools/sample_card/archive_samples.h"
#include "tools/sample_card/byte_writer.h"
#include "tools/sample_card/card_signatures.h"
#include "tools/sample_card/document_samples.h"
#include "tools/sample_card/image_samples.h"
#include "tools/sample_card/media_samples.h"
#include "tools/sample_card/phone_samples.h"
#include "tools/sample_card/recorded_size.h"

namespace qb::tools {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kVariants = 64;

enum class Where { InChunk, Across, OffBoundary, BehindUnreadable };

struct Entry {
    std::string kind;
    std::string group;
    SampleRole role = SampleRole::Recorded;
    Where where = Where::InChunk;
    std::uint64_t placement = 0;      // Across: the lead; OffBoundary: the misalignment
    std::string suffix;               // Recorded: the extension the scan must give it
    std::uint64_t headerAt = 0;       // the header's position in the sample
    std::function<Bytes(std::uint32_t variant)> build;
};

void Patch(Bytes& b, std::size_t at, std::string_view text) {
    if (b.size() < at + text.size()) b.resize(at + text.size(), 0);
    for (std::size_t i = 0; i < text.size(); ++i) b[at + i] = static_cast<std::uint8_t>(text[i]);
}

class Catalogue {
public:
    Catalogue(std::uint64_t seed, std::uint32_t round)
        : base_(static_cast<std::uint32_t>(seed * 7919 + round * 104729 + 1)) {}

    // The entries' builders refer to this catalogue: it must outlive them.
    std::vector<Entry> Entries() const;

private:
    void AppendArchives(std::vector<Entry>& list) const;
    void AppendPhoneMedia(std::vector<Entry>& list) const;
    std::uint32_t Seed(std::uint32_t salt, std::uint32_t variant) const { return base_ + salt * 131 + variant * 7; }
    // 0 to span - 1, fixed for one set of samples.
    std::uint32_t Vary(std::uint32_t span) const { return (base_ >> 3) % span; }

    std::uint32_t base_;
};

Entry Recorded(std::string kind, std::string group, std::string suffix, std::function<Bytes(std::uint32_t)> build) {
    Entry e;
    e.kind = std::move(kind);
    e.group = std::move(group);
    e.suffix = std::move(suffix);
    e.build = std::move(build);
    return e;
}

Entry Across(Entry e, std::uint64_t lead) {
    e.where = Where::Across;
    e.placement = lead;
    return e;
}

Entry BehindUnreadable(Entry e) {
    e.where = Where::BehindUnreadable;
    return e;
}

Entry Decoy(std::string kind, std::string group, std::function<Bytes(std::uint32_t)> build) {
    Entry e;
    e.kind = std::move(kind);
    e.group = std::move(group);
    e.role = SampleRole::Decoy;
    e.build = std::move(build);
    return e;
}

Entry OffBoundary(std::string kind, std::string group, std::uint64_t misalignment,
                  std::function<Bytes(std::uint32_t)> build, std::uint64_t headerAt = 0) {
    Entry e;
    e.kind = std::move(kind);
    e.group = std::move(group);
    e.role = SampleRole::Unaligned;
    e.where = Where::OffBoundary;
    e.placement = misalignment;
    e.headerAt = headerAt;
    e.build = std::move(build);
    return e;
}

// Pseudo-random bytes: the contents of a stored file that does not compress.
Bytes Noise(std::size_t n, std::uint32_t seed) {
    Bytes out(n);
    std::uint64_t x = 0x9E3779B97F4A7C15ull * (seed + 1);
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

std::vector<Entry> Catalogue::Entries() const {
    std::vector<Entry> list;
    auto add = [&list](Entry e) { list.push_back(std::move(e)); };

    // ---- Pictures. The first sample of the card lies at byte 0.
    add(Recorded("jpeg-exif-thumbnail", "jpg", "jpg", [this](std::uint32_t v) {
        return BuildJpeg({.app = JpegApp::Exif, .width = 320, .height = 240, .seed = Seed(1, v), .exifThumbnail = true});
    }));
    add(Recorded("jpeg-jfif", "jpg", "jpg", [this](std::uint32_t v) {
        return BuildJpeg({.app = JpegApp::Jfif, .width = 200, .height = 150, .quality = 75, .seed = Seed(2, v)});
    }));
    add(Recorded("jpeg-fill-byte", "jpg", "jpg", [this](std::uint32_t v) {
        return BuildJpeg({.app = JpegApp::Jfif, .seed = Seed(3, v), .fillByteBeforeTables = true});
    }));
    add(Recorded("gif89a-animated", "gif", "gif", [this](std::uint32_t v) {
        return BuildGif({.gif89a = true, .width = 48, .height = 40, .frames = 3, .seed = Seed(4, v)});
    }));
    add(Recorded("gif87a", "gif", "gif", [this](std::uint32_t v) {
        return BuildGif({.gif89a = false, .width = 64, .height = 64, .seed = Seed(5, v)});
    }));
    add(Recorded("bmp-24bit", "bmp", "bmp", [this](std::uint32_t v) {
        return BuildBmp({.width = 300, .height = 200, .bitsPerPixel = 24, .seed = Seed(6, v)});
    }));
    add(Recorded("bmp-8bit-palette-v5", "bmp", "bmp", [this](std::uint32_t v) {
        return BuildBmp({.width = 120, .height = 90, .bitsPerPixel = 8, .infoHeaderSize = 124, .seed = Seed(7, v)});
    }));
    // Rows stored top-down give a negative height, which the rule refuses.
    add(Decoy("bmp-top-down", "bmp", [this](std::uint32_t v) {
        return BuildBmp({.width = 50, .height = -40, .bitsPerPixel = 32, .seed = Seed(17, v)});
    }));
    add(Recorded("png", "png", "png", [this](std::uint32_t v) {
        return BuildPng({.width = 200, .height = 160, .seed = Seed(8, v)});
    }));
    // Encoders that write no application segment start with the tables.
    add(Recorded("jpeg-quantisation-tables-first", "jpg", "jpg", [this](std::uint32_t v) {
        return BuildJpeg({.app = JpegApp::None, .seed = Seed(9, v)});  // FF D8 FF DB
    }));
    add(Decoy("jpeg-without-huffman-tables", "jpg", [this](std::uint32_t v) {
        return BuildJpeg({.seed = Seed(10, v), .huffmanTables = false});
    }));
    add(Decoy("gif-unknown-version", "gif", [this](std::uint32_t v) {
        Bytes b = BuildGif({.seed = Seed(11, v)});
        Patch(b, 4, "8a");  // "GIF88a"
        return b;
    }));
    add(Decoy("bmp-height-2001", "bmp", [this](std::uint32_t v) {
        return BuildBmp({.width = 8, .height = 2001, .seed = Seed(12, v)});
    }));
    add(Decoy("png-width-0", "png", [this](std::uint32_t v) {
        Bytes b = BuildPng({.seed = Seed(13, v)});
        SetLe32(b, 16, 0);
        return b;
    }));
    add(OffBoundary("jpeg-100-bytes-into-a-block", "jpg", 100, [this](std::uint32_t v) {
        return BuildJpeg({.app = JpegApp::Exif, .seed = Seed(14, v)});
    }));
    add(OffBoundary("png-37-bytes-into-a-block", "png", 37, [this](std::uint32_t v) {
        return BuildPng({.seed = Seed(15, v)});
    }));
    add(Across(Recorded("jpeg-exif-across", "jpg", "jpg", [this](std::uint32_t v) {
        return BuildJpeg({.app = JpegApp::Exif, .width = 640, .height = 480, .seed = Seed(16, v), .exifThumbnail = true});
    }), 1024));

    // ---- Video and audio.
    // The media builders take no seed: their sizes vary from set to set.
    add(Recorded("asf-wmv", "wmv", "wmv", [this](std::uint32_t v) {
        return BuildAsf({.packetCount = 12 + Vary(6), .packetSize = 3200 + 8 * v});
    }));
    add(Decoy("asf-no-header-objects", "wmv", [](std::uint32_t v) {
        return BuildAsf({.packetCount = 2, .packetSize = 1600 + 8 * v, .objectCountField = 0});
    }));
    {
        Entry mov = Recorded("quicktime", "mov", "mov", [this](std::uint32_t v) {
            return BuildQuickTime({.mediaBytes = 40000 + 16 * v + 4096 * Vary(8), .freeBytes = 64});
        });
        mov.headerAt = 4;
        add(mov);
        Entry trailing = Recorded("quicktime-unknown-atom-after-mdat", "mov", "mov", [](std::uint32_t v) {
            return BuildQuickTime({.mediaBytes = 12000 + 16 * v, .trailingAtomType = "skip", .trailingAtomBytes = 300});
        });
        trailing.headerAt = 4;
        add(trailing);
        Entry noMedia = Decoy("quicktime-without-mdat", "mov", [](std::uint32_t v) {
            return BuildQuickTime({.mediaBytes = 4096 + 16 * v, .mediaData = false});
        });
        noMedia.headerAt = 4;
        add(noMedia);
    }
    add(Recorded("riff-wave", "rif", "wav", [](std::uint32_t v) {
        return BuildWav({.dataBytes = 36000 - 36 + 2 * v, .sampleRate = 11025});
    }));
    add(Recorded("riff-wave-info", "rif", "wav", [this](std::uint32_t v) {
        return BuildWav({.dataBytes = 20000 + 2 * v + 400 * Vary(50), .channels = 2, .infoList = true});
    }));
    add(Recorded("riff-avi", "rif", "avi", [this](std::uint32_t v) {
        return BuildAvi({.frames = 6 + v + 8 * Vary(4)});
    }));
    add(Decoy("riff-unknown-form", "rif", [](std::uint32_t v) {
        Bytes b = BuildWav({.dataBytes = 4000 + 2 * v});
        Patch(b, 8, "RMID");
        return b;
    }));
    add(Decoy("riff-avi-without-list", "rif", [](std::uint32_t v) {
        Bytes b = BuildAvi({.frames = 2 + v});
        Patch(b, 12, "JUNK");
        return b;
    }));
    add(Recorded("mpeg1-program-stream", "mpg", "mpg", [this](std::uint32_t v) {
        return BuildMpeg({.packs = 24 + Vary(8), .packetPayload = 2000 + 4 * v});
    }));
    add(Decoy("mpeg-without-system-header", "mpg", [](std::uint32_t v) {
        return BuildMpeg({.packs = 4, .packetPayload = 1000 + 4 * v, .systemHeader = false});
    }));
    // The system header of an MPEG-2 stream starts at byte 14.
    add(Recorded("mpeg2-program-stream", "mpg", "mpg", [](std::uint32_t v) {
        return BuildMpeg({.mpeg2 = true, .packs = 6, .packetPayload = 1500 + 4 * v});
    }));
    // A stream without its end code runs on into a stream right after it,
    // as one stream would: these two are followed by files of other kinds.
    add(Recorded("mpeg1-program-stream-without-end-code", "mpg", "mpg", [this](std::uint32_t v) {
        return BuildMpeg({.packs = 10 + Vary(8), .packetPayload = 1800 + 4 * v, .endCode = false});
    }));
    add(Across(Recorded("riff-wave-across", "rif", "wav", [this](std::uint32_t v) {
        return BuildWav({.dataBytes = 2 * 1048576 + 2 * v + 4 * Vary(1000), .sampleRate = 22050, .channels = 2});
    }), 4096));

    // ---- Documents.
    add(Recorded("mpeg2-program-stream-without-end-code", "mpg", "mpg", [](std::uint32_t v) {
        return BuildMpeg({.mpeg2 = true, .packs = 9, .packetPayload = 1700 + 4 * v, .endCode = false});
    }));
    add(Recorded("html", "htm", "htm", [this](std::uint32_t v) {
        return BuildHtml({.seed = Seed(20, v)});
    }));
    add(Recorded("html-upper-case", "htm", "htm", [this](std::uint32_t v) {
        return BuildHtml({.title = "OLD PAGE", .paragraphs = 9, .seed = Seed(21, v), .upperCaseTags = true});
    }));
    add(Recorded("html-line-end-after-closing-tag", "htm", "htm", [this](std::uint32_t v) {
        return BuildHtml({.seed = Seed(22, v), .trailingLineEnd = true});
    }));
    // A page saved on Windows: CR LF line ends right after "<html>".
    add(Recorded("html-crlf-line-ends", "htm", "htm", [this](std::uint32_t v) {
        return BuildHtml({.seed = Seed(23, v), .crlfLineEnds = true});
    }));
    // "<!DOCTYPE html>" opens the page; "<html" lies 16 bytes further.
    add(Recorded("html-doctype-first", "htm", "htm", [this](std::uint32_t v) {
        return BuildHtml({.seed = Seed(24, v), .doctype = true});
    }));
    add(Recorded("pdf", "pdf", "pdf", [this](std::uint32_t v) {
        return BuildPdf({.pages = 3, .seed = Seed(25, v)});
    }));
    add(Recorded("pdf-linearized", "pdf", "pdf", [this](std::uint32_t v) {
        return BuildPdf({.minorVersion = 6, .pages = 2, .seed = Seed(26, v), .linearized = true});
    }));
    // Ends at the update's "%%EOF".
    add(Recorded("pdf-incremental-update", "pdf", "pdf", [this](std::uint32_t v) {
        return BuildPdf({.seed = Seed(27, v), .incrementalUpdate = true});
    }));
    // Ends after the CR LF of its last line.
    add(Recorded("pdf-crlf", "pdf", "pdf", [this](std::uint32_t v) {
        return BuildPdf({.seed = Seed(28, v), .lineEnd = "\r\n"});
    }));
    add(Decoy("pdf-without-object-near-header", "pdf", [this](std::uint32_t v) {
        const Bytes pdf = BuildPdf({.seed = Seed(29, v), .binaryComment = false});
        std::string head = "%PDF-1.4\n%" + std::string(150, '-') + "\n";
        Bytes b(head.begin(), head.end());
        std::size_t firstLine = 0;
        while (firstLine < pdf.size() && pdf[firstLine] != '\n') ++firstLine;
        b.insert(b.end(), pdf.begin() + static_cast<std::ptrdiff_t>(std::min(pdf.size(), firstLine + 1)), pdf.end());
        return b;
    }));
    add(OffBoundary("pdf-4-bytes-into-a-block", "pdf", 4, [this](std::uint32_t v) {
        return BuildPdf({.seed = Seed(30, v)});
    }));
    add(Recorded("ole-word-document", "ole", "doc", [this](std::uint32_t v) {
        return BuildOle(WordDocumentStreams({.seed = Seed(31, v), .mainStreamSize = 9000})).bytes;
    }));
    add(Recorded("ole-word-document-directory-last", "ole", "doc", [this](std::uint32_t v) {
        return BuildOle(WordDocumentStreams({.seed = Seed(32, v), .mainStreamSize = 30000, .directoryLast = true}))
            .bytes;
    }));
    add(Recorded("ole-excel-workbook", "ole", "xls", [this](std::uint32_t v) {
        return BuildOle(ExcelWorkbookStreams({.seed = Seed(33, v)})).bytes;
    }));
    add(Recorded("ole-excel-workbook-difat", "ole", "xls", [this](std::uint32_t v) {
        OleSampleOptions o = ExcelWorkbookStreams({.seed = Seed(34, v), .mainStreamSize = 20000});
        o.difatSectors = 1;
        return BuildOle(o).bytes;
    }));
    add(Recorded("ole-powerpoint", "ole", "ppt", [this](std::uint32_t v) {
        return BuildOle(PowerPointStreams({.seed = Seed(35, v)})).bytes;
    }));
    // The first stream that names a kind decides: WordDocument before Workbook.
    add(Recorded("ole-word-then-workbook", "ole", "doc", [this](std::uint32_t v) {
        OleSampleOptions o = WordDocumentStreams({.seed = Seed(36, v)});
        o.streams.push_back({"Workbook", Bytes(5000, 0x42)});
        return BuildOle(o).bytes;
    }));
    add(Decoy("ole-version-3-claiming-4096-byte-sectors", "ole", [this](std::uint32_t v) {
        Bytes b = BuildOle(WordDocumentStreams({.seed = Seed(37, v)})).bytes;
        b[30] = 12;  // sector shift 12 in a version 3 header
        return b;
    }));
    add(Recorded("ole-word-document-4096-byte-sectors", "ole", "doc", [this](std::uint32_t v) {
        OleSampleOptions o = WordDocumentStreams({.seed = Seed(39, v), .mainStreamSize = 12000});
        o.largeSectors = true;
        return BuildOle(o).bytes;
    }));
    add(Across(Recorded("pdf-across", "pdf", "pdf", [this](std::uint32_t v) {
        return BuildPdf({.pages = 40, .seed = Seed(38, v), .totalSize = 600000});
    }), 2048));

    // ---- Archives and programs.
    AppendArchives(list);

    // ---- What a phone holds today.
    AppendPhoneMedia(list);

    // ---- Bulk across boundaries: a stream over two boundaries, then files
    // whose header lies little before one.
    add(Across(Recorded("mpeg1-program-stream-across-two-chunks", "mpg", "mpg", [](std::uint32_t v) {
        return BuildMpeg({.packs = 2200, .packetPayload = 2300 + 4 * v});
    }), 2560));
    add(Across(Recorded("gif89a-across", "gif", "gif", [this](std::uint32_t v) {
        return BuildGif({.width = 200, .height = 200, .frames = 4, .seed = Seed(40, v), .totalSize = 300000});
    }), 512));
    add(Across(Recorded("png-across", "png", "png", [this](std::uint32_t v) {
        return BuildPng({.width = 400, .height = 300, .seed = Seed(41, v), .idatChunkSize = 65536});
    }), 8192));
    add(Across(Recorded("html-across", "htm", "htm", [this](std::uint32_t v) {
        return BuildHtml({.paragraphs = 40, .seed = Seed(42, v), .totalSize = 40000});
    }), 3072));
    add(Across(Recorded("mp4-video-across", "mp4", "mp4", [this](std::uint32_t v) {
        return BuildIsoMedia({.brand = "mp42", .mediaBytes = 1200000 + 16 * v + 4096 * Vary(16), .seed = Seed(43, v)});
    }), 1536));
    add(Across(Recorded("mp3-across", "mp3", "mp3", [this](std::uint32_t v) {
        return BuildMp3({.frames = 2500 + v + Vary(200), .id3v1 = true, .seed = Seed(44, v)});
    }), 2048));
    add(Across(Recorded("motion-photo-across", "jpg", "jpg", [this](std::uint32_t v) {
        return BuildMotionPhoto({.videoBytes = 400000 + 8 * v, .seed = Seed(45, v)});
    }), 1024));
    add(Across(Recorded("zip-data-descriptors-across", "zip", "docx", [this](std::uint32_t v) {
        ZipSampleOptions o = OfficeOpenXmlEntries("word", Seed(46, v));
        for (ZipEntry& e : o.entries) e.dataDescriptor = true;
        o.entries.push_back({"word/media/image1.bin", Noise(900000, Seed(47, v)), ZipMethod::Stored, true});
        return BuildZip(o);
    }), 4096));
    return list;
}

void Catalogue::AppendArchives(std::vector<Entry>& list) const {
    auto add = [&list](Entry e) { list.push_back(std::move(e)); };

    add(Recorded("zip", "zip", "zip", [this](std::uint32_t v) { return BuildZip(PlainZipEntries(Seed(50, v))); }));
    // The file ends exactly after the 5-byte comment.
    add(Recorded("zip-with-comment", "zip", "zip", [this](std::uint32_t v) {
        ZipSampleOptions o = PlainZipEntries(Seed(51, v));
        o.comment = "notes";
        return BuildZip(o);
    }));
    add(Recorded("openoffice-writer", "zip", "sxw", [this](std::uint32_t v) {
        return BuildZip(OpenOfficeEntries(OpenOfficeKind::Writer, Seed(52, v)));
    }));
    add(Recorded("openoffice-calc", "zip", "sxc", [this](std::uint32_t v) {
        return BuildZip(OpenOfficeEntries(OpenOfficeKind::Calc, Seed(53, v)));
    }));
    add(Recorded("openoffice-impress", "zip", "sxi", [this](std::uint32_t v) {
        return BuildZip(OpenOfficeEntries(OpenOfficeKind::Impress, Seed(54, v)));
    }));
    add(Recorded("java-archive", "zip", "jar", [this](std::uint32_t v) { return BuildZip(JarEntries(Seed(55, v))); }));
    // A content.xml without the office mimetype entry: an office document of
    // unknown kind.
    add(Recorded("zip-content-xml", "zip", "sx", [this](std::uint32_t v) {
        ZipSampleOptions o = PlainZipEntries(Seed(56, v));
        o.entries.insert(o.entries.begin(), ZipEntry {"content.xml", Noise(700, Seed(56, v))});
        return BuildZip(o);
    }));
    add(Recorded("zip-deep-path", "zip", "zip", [this](std::uint32_t v) {
        ZipSampleOptions o = PlainZipEntries(Seed(110, v));
        o.entries.front().name = "vendor/github.com/" + std::string(140, 'n') + "/LICENSE";
        return BuildZip(o);
    }));
    add(Decoy("zip-name-too-long", "zip", [this](std::uint32_t v) {
        ZipSampleOptions o = PlainZipEntries(Seed(57, v));
        o.entries.front().name = "documents/" + std::string(4100, 'n') + ".txt";
        return BuildZip(o);
    }));
    add(OffBoundary("zip-300-bytes-into-a-block", "zip", 300, [this](std::uint32_t v) {
        return BuildZip(PlainZipEntries(Seed(58, v)));
    }));
    add(Recorded("rar", "rar", "rar", [this](std::uint32_t v) { return BuildRar(PlainRarEntries(Seed(59, v))); }));
    add(Recorded("rar-2.0", "rar", "rar", [this](std::uint32_t v) {
        RarSampleOptions o = PlainRarEntries(Seed(60, v));
        o.unpackVersion = 20;
        o.entries.push_back({"photos\\list.bin", Noise(3000, Seed(60, v))});
        return BuildRar(o);
    }));
    add(Recorded("rar5", "rar", "rar", [this](std::uint32_t v) { return BuildRar5(PlainRar5Entries(Seed(71, v))); }));
    add(Recorded("word-document-docx", "zip", "docx", [this](std::uint32_t v) {
        return BuildZip(OfficeOpenXmlEntries("word", Seed(72, v)));
    }));
    add(Recorded("excel-workbook-xlsx", "zip", "xlsx", [this](std::uint32_t v) {
        return BuildZip(OfficeOpenXmlEntries("xl", Seed(73, v)));
    }));
    add(Recorded("powerpoint-pptx", "zip", "pptx", [this](std::uint32_t v) {
        return BuildZip(OfficeOpenXmlEntries("ppt", Seed(74, v)));
    }));
    add(Recorded("opendocument-text", "zip", "odt", [this](std::uint32_t v) {
        ZipSampleOptions o = OpenOfficeEntries(OpenOfficeKind::Writer, Seed(75, v));
        std::string mime = "application/vnd.oasis.opendocument.text";
        o.entries.front().data.assign(mime.begin(), mime.end());
        return BuildZip(o);
    }));
    add(Recorded("android-package", "zip", "apk", [this](std::uint32_t v) {
        ZipSampleOptions o;
        o.entries.push_back({"AndroidManifest.xml", Noise(1800, Seed(76, v))});
        o.entries.push_back({"classes.dex", Noise(6000, Seed(77, v)), ZipMethod::Stored});
        o.entries.push_back({"resources.arsc", Noise(2000, Seed(78, v)), ZipMethod::Stored});
        o.entries.push_back({"META-INF/MANIFEST.MF", Bytes(300, 'm')});
        return BuildZip(o);
    }));
    add(Decoy("rar-without-archive-header", "rar", [this](std::uint32_t v) {
        Bytes b = BuildRar(PlainRarEntries(Seed(61, v)));
        b[7 + 2] = 0x7A;  // the block after the marker is not the archive header
        return b;
    }));
    // An executable, a library, then an executable again: the library's
    // extension does not stick to the type.
    add(Recorded("pe-executable", "exe", "exe", [this](std::uint32_t v) {
        return BuildPe({.seed = Seed(62, v), .codeSize = 0x3000});
    }));
    add(Recorded("pe-library", "exe", "dll", [this](std::uint32_t v) {
        return BuildPe({.library = true, .seed = Seed(63, v)});
    }));
    add(Recorded("pe-executable-after-library", "exe", "exe", [this](std::uint32_t v) {
        return BuildPe({.seed = Seed(64, v), .peOffset = 0xE8, .dataSize = 0x1000});
    }));
    // The overlay after the last section is not part of the recorded file.
    add(Recorded("pe-executable-with-overlay", "exe", "exe", [this](std::uint32_t v) {
        return BuildPe({.seed = Seed(65, v), .overlay = 5000});
    }));
    add(Recorded("pe32-plus-with-symbols", "exe", "exe", [this](std::uint32_t v) {
        return BuildPe({.seed = Seed(79, v), .pe32Plus = true, .symbols = 40});
    }));
    add(Decoy("pe-bad-signature", "exe", [this](std::uint32_t v) {
        Bytes b = BuildPe({.seed = Seed(66, v)});
        Patch(b, 0x80, "PX");
        return b;
    }));
    add(Decoy("pe-neither-executable-nor-library", "exe", [this](std::uint32_t v) {
        return BuildPe({.seed = Seed(67, v), .characteristics = 0x0100});
    }));
    add(Decoy("dos-program-without-pe-header", "exe", [this](std::uint32_t v) {
        Bytes b = BuildPe({.seed = Seed(68, v)});
        b[60] = 0;
        b[61] = 0;
        return b;
    }));

    // A ZIP across a chunk boundary that stores another ZIP at a block
    // boundary before it: once the outer archive is recorded from the bytes
    // after the chunk, the inner one is not searched for.
    add(Across(Recorded("zip-holding-zip-across", "zip", "zip", [this](std::uint32_t v) {
        ZipEntry inner {"archive/inner.zip", BuildZip(JarEntries(Seed(69, v))), ZipMethod::Stored};
        // Local header (30) + name + extra field = 512: the inner archive
        // starts at the outer one's second block.
        const std::size_t extra = 512 - 30 - inner.name.size();
        inner.extra = {0x71, 0x62, static_cast<std::uint8_t>((extra - 4) & 0xFF), static_cast<std::uint8_t>((extra - 4) >> 8)};
        inner.extra.resize(extra, 0);
        ZipSampleOptions o;
        o.entries.push_back(std::move(inner));
        o.entries.push_back({"archive/recording.bin", Noise(1500000, Seed(70, v)), ZipMethod::Stored});
        o.entries.push_back({"archive/readme.txt", Bytes(400, 'r')});
        return BuildZip(o);
    }), 6144));
}

void Catalogue::AppendPhoneMedia(std::vector<Entry>& list) const {
    auto add = [&list](Entry e) { list.push_back(std::move(e)); };

    // Camera photos, screenshots and chat pictures.
    add(Recorded("motion-photo", "jpg", "jpg", [this](std::uint32_t v) {
        return BuildMotionPhoto({.videoBytes = 30000 + 16 * v, .seed = Seed(80, v)});
    }));
    add(Recorded("motion-photo-microvideo", "jpg", "jpg", [this](std::uint32_t v) {
        return BuildMotionPhoto({.videoBytes = 25000 + 16 * v, .microVideo = true, .seed = Seed(81, v)});
    }));
    add(Recorded("ultra-hdr-photo", "jpg", "jpg", [this](std::uint32_t v) { return BuildUltraHdr(Seed(82, v)); }));
    add(BehindUnreadable(Recorded("jpeg-behind-an-unreadable-sector", "jpg", "jpg", [this](std::uint32_t v) {
        return BuildJpeg({.app = JpegApp::Exif, .width = 96, .height = 64, .seed = Seed(83, v)});
    })));
    add(Recorded("png-phone-screen-height", "png", "png", [this](std::uint32_t v) {
        return BuildPng({.width = 4, .height = 3200, .seed = Seed(84, v)});
    }));
    add(Recorded("gif-block-end-and-trailer-byte-in-data", "gif", "gif", [this](std::uint32_t v) {
        return BuildGif({.width = 120, .height = 90, .frames = 2, .seed = Seed(85, v), .earlyTrailerPair = true});
    }));
    add(Recorded("webp-lossy", "webp", "webp", [this](std::uint32_t v) {
        return BuildWebp({.kind = WebpKind::Lossy, .dataBytes = 4000 + 2 * v, .seed = Seed(86, v)});
    }));
    add(Recorded("webp-lossless-sticker", "webp", "webp", [this](std::uint32_t v) {
        return BuildWebp({.kind = WebpKind::Lossless, .dataBytes = 3000 + 2 * v, .seed = Seed(87, v)});
    }));
    add(Recorded("webp-animated-sticker", "webp", "webp", [this](std::uint32_t v) {
        return BuildWebp({.kind = WebpKind::Animated, .dataBytes = 1500 + 2 * v, .frames = 4, .seed = Seed(88, v)});
    }));
    add(Decoy("webp-unknown-first-chunk", "webp", [this](std::uint32_t v) {
        Bytes b = BuildWebp({.dataBytes = 2000 + 2 * v, .seed = Seed(89, v)});
        Patch(b, 12, "ICCP");
        return b;
    }));
    add(Recorded("heic-photo", "mp4", "heic", [this](std::uint32_t v) {
        return BuildIsoMedia({.brand = "heic", .mediaBytes = 20000 + 4 * v, .picture = true, .seed = Seed(90, v)});
    }));

    // Videos, voice notes and music.
    add(Recorded("mp4-media-data-first", "mp4", "mp4", [this](std::uint32_t v) {
        return BuildIsoMedia({.brand = "mp42", .mediaBytes = 60000 + 16 * v, .seed = Seed(91, v)});
    }));
    add(Recorded("mp4-movie-first", "mp4", "mp4", [this](std::uint32_t v) {
        return BuildIsoMedia({.brand = "isom", .mediaBytes = 40000 + 16 * v, .mediaFirst = false, .seed = Seed(92, v)});
    }));
    add(Recorded("mp4-64-bit-media-size", "mp4", "mp4", [this](std::uint32_t v) {
        return BuildIsoMedia({.brand = "mp42", .mediaBytes = 30000 + 16 * v, .largeSize = true, .seed = Seed(93, v)});
    }));
    add(Recorded("mov-brand-qt", "mp4", "mov", [this](std::uint32_t v) {
        return BuildIsoMedia({.brand = "qt  ", .mediaBytes = 25000 + 16 * v, .seed = Seed(94, v)});
    }));
    add(Recorded("3gp-clip", "mp4", "3gp", [this](std::uint32_t v) {
        return BuildIsoMedia({.brand = "3gp4", .mediaBytes = 20000 + 16 * v, .seed = Seed(95, v)});
    }));
    add(Recorded("m4a-voice-recording", "mp4", "m4a", [this](std::uint32_t v) {
        return BuildIsoMedia({.brand = "M4A ", .mediaBytes = 15000 + 16 * v, .seed = Seed(96, v)});
    }));
    add(Decoy("mp4-ftyp-shorter-than-its-fields", "mp4", [this](std::uint32_t v) {
        Bytes b = BuildIsoMedia({.mediaBytes = 5000 + 16 * v, .seed = Seed(97, v)});
        b[3] = 12;
        return b;
    }));
    add(Recorded("mp3-with-id3v2", "mp3", "mp3", [this](std::uint32_t v) {
        return BuildMp3({.frames = 60 + v, .seed = Seed(98, v)});
    }));
    add(Recorded("mp3-without-id3v2-with-id3v1", "mp3", "mp3", [this](std::uint32_t v) {
        return BuildMp3({.frames = 50 + v, .id3v2 = false, .id3v1 = true, .seed = Seed(99, v)});
    }));
    add(Decoy("mp3-id3-version-9", "mp3", [this](std::uint32_t v) {
        Bytes b = BuildMp3({.frames = 20 + v, .seed = Seed(100, v)});
        b[3] = 9;
        return b;
    }));
    add(Recorded("opus-voice-note", "ogg", "opus", [this](std::uint32_t v) {
        return BuildOggOpus({.audioPages = 8 + v % 4, .packetBytes = 50 + v, .seed = Seed(101, v)});
    }));
    add(Recorded("opus-voice-note-cut-short", "ogg", "opus", [this](std::uint32_t v) {
        return BuildOggOpus({.audioPages = 5, .packetBytes = 40 + v, .endOfStream = false, .seed = Seed(102, v)});
    }));
    add(Recorded("amr-voice-recording", "amr", "amr", [this](std::uint32_t v) {
        return BuildAmr({.frames = 200 + v, .seed = Seed(103, v)});
    }));
    add(Recorded("amr-wide-band", "amr", "amr", [this](std::uint32_t v) {
        return BuildAmr({.frames = 120 + v, .wideBand = true, .seed = Seed(104, v)});
    }));
    add(Recorded("flac-music", "flac", "flac", [this](std::uint32_t v) {
        return BuildFlac({.frames = 10 + v % 5, .lastBlock = 300 + v, .seed = Seed(105, v)});
    }));
    add(Recorded("webm-video", "mkv", "webm", [this](std::uint32_t v) {
        return BuildMatroska({.clusters = 3, .blockBytes = 600 + v, .seed = Seed(106, v)});
    }));
    add(Recorded("matroska-written-live", "mkv", "mkv", [this](std::uint32_t v) {
        return BuildMatroska({.webm = false, .clusters = 2, .blockBytes = 500 + v, .unknownSizes = true, .seed = Seed(107, v)});
    }));

    // App databases.
    add(Recorded("sqlite-database", "sqlite", "db", [this](std::uint32_t v) {
        return BuildSqlite({.pageSize = 4096, .pages = 3 + v % 4, .seed = Seed(108, v)});
    }));
    add(Decoy("sqlite-page-size-1000", "sqlite", [this](std::uint32_t v) {
        Bytes b = BuildSqlite({.pageSize = 1024, .pages = 2, .seed = Seed(109, v)});
        b[16] = 0x03;
        b[17] = 0xE8;
        return b;
    }));
}

// Builds the entry's sample from variant v, with what the scan records.
std::optional<CardSample> MakeSample(const Entry& e, std::uint32_t v, std::string* why) {
    CardSample s;
    s.kind = e.kind;
    s.group = e.group;
    s.role = e.role;
    s.headerAt = e.headerAt;
    s.bytes = e.build(v);
    const std::span<const std::uint8_t> header = std::span(s.bytes).subspan(std::min<std::size_t>(s.bytes.size(), s.headerAt));
    const std::vector<std::string_view> groups = HeaderGroupsAt(header, 0);
    if (std::find(groups.begin(), groups.end(), e.group) == groups.end()) {
        *why = e.kind + ": does not begin with the " + e.group + " header";
        return std::nullopt;
    }
    const std::optional<RecordedFile> recorded = RecordedFileOf(e.group, s.bytes);
    if (e.role == SampleRole::Recorded) {
        if (!recorded) {
            *why = e.kind + ": its type's rule does not delimit it";
            return std::nullopt;
        }
        if (recorded->suffix != e.suffix) {
            *why = e.kind + ": recorded as ." + recorded->suffix + ", not ." + e.suffix;
            return std::nullopt;
        }
        s.recordedSize = recorded->size;
        s.suffix = recorded->suffix;
        if (s.bytes.size() < s.recordedSize) s.bytes.resize(s.recordedSize, 0);  // OLE: zero sectors
    } else if (e.role == SampleRole::Decoy) {
        // A decoy must be turned down: by the first check of its type, or
        // (for the types without one here) by its type's rule.
        const bool rejected = RejectedAtFirstCheck(e.group, s.bytes, 0) || !recorded;
        if (!rejected) {
            *why = e.kind + ": would be recorded";
            return std::nullopt;
        }
    }
    return s;
}

bool Lay(CardLayout& layout, const Entry& e, std::string* error) {
    std::string why;
    for (std::uint32_t v = 0; v < kVariants; ++v) {
        std::optional<CardSample> s = MakeSample(e, v, &why);
        if (!s) continue;
        bool placed = false;
        switch (e.where) {
        case Where::InChunk: placed = layout.Place(*s, &why); break;
        case Where::Across: placed = layout.PlaceAcross(*s, e.placement, &why); break;
        case Where::OffBoundary: placed = layout.PlaceUnaligned(*s, e.placement, &why); break;
        case Where::BehindUnreadable: placed = layout.PlaceBehindUnreadable(*s, &why); break;
        }
        if (placed) return true;
    }
    if (error) *error = "no variant of " + e.kind + " could be laid down (" + why + ")";
    return false;
}

}  // namespace

std::optional<SampleCard> BuildSampleCard(const SampleCardOptions& options, std::string* error) {
    if (options.scale < 1) {
        if (error) *error = "the scale must be at least 1";
        return std::nullopt;
    }
    CardLayout layout(options.seed);
    for (std::uint32_t round = 0; round < options.scale; ++round) {
        const Catalogue catalogue(options.seed, round);  // the entries' builders refer to it
        for (const Entry& e : catalogue.Entries())
            if (!Lay(layout, e, error)) return std::nullopt;
    }
    return layout.Finish(options.seed, options.scale, error);
}

std::optional<CardTruth> GenerateSampleCard(const std::string& imagePath, const SampleCardOptions& options,
                                            std::string* error) {
    std::optional<SampleCard> card = BuildSampleCard(options, error);
    if (!card) return std::nullopt;
    const std::string_view image(reinterpret_cast<const char*>(card->image.data()), card->image.size());
    std::string why;
    if (!platform::WriteWholeFile(imagePath, image, &why)) {
        if (error) *error = imagePath + ": " + why;
        return std::nullopt;
    }
    const std::string truthPath = options.truthPath.empty() ? TruthPathFor(imagePath) : options.truthPath;
    if (!WriteCardTruth(truthPath, card->truth, &why)) {
        if (error) *error = truthPath + ": " + why;
        return std::nullopt;
    }
    return std::move(card->truth);
}

}  // namespace qb::tools

#include "tools/sample_card/archive_samples.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "tools/sample_card/byte_writer.h"
#include "tools/sample_card/compression.h"

namespace qb::tools {

namespace {

class TextSource {
public:
    explicit TextSource(std::uint32_t seed) : state_(seed * 2246822519u + 0x85EBCA6Bu) {}

    std::uint32_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    std::string Word() {
        static constexpr std::array<std::string_view, 32> kWords = {
            "invoice", "order",   "amount",  "customer", "delivery", "address", "total",   "payment",
            "account", "balance", "summary", "quarter",  "region",   "product", "price",   "stock",
            "north",   "south",   "east",    "west",     "monday",   "friday",  "meeting", "budget",
            "travel",  "photo",   "album",   "holiday",  "family",   "garden",  "kitchen", "office"};
        return std::string(kWords[Next() % kWords.size()]);
    }
    std::string Lines(int count) {
        std::string out;
        for (int i = 0; i < count; ++i) {
            const int words = 4 + static_cast<int>(Next() % 8);
            for (int w = 0; w < words; ++w) out += (w ? " " : "") + Word();
            out += "\n";
        }
        return out;
    }

private:
    std::uint32_t state_;
};

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// ---------------------------------------------------------------- PE

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t unit) { return (value + unit - 1) / unit * unit; }

struct PeSection {
    const char* name;
    std::uint32_t rawSize;
    std::uint32_t characteristics;
    std::vector<std::uint8_t> data;  // at most rawSize bytes; the rest is zero
};

std::vector<std::uint8_t> CodeBytes(std::uint32_t size, TextSource& text) {
    std::vector<std::uint8_t> code;
    // Small cdecl functions: prologue, a local, a constant, epilogue.
    while (code.size() + 24 <= size) {
        const std::uint32_t constant = text.Next();
        const std::uint8_t fn[] = {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x08, 0xB8, static_cast<std::uint8_t>(constant),
                                   static_cast<std::uint8_t>(constant >> 8), static_cast<std::uint8_t>(constant >> 16),
                                   0x00, 0x89, 0x45, 0xFC, 0x8B, 0x45, 0xFC, 0x8B, 0xE5, 0x5D, 0xC3, 0xCC, 0xCC, 0xCC};
        code.insert(code.end(), fn, fn + sizeof fn);
        if (text.Next() % 4 == 0) code.resize(code.size() + 8, 0xCC);
    }
    code.resize(std::min<std::size_t>(code.size(), size));
    return code;
}

}  // namespace

std::vector<std::uint8_t> BuildZip(const ZipSampleOptions& options) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> central;
    for (const ZipEntry& entry : options.entries) {
        const bool deflated = entry.method == ZipMethod::Deflated;
        const std::vector<std::uint8_t> packed = deflated ? Deflate(entry.data, DeflateWrapping::Raw) : entry.data;
        const std::uint32_t crc = Crc32(entry.data.data(), entry.data.size());
        const std::uint16_t flags = entry.dataDescriptor ? 0x0008 : 0x0000;
        const std::uint16_t version = deflated ? 20 : 10;
        const auto offset = static_cast<std::uint32_t>(out.size());

        PutText(out, "PK\x03\x04");
        PutLe16(out, version);
        PutLe16(out, flags);
        PutLe16(out, deflated ? 8 : 0);
        PutLe16(out, options.dosTime);
        PutLe16(out, options.dosDate);
        PutLe32(out, entry.dataDescriptor ? 0 : crc);
        PutLe32(out, entry.dataDescriptor ? 0 : static_cast<std::uint32_t>(packed.size()));
        PutLe32(out, entry.dataDescriptor ? 0 : static_cast<std::uint32_t>(entry.data.size()));
        PutLe16(out, static_cast<std::uint32_t>(entry.name.size()));
        PutLe16(out, static_cast<std::uint32_t>(entry.extra.size()));
        PutText(out, entry.name);
        out.insert(out.end(), entry.extra.begin(), entry.extra.end());
        out.insert(out.end(), packed.begin(), packed.end());
        if (entry.dataDescriptor) {
            PutText(out, "PK\x07\x08");
            PutLe32(out, crc);
            PutLe32(out, static_cast<std::uint32_t>(packed.size()));
            PutLe32(out, static_cast<std::uint32_t>(entry.data.size()));
        }

        PutText(central, "PK\x01\x02");
        PutLe16(central, 0x0014);  // made by: MS-DOS, version 2.0
        PutLe16(central, version);
        PutLe16(central, flags);
        PutLe16(central, deflated ? 8 : 0);
        PutLe16(central, options.dosTime);
        PutLe16(central, options.dosDate);
        PutLe32(central, crc);
        PutLe32(central, static_cast<std::uint32_t>(packed.size()));
        PutLe32(central, static_cast<std::uint32_t>(entry.data.size()));
        PutLe16(central, static_cast<std::uint32_t>(entry.name.size()));
        PutLe16(central, 0);  // extra
        PutLe16(central, 0);  // comment
        PutLe16(central, 0);  // disk
        PutLe16(central, 0);  // internal attributes
        PutLe32(central, entry.name.ends_with('/') ? 0x10 : 0x20);
        PutLe32(central, offset);
        PutText(central, entry.name);
    }
    const auto centralOffset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    PutText(out, "PK\x05\x06");
    PutLe16(out, 0);
    PutLe16(out, 0);
    PutLe16(out, static_cast<std::uint32_t>(options.entries.size()));
    PutLe16(out, static_cast<std::uint32_t>(options.entries.size()));
    PutLe32(out, static_cast<std::uint32_t>(central.size()));
    PutLe32(out, centralOffset);
    PutLe16(out, static_cast<std::uint32_t>(options.comment.size()));
    PutText(out, options.comment);
    return out;
}

ZipSampleOptions PlainZipEntries(std::uint32_t seed) {
    TextSource text(seed);
    ZipSampleOptions zip;
    zip.entries.push_back({"notes.txt", Bytes(text.Lines(40))});
    std::string csv = "date;customer;amount\n";
    for (int i = 1; i <= 60; ++i)
        csv += "2014-09-" + std::to_string(1 + i % 28) + ";" + text.Word() + ";" + std::to_string(text.Next() % 10000) +
               "\n";
    zip.entries.push_back({"report.csv", Bytes(csv)});
    std::vector<std::uint8_t> values;
    for (int i = 0; i < 300; ++i) values.push_back(static_cast<std::uint8_t>(text.Next()));
    zip.entries.push_back({"photos/list.bin", values, ZipMethod::Stored});
    return zip;
}

ZipSampleOptions OpenOfficeEntries(OpenOfficeKind kind, std::uint32_t seed) {
    TextSource text(seed);
    const char* type = kind == OpenOfficeKind::Writer ? "writer" : kind == OpenOfficeKind::Calc ? "calc" : "impress";
    const std::string mime = std::string("application/vnd.sun.xml.") + type;
    const std::string office = "xmlns:office=\"http://openoffice.org/2000/office\"";
    ZipSampleOptions zip;
    zip.entries.push_back({"mimetype", Bytes(mime), ZipMethod::Stored});
    std::string content = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content " + office +
                          " xmlns:text=\"http://openoffice.org/2000/text\" office:class=\"" +
                          (kind == OpenOfficeKind::Writer ? "text" : kind == OpenOfficeKind::Calc ? "spreadsheet"
                                                                                                  : "presentation") +
                          "\" office:version=\"1.0\"><office:body>";
    for (int i = 0; i < 25; ++i) content += "<text:p>" + text.Lines(1) + "</text:p>";
    content += "</office:body></office:document-content>\n";
    zip.entries.push_back({"content.xml", Bytes(content)});
    zip.entries.push_back({"styles.xml", Bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-styles " +
                                               office + " office:version=\"1.0\"><office:styles/></office:document-styles>\n")});
    zip.entries.push_back({"meta.xml", Bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-meta " + office +
                                             " office:version=\"1.0\"><office:meta><meta:generator>OpenOffice.org 1.1.4"
                                             "</meta:generator><dc:creator>M. Keller</dc:creator></office:meta>"
                                             "</office:document-meta>\n")});
    zip.entries.push_back({"settings.xml", Bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-settings " +
                                                 office + " office:version=\"1.0\"/>\n")});
    zip.entries.push_back({"META-INF/manifest.xml",
                           Bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest:manifest xmlns:manifest="
                                 "\"http://openoffice.org/2001/manifest\">\n <manifest:file-entry manifest:media-type=\"" +
                                 mime +
                                 "\" manifest:full-path=\"/\"/>\n <manifest:file-entry manifest:media-type=\"text/xml\" "
                                 "manifest:full-path=\"content.xml\"/>\n</manifest:manifest>\n")});
    return zip;
}

ZipSampleOptions JarEntries(std::uint32_t seed) {
    TextSource text(seed);
    ZipSampleOptions zip;
    ZipEntry dir {"META-INF/", {}, ZipMethod::Stored};
    dir.extra = {0xFE, 0xCA, 0x00, 0x00};  // the jar tool's marker
    zip.entries.push_back(dir);
    zip.entries.push_back(
        {"META-INF/MANIFEST.MF", Bytes("Manifest-Version: 1.0\r\nCreated-By: 1.6.0_45 (Sun Microsystems Inc.)\r\n"
                                       "Main-Class: Main\r\n\r\n")});
    // A class file: magic, version 50 (Java 6), a constant pool, one method.
    std::vector<std::uint8_t> cls = {0xCA, 0xFE, 0xBA, 0xBE, 0x00, 0x00, 0x00, 0x32};
    const std::vector<std::string> constants = {"Main", "java/lang/Object", "main", "([Ljava/lang/String;)V", "Code",
                                                "<init>", "()V", "SourceFile", "Main.java", text.Word()};
    cls.push_back(0);
    cls.push_back(static_cast<std::uint8_t>(constants.size() + 1));
    for (const std::string& c : constants) {
        cls.push_back(0x01);  // CONSTANT_Utf8
        cls.push_back(static_cast<std::uint8_t>(c.size() >> 8));
        cls.push_back(static_cast<std::uint8_t>(c.size()));
        PutText(cls, c);
    }
    const std::uint8_t rest[] = {0x00, 0x21, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
                                 0x00, 0x09, 0x00, 0x03, 0x00, 0x04, 0x00, 0x01, 0x00, 0x05, 0x00, 0x00,
                                 0x00, 0x0D, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0xB1, 0x00,
                                 0x00, 0x00, 0x00, 0x00, 0x00};
    cls.insert(cls.end(), rest, rest + sizeof rest);
    zip.entries.push_back({"Main.class", cls});
    return zip;
}

std::vector<std::uint8_t> BuildRar(const RarSampleOptions& options) {
    std::vector<std::uint8_t> out = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    auto headerCrc = [&](std::size_t start) {
        const std::uint32_t crc = Crc32(out.data() + start + 2, out.size() - start - 2);
        SetLe16(out, start, crc & 0xFFFF);
    };

    std::size_t at = out.size();
    PutLe16(out, 0);
    out.push_back(0x73);
    PutLe16(out, 0x0000);
    PutLe16(out, 13);
    PutLe16(out, 0);  // reserved
    PutLe32(out, 0);  // reserved
    headerCrc(at);

    const std::uint32_t dosTime = (static_cast<std::uint32_t>(((2014 - 1980) << 9) | (9 << 5) | 23) << 16) |
                                  ((10 << 11) | (15 << 5));
    for (const RarEntry& entry : options.entries) {
        at = out.size();
        PutLe16(out, 0);
        out.push_back(0x74);
        PutLe16(out, 0x8000);  // a block with data after its header
        PutLe16(out, static_cast<std::uint32_t>(32 + entry.name.size()));
        PutLe32(out, static_cast<std::uint32_t>(entry.data.size()));  // packed size
        PutLe32(out, static_cast<std::uint32_t>(entry.data.size()));  // unpacked size
        out.push_back(2);                                              // host: Windows
        PutLe32(out, Crc32(entry.data.data(), entry.data.size()));
        PutLe32(out, dosTime);
        out.push_back(options.unpackVersion);
        out.push_back(0x30);  // stored
        PutLe16(out, static_cast<std::uint32_t>(entry.name.size()));
        PutLe32(out, 0x20);  // archive attribute
        PutText(out, entry.name);
        headerCrc(at);
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    }
    if (options.endBlock) {
        at = out.size();
        PutLe16(out, 0);
        out.push_back(0x7B);
        PutLe16(out, 0x4000);
        PutLe16(out, 7);
        headerCrc(at);
    }
    out.insert(out.end(), options.trailingZeros, 0);
    return out;
}

ZipSampleOptions OfficeOpenXmlEntries(const std::string& folder, std::uint32_t seed) {
    TextSource text(seed);
    const std::string main = folder == "xl" ? "workbook.xml" : folder == "ppt" ? "presentation.xml" : "document.xml";
    auto bytes = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
    ZipSampleOptions o;
    o.entries.push_back({"[Content_Types].xml",
                         bytes("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Types xmlns=\""
                               "http://schemas.openxmlformats.org/package/2006/content-types\"><Override PartName=\"/" +
                               folder + "/" + main + "\"/></Types>")});
    o.entries.push_back({"_rels/.rels", bytes("<?xml version=\"1.0\"?><Relationships><Relationship Target=\"" + folder +
                                              "/" + main + "\"/></Relationships>")});
    o.entries.push_back({folder + "/" + main, bytes("<?xml version=\"1.0\"?><body>" + text.Lines(20) + "</body>")});
    o.entries.push_back({"docProps/core.xml", bytes("<?xml version=\"1.0\"?><coreProperties/>")});
    return o;
}

RarSampleOptions PlainRarEntries(std::uint32_t seed) {
    TextSource text(seed);
    RarSampleOptions rar;
    rar.entries.push_back({"readme.txt", Bytes(text.Lines(30))});
    std::vector<std::uint8_t> values;
    for (int i = 0; i < 700; ++i) values.push_back(static_cast<std::uint8_t>(text.Next() >> 3));
    rar.entries.push_back({"data\\values.bin", values});
    return rar;
}

std::vector<std::uint8_t> BuildPe(const PeSampleOptions& options) {
    TextSource text(options.seed);
    constexpr std::uint32_t kFileAlign = 0x200;
    constexpr std::uint32_t kSectionAlign = 0x1000;

    std::vector<PeSection> sections;
    sections.push_back({".text", AlignUp(std::max<std::uint32_t>(options.codeSize, 1), kFileAlign), 0x60000020,
                        CodeBytes(AlignUp(std::max<std::uint32_t>(options.codeSize, 1), kFileAlign) - 0x40, text)});
    std::vector<std::uint8_t> rdata;
    for (std::string_view s : {"Quillbrook sample program", "settings.ini", "Could not open the file.", "%s: %d\n"}) {
        PutText(rdata, s);
        rdata.push_back(0);
    }
    sections.push_back({".rdata", 0x400, 0x40000040, rdata});
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 16; ++i) data.push_back(static_cast<std::uint8_t>(text.Next()));
    sections.push_back({".data", AlignUp(std::max<std::uint32_t>(options.dataSize, 1), kFileAlign), 0xC0000040, data});
    // An empty resource directory: characteristics, time, version, no entries.
    sections.push_back({".rsrc", 0x200, 0x40000040, std::vector<std::uint8_t>(16, 0)});
    if (options.library)
        sections.push_back({".reloc", 0x200, 0x42000040, {0x00, 0x10, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}});

    const std::uint32_t peOffset = std::max<std::uint32_t>(options.peOffset, 0x40);
    const auto count = static_cast<std::uint32_t>(sections.size());
    const std::uint32_t optionalSize = options.pe32Plus ? 240 : 224;
    const std::uint32_t headersSize = AlignUp(peOffset + 24 + optionalSize + count * 40, kFileAlign);
    std::uint32_t raw = headersSize;
    std::uint32_t virtualAddress = kSectionAlign;
    std::vector<std::uint32_t> rawPointer, virtualAddresses, virtualSizes;
    for (const PeSection& s : sections) {
        rawPointer.push_back(raw);
        virtualAddresses.push_back(virtualAddress);
        const std::uint32_t virtualSize = std::max<std::uint32_t>(static_cast<std::uint32_t>(s.data.size()), 1);
        virtualSizes.push_back(virtualSize);
        raw += s.rawSize;
        virtualAddress += AlignUp(std::max(virtualSize, s.rawSize), kSectionAlign);
    }
    const std::uint32_t imageSize = virtualAddress;

    std::vector<std::uint8_t> out(raw, 0);
    // DOS header and stub.
    out[0] = 'M';
    out[1] = 'Z';
    SetLe16(out, 2, 0x90);   // bytes on the last page
    SetLe16(out, 4, 3);      // pages
    SetLe16(out, 8, 4);      // header paragraphs
    SetLe16(out, 12, 0xFFFF);  // maximum allocation
    SetLe16(out, 16, 0xB8);  // initial SP
    SetLe16(out, 24, 0x40);  // relocation table
    SetLe32(out, 60, peOffset);
    const std::uint8_t stub[] = {0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21};
    std::vector<std::uint8_t> program(stub, stub + sizeof stub);
    PutText(program, "This program cannot be run in DOS mode.\r\r\n$");
    for (std::size_t i = 0; i < program.size() && 0x40 + i < peOffset; ++i) out[0x40 + i] = program[i];

    // PE header.
    const std::size_t pe = peOffset;
    out[pe] = 'P';
    out[pe + 1] = 'E';
    SetLe16(out, pe + 4, options.pe32Plus ? 0x8664 : 0x014C);
    SetLe16(out, pe + 6, count);
    SetLe32(out, pe + 8, 0x54213F80);  // 2014-09-23
    SetLe16(out, pe + 20, optionalSize);
    const unsigned large = options.pe32Plus ? 0x0020 : 0;  // large addresses, with PE32+
    SetLe16(out, pe + 22,
            options.characteristics ? *options.characteristics : (options.library ? 0x2102 : 0x0102) | large);

    // Optional header (PE32, or PE32+ with 8-byte image base and sizes).
    const std::size_t opt = pe + 24;
    SetLe16(out, opt, options.pe32Plus ? 0x020B : 0x010B);
    out[opt + 2] = 10;  // linker 10.0
    SetLe32(out, opt + 4, sections[0].rawSize);
    SetLe32(out, opt + 8, raw - headersSize - sections[0].rawSize);
    SetLe32(out, opt + 16, virtualAddresses[0] + 0x10);  // entry point
    SetLe32(out, opt + 20, virtualAddresses[0]);
    if (options.pe32Plus) {
        SetLe64(out, opt + 24, options.library ? 0x180000000ull : 0x140000000ull);
    } else {
        SetLe32(out, opt + 24, virtualAddresses[1]);
        SetLe32(out, opt + 28, options.library ? 0x10000000 : 0x00400000);
    }
    SetLe32(out, opt + 32, kSectionAlign);
    SetLe32(out, opt + 36, kFileAlign);
    SetLe16(out, opt + 40, 5);  // operating system 5.1
    SetLe16(out, opt + 42, 1);
    SetLe16(out, opt + 48, 5);  // subsystem 5.1
    SetLe16(out, opt + 50, 1);
    SetLe32(out, opt + 56, imageSize);
    SetLe32(out, opt + 60, headersSize);
    SetLe16(out, opt + 68, options.library ? 2 : 3);  // Windows GUI / console
    SetLe16(out, opt + 70, options.library ? 0x0140 : 0x8140);
    // Stack and heap reserve and commit: 4 bytes each in PE32, 8 in PE32+.
    const std::size_t width = options.pe32Plus ? 8 : 4;
    const std::uint32_t sizes[] = {0x100000, 0x1000, 0x100000, 0x1000};
    for (std::size_t i = 0; i < 4; ++i) SetLe32(out, opt + 72 + i * width, sizes[i]);
    const std::size_t countField = options.pe32Plus ? 108 : 92;
    SetLe32(out, opt + countField, 16);  // data directories
    const std::size_t directories = opt + countField + 4;
    SetLe32(out, directories + 2 * 8, virtualAddresses[3]);  // resources
    SetLe32(out, directories + 2 * 8 + 4, 16);
    if (options.library) {
        SetLe32(out, directories + 5 * 8, virtualAddresses[4]);  // base relocations
        SetLe32(out, directories + 5 * 8 + 4, 8);
    }

    // Section table and raw data.
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = pe + 24 + optionalSize + std::size_t {i} * 40;
        const PeSection& s = sections[i];
        std::copy(s.name, s.name + std::string_view(s.name).size(), out.begin() + static_cast<std::ptrdiff_t>(entry));
        SetLe32(out, entry + 8, virtualSizes[i]);
        SetLe32(out, entry + 12, virtualAddresses[i]);
        SetLe32(out, entry + 16, s.rawSize);
        SetLe32(out, entry + 20, rawPointer[i]);
        SetLe32(out, entry + 36, s.characteristics);
        std::copy(s.data.begin(), s.data.begin() + std::min<std::size_t>(s.data.size(), s.rawSize),
                  out.begin() + rawPointer[i]);
    }
    if (options.symbols > 0) {
        // Symbols of 18 bytes: a short name, value, section, type, storage
        // class, auxiliary count; then the string table (its size first).
        SetLe32(out, pe + 12, static_cast<std::uint32_t>(out.size()));
        SetLe32(out, pe + 16, options.symbols);
        for (std::uint32_t i = 0; i < options.symbols; ++i) {
            const std::string name = "_s" + std::to_string(i);
            std::vector<std::uint8_t> symbol(18, 0);
            std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(8, name.size())),
                      symbol.begin());
            SetLe32(symbol, 8, 0x10 * i);
            SetLe16(symbol, 12, 1);
            symbol[16] = 2;  // external
            out.insert(out.end(), symbol.begin(), symbol.end());
        }
        std::string strings;
        for (int i = 0; i < 12; ++i) strings += ".debug_long_section_name_" + std::to_string(i) + '\0';
        PutLe32(out, static_cast<std::uint32_t>(4 + strings.size()));
        PutText(out, strings);
    }
    for (std::size_t i = 0; i < options.overlay; ++i) out.push_back(static_cast<std::uint8_t>(text.Next()));
    return out;
}

}  // namespace qb::tools

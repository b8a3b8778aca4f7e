// Archive and executable samples for the sample card and the extractor
// tests: ZIP archives (plain, OpenOffice documents, Java archives), RAR 2.9
// and 4.x archives, and PE32 executables and libraries, built byte by byte,
// deterministically, with the structure and field values real files have,
// and options for the variants and defects the tests need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb::tools {

// ---------------------------------------------------------------- ZIP

enum class ZipMethod {
    Stored,
    Deflated,  // a deflate stream, coded by zlib
};

struct ZipEntry {
    std::string name;
    std::vector<std::uint8_t> data;
    ZipMethod method = ZipMethod::Deflated;
    // Flag bit 3: CRC and sizes are zero in the local header and follow the
    // data in a descriptor (50 4B 07 08), as streaming writers do.
    bool dataDescriptor = false;
    std::vector<std::uint8_t> extra;  // the local header's extra field
};

struct ZipSampleOptions {
    std::vector<ZipEntry> entries;
    std::string comment;  // the archive comment after the end record
    // MS-DOS modification time and date of every entry (2014-09-23 10:15:00).
    std::uint16_t dosTime = (10 << 11) | (15 << 5);
    std::uint16_t dosDate = ((2014 - 1980) << 9) | (9 << 5) | 23;
};

// Local entries, the central directory and the end record.
std::vector<std::uint8_t> BuildZip(const ZipSampleOptions& options);

// A few text and data files (notes.txt, report.csv, photos/list.txt).
ZipSampleOptions PlainZipEntries(std::uint32_t seed = 1);

enum class OpenOfficeKind { Writer, Calc, Impress };

// An OpenOffice.org 1.x document: the stored "mimetype" entry first
// ("application/vnd.sun.xml.writer", ".calc", ".impress"), then
// content.xml, styles.xml, meta.xml, settings.xml, META-INF/manifest.xml.
ZipSampleOptions OpenOfficeEntries(OpenOfficeKind kind, std::uint32_t seed = 1);

// A Java archive: META-INF/ (with the CAFE extra field), META-INF/MANIFEST.MF
// naming Main as the main class, and Main.class.
ZipSampleOptions JarEntries(std::uint32_t seed = 1);

// An Office Open XML document: [Content_Types].xml, _rels/.rels, the main
// part under `folder` ("word": document.xml, "xl": workbook.xml, "ppt":
// presentation.xml) and docProps/core.xml.
ZipSampleOptions OfficeOpenXmlEntries(const std::string& folder, std::uint32_t seed = 1);

// ---------------------------------------------------------------- RAR

struct RarEntry {
    std::string name;
    std::vector<std::uint8_t> data;  // stored (method 30): the packed data is the file
};

struct RarSampleOptions {
    std::vector<RarEntry> entries;
    std::uint8_t unpackVersion = 29;  // 29: RAR 2.9 to 4.x; 20: RAR 2.0
    bool endBlock = true;             // the end-of-archive block C4 3D 7B 00 40 07 00
    std::size_t trailingZeros = 0;    // zero bytes after the archive (unused space)
};

// Marker block, archive header (size 13), one file block per entry (file
// header with name and times, packed data), end-of-archive block.
std::vector<std::uint8_t> BuildRar(const RarSampleOptions& options);

// Two small files (readme.txt, data/values.bin).
RarSampleOptions PlainRarEntries(std::uint32_t seed = 1);

// ---------------------------------------------------------------- PE

struct PeSampleOptions {
    bool library = false;          // a DLL (characteristics 2102, image base 10000000, .reloc)
    std::uint32_t seed = 1;
    std::uint16_t peOffset = 0x80; // e_lfanew
    std::uint32_t codeSize = 0x1200;  // raw size of .text (rounded up to 0x200)
    std::uint32_t dataSize = 0x200;   // raw size of .data (rounded up to 0x200)
    std::optional<std::uint16_t> characteristics;  // other file characteristics
    // Bytes appended after the last section (an installer's payload, a
    // signature); they are not part of the image.
    std::size_t overlay = 0;
    // A 64-bit program: machine 8664 and the PE32+ optional header (240
    // bytes, magic 020B), as mingw-w64 writes it.
    bool pe32Plus = false;
    // A COFF symbol table of this many symbols after the sections, and its
    // string table, as unstripped mingw programs keep them; part of the file.
    std::uint32_t symbols = 0;
};

// DOS header and stub, PE header, PE32 (or PE32+) optional header with 16
// data directories, section table (.text, .rdata, .data, .rsrc and for a
// library .reloc) and the sections' raw data at 0x200 alignment. The file
// ends with the last section, or with the symbol and string tables, unless
// an overlay follows.
std::vector<std::uint8_t> BuildPe(const PeSampleOptions& options = {});

}  // namespace qb::tools

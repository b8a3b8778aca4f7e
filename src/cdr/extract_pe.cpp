// Windows executables and libraries (PE32 and 64-bit PE32+): the file
// ends with the last of its parts: the raw data of its sections, the COFF
// symbol table with its string table that unstripped programs keep after
// them (what mingw leaves), and the certificate table of a signed file.
//
// DOS header (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       2     "MZ"
//   2       58    DOS header fields (the stub program follows the header)
//   60      2     e_lfanew: position of the PE header (low 16 bits)
//
// PE header, from its position:
//   0       4     "PE" 00 00
//   4       2     machine (014C x86, 8664 x64, AA64 ARM64)
//   6       2     section count
//   8       4     time stamp
//   12      4     symbol table position (0: none)
//   16      4     symbol count; 18 bytes each, then the string table,
//                 whose first 4 bytes give its size
//   20      2     optional header size (224 for PE32, 240 for PE32+)
//   22      2     characteristics: 0002 executable image, 1000 system
//                 file, 2000 library (DLL)
//   24      n     optional header: magic 010B (PE32) or 020B (PE32+);
//                 the data directory count lies at 92 (PE32+: 108), the
//                 directories, 8 bytes each, from 96 (PE32+: 112); the
//                 fifth is the certificate table: its file offset and size
//   24+n    40*k  section table
//
// Section table entry (40 bytes):
//   0       8     name
//   8       4     virtual size
//   12      4     virtual address
//   16      4     raw data size
//   20      4     raw data position in the file
//   24      16    relocations, line numbers, their counts, characteristics
#include <algorithm>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAvailable = 100;
constexpr std::uint64_t kPePointer = 60;
constexpr std::uint64_t kMaxPePosition = 1000;
constexpr std::uint64_t kSectionEntry = 40;
constexpr std::uint64_t kFileHeader = 24;       // "PE" 00 00 and the COFF header
constexpr std::uint64_t kPe32SectionTable = 248;  // from the PE position, with the PE32 optional header
constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kSystemFile = 0x1000;
constexpr std::uint16_t kLibrary = 0x2000;
constexpr std::uint64_t kMinimumSize = 512;
constexpr std::uint64_t kMaximumSize = 4 * kMiB;
constexpr std::uint64_t kPastTable = 60;
constexpr std::uint64_t kSymbolSize = 18;
constexpr std::uint64_t kMaxTableSize = 16 * kMiB;
constexpr std::uint64_t kCertificateDirectory = 4;

std::int64_t At(std::uint64_t position) { return static_cast<std::int64_t>(position); }
}  // namespace

ExtractResult ExtractPe(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const std::uint64_t available = view.size();
    if (available < kMinimumAvailable) return ExtractResult::ContinueAt(2);
    const bool canWait = !input.complete && available < typeSpec.maxLength;

    const std::uint64_t pe = *view.Le16(kPePointer);
    if (pe == 0 || pe > kMaxPePosition || pe > available) return ExtractResult::ContinueAt(At(kPePointer));
    if (!view.Has(pe, 2)) return ExtractResult::Undecided();
    if (!view.Equals(pe, "PE")) return ExtractResult::ContinueAt(At(pe));

    // The section table follows the optional header, whose size the header
    // states; PE32+ has a longer one than PE32.
    const auto sections = view.Le16(pe + 6);
    const auto optionalSize = view.Le16(pe + 20);
    const auto magic = view.Le16(pe + kFileHeader);
    if (!sections || !optionalSize || !magic) return ExtractResult::Undecided();
    std::uint64_t table = pe + kPe32SectionTable;
    if ((*magic == kPe32 && *optionalSize >= 96) || (*magic == kPe32Plus && *optionalSize >= 112))
        table = pe + kFileHeader + *optionalSize;
    const std::uint64_t tableEnd = table + *sections * kSectionEntry;
    // A table without sections delimits nothing.
    if (*sections == 0) return ExtractResult::ContinueAt(At(pe));
    if (tableEnd > available)
        return canWait && tableEnd <= typeSpec.maxLength ? ExtractResult::Undecided() : ExtractResult::ContinueAt(At(pe));

    const auto characteristics = view.Le16(pe + 22);
    if (!characteristics) return ExtractResult::Undecided();
    const bool library = (*characteristics & kLibrary) != 0;
    if (!library && (*characteristics & (kSystemFile | kExecutableImage)) == 0) return ExtractResult::ContinueAt(At(pe));

    // The furthest raw data of any section (sections of uninitialised data
    // have none).
    std::uint64_t size = 0;
    for (std::uint64_t i = 0; i < *sections; ++i) {
        const std::uint64_t entry = table + i * kSectionEntry;
        const std::uint64_t rawSize = *view.Le32(entry + 16);
        const std::uint64_t rawOffset = *view.Le32(entry + 20);
        if (rawSize > 0) size = std::max(size, rawOffset + rawSize);
    }
    if (size < kMinimumSize || size > kMaximumSize) return ExtractResult::ContinueAt(At(tableEnd + kPastTable));
    const std::uint64_t sectionsEnd = size;

    // The symbol table and its string table after the sections.
    const std::uint64_t symbols = *view.Le32(pe + 12);
    const std::uint64_t symbolCount = *view.Le32(pe + 16);
    if (symbols >= sectionsEnd && symbolCount > 0 && symbolCount * kSymbolSize <= kMaxTableSize) {
        const std::uint64_t strings = symbols + symbolCount * kSymbolSize;
        const auto stringsSize = view.Le32(strings);
        if (!stringsSize && canWait) return ExtractResult::Undecided();
        if (stringsSize && *stringsSize >= 4 && *stringsSize <= kMaxTableSize) size = std::max(size, strings + *stringsSize);
    }
    // The certificate table of a signed file, at the end.
    const std::uint64_t directoryCount = *magic == kPe32Plus ? 108 : 92;
    const std::uint64_t directories = *magic == kPe32Plus ? 112 : 96;
    const std::uint64_t optional = pe + kFileHeader;
    const auto count = view.Le32(optional + directoryCount);
    if (table == optional + *optionalSize && count && *count > kCertificateDirectory &&
        directories + (kCertificateDirectory + 1) * 8 <= *optionalSize) {
        const std::uint64_t certificate = *view.Le32(optional + directories + kCertificateDirectory * 8);
        const std::uint64_t certificateSize = *view.Le32(optional + directories + kCertificateDirectory * 8 + 4);
        if (certificate >= sectionsEnd && certificateSize >= 8 && certificateSize <= kMaxTableSize)
            size = std::max(size, certificate + certificateSize);
    }
    if (size > kMaximumSize) size = sectionsEnd;

    if (size > available) {
        if (canWait) return ExtractResult::Undecided();
        size = available;
    }
    return ExtractResult::Record(At(size), CarvedFile {0, size, library ? "dll" : "exe"});
}

}  // namespace qb::cdr

// Windows executables and libraries (PE32): the file ends with the raw data
// of the last section in the section table.
//
// DOS header (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       2     "MZ"
//   2       58    DOS header fields (the stub program follows the header)
//   60      2     e_lfanew: position of the PE header (low 16 bits)
//
// PE header, from its position:
//   0       4     "PE" 00 00
//   4       2     machine (014C for x86)
//   6       2     section count
//   8       12    time stamp, symbol table position, symbol count
//   20      2     optional header size (224 for PE32)
//   22      2     characteristics: 0002 executable image, 1000 system
//                 file, 2000 library (DLL)
//   24      224   optional header (PE32)
//   248     40*n  section table
//
// Section table entry (40 bytes):
//   0       8     name
//   8       4     virtual size
//   12      4     virtual address
//   16      4     raw data size
//   20      4     raw data position in the file
//   24      16    relocations, line numbers, their counts, characteristics
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAvailable = 100;
constexpr std::uint64_t kPePointer = 60;
constexpr std::uint64_t kMaxPePosition = 1000;
constexpr std::uint64_t kSectionEntry = 40;
constexpr std::uint64_t kOptionalHeader = 224;
constexpr std::uint64_t kSectionTable = 248;  // from the PE position
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kSystemFile = 0x1000;
constexpr std::uint16_t kLibrary = 0x2000;
constexpr std::uint64_t kMinimumSize = 512;
constexpr std::uint64_t kMaximumSize = 4 * kMiB;
constexpr std::uint64_t kPastTable = 60;

std::int64_t At(std::uint64_t position) { return static_cast<std::int64_t>(position); }
}  // namespace

ExtractResult ExtractPe(const TypeSpec& /*typeSpec*/, std::span<const std::uint8_t> bytes) {
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    if (available < kMinimumAvailable) return ExtractResult::ContinueAt(2);

    const std::uint64_t pe = *view.Le16(kPePointer);
    if (pe == 0 || pe > kMaxPePosition || pe > available) return ExtractResult::ContinueAt(At(kPePointer));
    if (!view.Has(pe, 2)) return ExtractResult::Undecided();
    if (!view.Equals(pe, "PE")) return ExtractResult::ContinueAt(At(pe));

    // A table without sections delimits nothing.
    const auto sections = view.Le16(pe + 6);
    if (!sections) return ExtractResult::Undecided();
    if (*sections == 0 || available < *sections * kSectionEntry + kOptionalHeader) return ExtractResult::ContinueAt(At(pe));

    const auto characteristics = view.Le16(pe + 22);
    if (!characteristics) return ExtractResult::Undecided();
    const bool library = (*characteristics & kLibrary) != 0;
    if (!library && (*characteristics & (kSystemFile | kExecutableImage)) == 0) return ExtractResult::ContinueAt(At(pe));

    const std::uint64_t tableEnd = pe + kSectionTable + *sections * kSectionEntry;
    const std::uint64_t last = tableEnd - kSectionEntry;
    const auto rawSize = view.Le32(last + 16);
    const auto rawOffset = view.Le32(last + 20);
    if (!rawSize || !rawOffset) return ExtractResult::Undecided();

    std::uint64_t size = std::uint64_t {*rawOffset} + *rawSize;
    if (size < kMinimumSize || size > kMaximumSize) return ExtractResult::ContinueAt(At(tableEnd + kPastTable));
    if (size > available) size = available;
    return ExtractResult::Record(At(size), CarvedFile {0, size, library ? "dll" : "exe"});
}

}  // namespace qb::cdr

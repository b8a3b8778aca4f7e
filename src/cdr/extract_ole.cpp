// OLE compound files (Word, Excel and PowerPoint documents of the 97-2003
// formats and others): the size is estimated from the directory's streams
// and the sectors the header points at; the first stream with a known name
// gives the extension.
//
// Header (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       8     signature D0 CF 11 E0 A1 B1 1A E1
//   8       16    class id (zero)
//   24      2     minor version (0x003E)
//   26      2     major version (3)
//   28      2     byte order mark FE FF
//   30      2     sector shift: 9 (512-byte sectors)
//   32      2     mini sector shift: 6 (64-byte mini sectors)
//   34      6     reserved (zero)
//   40      4     directory sector count (zero with 512-byte sectors)
//   44      4     FAT sector count
//   48      4     first directory sector
//   52      4     transaction signature
//   56      4     mini stream cutoff: streams up to this size live in the mini stream
//   60      4     first mini-FAT sector
//   64      4     mini-FAT sector count
//   68      4     first DIFAT sector
//   72      4     DIFAT sector count
//   76      436   the first 109 FAT sector numbers
//
// Sector k lies at byte (k + 1) * 512. Sector numbers from FFFFFFFA on are
// marks: -1 free, -2 end of chain, -3 FAT sector, -4 DIFAT sector.
//   FAT sector:    128 entries of 4 bytes, the next sector of each sector's chain
//   DIFAT sector:  127 further FAT sector numbers, then the next DIFAT sector
//
// Directory entry (128 bytes, four to a sector):
//   OFFSET  SIZE  DESCRIPTION
//   0       64    name, UTF-16LE, zero-terminated
//   64      2     name length in bytes, terminator included
//   66      1     object type: 0 unused, 1 storage, 2 stream, 5 root
//   67      1     colour of the red-black tree
//   68      12    left sibling, right sibling, child
//   80      16    class id
//   96      4     state bits
//   100     16    creation and modification times
//   116     4     first sector of the stream
//   120     4     stream size (low 32 bits)
//   124     4     stream size (high 32 bits)
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kMiniSector = 64;
constexpr std::uint64_t kEntrySize = 128;
constexpr std::uint64_t kEntriesPerSector = kSector / kEntrySize;
constexpr std::uint32_t kFatEntriesPerSector = 128;
constexpr std::uint32_t kDifatEntriesPerSector = 127;
constexpr std::uint32_t kHeaderFatEntries = 109;
constexpr std::uint64_t kHeaderFatList = 76;
constexpr std::uint32_t kMaxFatSectors = 100;
constexpr std::uint32_t kMaxDifatSectors = 100;
constexpr std::uint32_t kMaxDirectorySteps = 300;
constexpr std::uint32_t kMaxEntries = 500;
constexpr std::uint32_t kMaxNameBytes = 64;
constexpr int kMaxPunctuation = 3;
constexpr std::uint32_t kFirstMark = 0xFFFFFFFA;  // sector numbers from here on are marks
constexpr std::int32_t kEndOfChain = -2;
constexpr std::uint8_t kObjectStream = 2;
constexpr std::uint64_t kFixedOverhead = 1024;
constexpr std::int64_t kSlackSectors = 6;  // sectors allowed after the highest one read
constexpr std::int64_t kResumeBack = 2560;

struct NameRule {
    std::string_view part;
    const char* extension;
};
// Tried in this order for each stream name.
constexpr NameRule kNameRules[] = {
    {"WordDocument", "doc"}, {"Worksheet", "xls"}, {"Book", "xls"},  {"Workbook", "xls"},
    {"Power", "ppt"},        {"Access", "mbd"},    {"AccessObjSiteData", "mbd"},
    {"Visio", "vis"},        {"Sfx", "sdw"},
};

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t unit) { return (value + unit - 1) / unit * unit; }

bool IsPunctuation(std::uint8_t b) {
    return (b >= 0x21 && b <= 0x2F) || (b >= 0x3A && b <= 0x40) || (b >= 0x5B && b <= 0x60) ||
           (b >= 0x7B && b <= 0x7E);
}

// The sectors of the file as far as the bytes given reach.
class Sectors {
public:
    explicit Sectors(const ByteView& view) : view_(view) {}

    static std::uint64_t Offset(std::uint32_t sector) { return (std::uint64_t {sector} + 1) * kSector; }
    bool Readable(std::uint32_t sector) const { return sector < kFirstMark && view_.Has(Offset(sector), kSector); }
    std::uint32_t Entry(std::uint32_t sector, std::uint32_t index) const {
        return *view_.Le32(Offset(sector) + std::uint64_t {index} * 4);
    }

    // The highest sector read so far, or -1.
    void NoteRead(std::uint32_t sector) { highest_ = std::max<std::int64_t>(highest_, sector); }
    std::int64_t highest() const { return highest_; }

private:
    const ByteView& view_;
    std::int64_t highest_ = -1;
};

// The printable bytes of an entry's name.
std::string EntryName(const ByteView& view, std::uint64_t entry, std::uint32_t nameBytes) {
    std::string name;
    std::uint64_t i = 0;
    if (nameBytes >= 2 && *view.U8(entry) < 0x20 && *view.U8(entry + 1) == 0) i = 2;  // e.g. 05 "SummaryInformation"
    for (; i < nameBytes; ++i) {
        const std::uint8_t b = *view.U8(entry + i);
        if (b >= 0x20 && b < 0x7F) name.push_back(static_cast<char>(b));
    }
    return name;
}

const char* ExtensionOfStream(std::string_view name) {
    for (const NameRule& rule : kNameRules)
        if (name.find(rule.part) != std::string_view::npos) return rule.extension;
    return nullptr;
}
}  // namespace

ExtractResult ExtractOle(const TypeSpec& typeSpec, std::span<const std::uint8_t> bytes) {
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    if (!view.Has(0, kHeaderFatList)) return ExtractResult::Undecided();

    const auto pastHeader = static_cast<std::int64_t>(std::min(kSector, available));
    bool reservedZero = true;
    for (std::uint64_t i = 34; i < 40; ++i) reservedZero = reservedZero && *view.U8(i) == 0;
    const std::uint32_t fatSectors = *view.Le32(44);
    const std::uint32_t difatSectors = *view.Le32(72);
    if (*view.Le16(30) != 9 || *view.Le16(32) != 6 || !reservedZero || *view.Le32(40) != 0 || fatSectors < 1 ||
        fatSectors > kMaxFatSectors || difatSectors > kMaxDifatSectors)
        return ExtractResult::ContinueAt(pastHeader);
    if (!view.Has(0, kSector)) return ExtractResult::Undecided();

    Sectors sectors(view);

    // The FAT sector numbers: 109 in the header, 127 in each DIFAT sector.
    // The chain of DIFAT sectors is followed for the count the header gives
    // and no further, so a cyclic chain ends too.
    std::vector<std::uint32_t> fatList;
    fatList.reserve(kHeaderFatEntries + std::size_t {kDifatEntriesPerSector} * difatSectors);
    for (std::uint32_t i = 0; i < kHeaderFatEntries; ++i) fatList.push_back(*view.Le32(kHeaderFatList + 4 * i));
    std::uint32_t difat = *view.Le32(68);
    std::optional<std::uint64_t> lastDifat;
    for (std::uint32_t n = 0; n < difatSectors; ++n) {
        if (!sectors.Readable(difat))
            return ExtractResult::ContinueAt(lastDifat ? static_cast<std::int64_t>(*lastDifat) : pastHeader);
        sectors.NoteRead(difat);
        lastDifat = Sectors::Offset(difat);
        for (std::uint32_t i = 0; i < kDifatEntriesPerSector; ++i) fatList.push_back(sectors.Entry(difat, i));
        difat = sectors.Entry(difat, kDifatEntriesPerSector);
    }

    const auto firstDirectory = static_cast<std::int32_t>(*view.Le32(48));
    if (firstDirectory < 0) return ExtractResult::ContinueAt(10);
    const auto first = static_cast<std::uint32_t>(firstDirectory);
    if (!sectors.Readable(first)) return ExtractResult::Undecided();
    const ExtractResult giveUp = ExtractResult::ContinueAt(static_cast<std::int64_t>(Sectors::Offset(first)));

    // The directory chain, at most 300 steps; it goes on only through
    // sectors whose four entries are all in use.
    std::vector<std::uint32_t> directory {first};
    sectors.NoteRead(first);
    std::uint32_t current = first;
    for (std::uint32_t steps = 0;;) {
        const std::uint32_t index = current / kFatEntriesPerSector;
        if (index >= fatList.size() || !sectors.Readable(fatList[index])) return giveUp;
        const std::uint32_t fat = fatList[index];
        sectors.NoteRead(fat);
        const std::uint32_t next = sectors.Entry(fat, current % kFatEntriesPerSector);
        if (static_cast<std::int32_t>(next) == kEndOfChain || next == current) break;
        // Free (-1) and the other marks name no sector.
        if (!sectors.Readable(next) || *view.U8(Sectors::Offset(next)) == 0) return giveUp;
        if (++steps > kMaxDirectorySteps) return giveUp;
        directory.push_back(next);
        sectors.NoteRead(next);
        bool full = true;
        for (std::uint64_t e = 0; e < kEntriesPerSector; ++e)
            full = full && *view.U8(Sectors::Offset(next) + e * kEntrySize + 66) != 0;
        if (!full) break;
        current = next;
    }

    // The entries in chain order; a sector ends at its first unused entry.
    const std::uint32_t cutoff = *view.Le32(56);
    std::uint64_t streamBytes = 0;
    std::uint64_t entries = 0;
    const char* extension = nullptr;
    for (std::uint32_t sector : directory) {
        for (std::uint64_t e = 0; e < kEntriesPerSector; ++e) {
            const std::uint64_t entry = Sectors::Offset(sector) + e * kEntrySize;
            const std::uint8_t type = *view.U8(entry + 66);
            if (type == 0) break;
            if (++entries > kMaxEntries) return giveUp;
            const std::uint16_t nameBytes = *view.Le16(entry + 64);
            if (nameBytes < 1 || nameBytes > kMaxNameBytes) return giveUp;
            const std::string name = EntryName(view, entry, nameBytes);
            if (std::count_if(name.begin(), name.end(), [](char c) { return IsPunctuation(static_cast<std::uint8_t>(c)); }) >
                    kMaxPunctuation ||
                name.find("Catalog") != std::string::npos || (!name.empty() && name[0] == '@'))
                return giveUp;
            if (type != kObjectStream) continue;
            const std::uint32_t size = *view.Le32(entry + 120);
            streamBytes += RoundUp(size, size > cutoff ? kSector : kMiniSector);
            if (!extension) extension = ExtensionOfStream(name);
        }
    }

    // The estimate: the streams, the header with one spare sector, the
    // directory, the FAT and the mini FAT; at least up to a few sectors past
    // the highest sector read.
    std::uint64_t size = streamBytes + kFixedOverhead + RoundUp(entries * kEntrySize, kSector) +
                         std::uint64_t {fatSectors} * kSector + RoundUp(std::uint64_t {*view.Le32(64)} * kMiniSector, kSector);
    const std::int64_t firstMiniFat = static_cast<std::int32_t>(*view.Le32(60));
    const std::int64_t reach = sectors.highest() >= 0 && sectors.highest() + kSlackSectors > firstMiniFat
                                   ? sectors.highest() + kSlackSectors
                                   : firstMiniFat;
    if (reach > 0 && size < static_cast<std::uint64_t>(reach) * kSector) size = static_cast<std::uint64_t>(reach) * kSector;
    size = std::min(RoundUp(size, kSector), available);

    const std::string suffix = extension ? extension : "ole";
    const std::int64_t back = reach * static_cast<std::int64_t>(kSector) - kResumeBack;
    const std::int64_t resume =
        back > 0 && static_cast<std::uint64_t>(back) < available ? back : static_cast<std::int64_t>(size);
    if (!ExtensionAllowed(typeSpec.typeId, suffix)) return ExtractResult::ContinueAt(resume);
    return ExtractResult::Record(resume, CarvedFile {0, size, suffix});
}

}  // namespace qb::cdr

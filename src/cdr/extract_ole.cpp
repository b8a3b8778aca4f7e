// OLE compound files (Word, Excel and PowerPoint documents of the 97-2003
// formats and others): the size is estimated from the directory's streams
// and the sectors the header points at; the first stream with a known name
// gives the extension. Files of version 3 have 512-byte sectors, those of
// version 4 (written by newer programs for large documents, Outlook
// messages among them) 4096-byte ones; every sector measure below is in the
// file's own sector size S.
//
// Header (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       8     signature D0 CF 11 E0 A1 B1 1A E1
//   8       16    class id (zero)
//   24      2     minor version (0x003E)
//   26      2     major version (3, or 4 with 4096-byte sectors)
//   28      2     byte order mark FE FF
//   30      2     sector shift: 9 (512-byte sectors) or 12 (4096-byte ones)
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
// Sector k lies at byte (k + 1) * S; the header is padded to S bytes.
// Sector numbers from FFFFFFFA on are marks: -1 free, -2 end of chain,
// -3 FAT sector, -4 DIFAT sector.
//   FAT sector:    S / 4 entries of 4 bytes, the next sector of each sector's chain
//   DIFAT sector:  S / 4 - 1 further FAT sector numbers, then the next DIFAT sector
//
// Directory entry (128 bytes, S / 128 to a sector):
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
constexpr std::uint64_t kSmallSector = 512;   // version 3
constexpr std::uint64_t kLargeSector = 4096;  // version 4
constexpr std::uint64_t kMiniSector = 64;
constexpr std::uint64_t kEntrySize = 128;
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
constexpr std::uint64_t kFixedOverheadSectors = 2;  // the header and one spare sector
constexpr std::int64_t kSlackSectors = 6;           // sectors allowed after the highest one read
constexpr std::int64_t kResumeBackSectors = 5;

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
    Sectors(const ByteView& view, std::uint64_t size) : view_(view), size_(size) {}

    std::uint64_t size() const { return size_; }
    std::uint64_t Offset(std::uint32_t sector) const { return (std::uint64_t {sector} + 1) * size_; }
    bool Readable(std::uint32_t sector) const { return sector < kFirstMark && view_.Has(Offset(sector), size_); }
    std::uint32_t Entry(std::uint32_t sector, std::uint32_t index) const {
        return *view_.Le32(Offset(sector) + std::uint64_t {index} * 4);
    }

    // The highest sector read so far, or -1.
    void NoteRead(std::uint32_t sector) { highest_ = std::max<std::int64_t>(highest_, sector); }
    std::int64_t highest() const { return highest_; }

private:
    const ByteView& view_;
    std::uint64_t size_;
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

ExtractResult ExtractOle(const TypeSpec& typeSpec, const CarveInput& input) {
    const std::span<const std::uint8_t> bytes = input.bytes;
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    if (!view.Has(0, kHeaderFatList)) return ExtractResult::Undecided();

    const auto pastHeader = static_cast<std::int64_t>(std::min(kSmallSector, available));
    bool reservedZero = true;
    for (std::uint64_t i = 34; i < 40; ++i) reservedZero = reservedZero && *view.U8(i) == 0;
    const std::uint32_t fatSectors = *view.Le32(44);
    const std::uint32_t difatSectors = *view.Le32(72);
    const std::uint16_t shift = *view.Le16(30);
    // 512-byte sectors, or 4096-byte ones in a file of version 4.
    const bool large = shift == 12 && *view.Le16(26) == 4;
    if ((shift != 9 && !large) || *view.Le16(32) != 6 || !reservedZero || (!large && *view.Le32(40) != 0) ||
        fatSectors < 1 || fatSectors > kMaxFatSectors || difatSectors > kMaxDifatSectors)
        return ExtractResult::ContinueAt(pastHeader);
    const std::uint64_t sectorSize = large ? kLargeSector : kSmallSector;
    const std::uint64_t entriesPerSector = sectorSize / kEntrySize;
    const std::uint32_t fatEntriesPerSector = static_cast<std::uint32_t>(sectorSize / 4);
    const std::uint32_t difatEntriesPerSector = fatEntriesPerSector - 1;
    if (!view.Has(0, sectorSize)) return ExtractResult::Undecided();

    Sectors sectors(view, sectorSize);
    // A sector that lies past the bytes given (not one the file cannot
    // have) may come with more of them.
    const bool canWait = !input.complete && available < typeSpec.maxLength;
    auto pastBytes = [&](std::uint32_t sector) {
        return canWait && sector < kFirstMark && !sectors.Readable(sector) &&
               sectors.Offset(sector) + sectorSize <= typeSpec.maxLength;
    };

    // The FAT sector numbers: 109 in the header, 127 in each DIFAT sector.
    // The chain of DIFAT sectors is followed for the count the header gives
    // and no further, so a cyclic chain ends too.
    std::vector<std::uint32_t> fatList;
    fatList.reserve(kHeaderFatEntries + std::size_t {difatEntriesPerSector} * difatSectors);
    for (std::uint32_t i = 0; i < kHeaderFatEntries; ++i) fatList.push_back(*view.Le32(kHeaderFatList + 4 * i));
    std::uint32_t difat = *view.Le32(68);
    std::optional<std::uint64_t> lastDifat;
    for (std::uint32_t n = 0; n < difatSectors; ++n) {
        if (pastBytes(difat)) return ExtractResult::Undecided();
        if (!sectors.Readable(difat))
            return ExtractResult::ContinueAt(lastDifat ? static_cast<std::int64_t>(*lastDifat) : pastHeader);
        sectors.NoteRead(difat);
        lastDifat = sectors.Offset(difat);
        for (std::uint32_t i = 0; i < difatEntriesPerSector; ++i) fatList.push_back(sectors.Entry(difat, i));
        difat = sectors.Entry(difat, difatEntriesPerSector);
    }

    const auto firstDirectory = static_cast<std::int32_t>(*view.Le32(48));
    if (firstDirectory < 0) return ExtractResult::ContinueAt(10);
    const auto first = static_cast<std::uint32_t>(firstDirectory);
    if (!sectors.Readable(first)) return ExtractResult::Undecided();
    const ExtractResult giveUp = ExtractResult::ContinueAt(static_cast<std::int64_t>(sectors.Offset(first)));

    // The directory chain, at most 300 steps; it goes on only through
    // sectors whose four entries are all in use.
    std::vector<std::uint32_t> directory {first};
    sectors.NoteRead(first);
    std::uint32_t current = first;
    for (std::uint32_t steps = 0;;) {
        const std::uint32_t index = current / fatEntriesPerSector;
        if (index < fatList.size() && pastBytes(fatList[index])) return ExtractResult::Undecided();
        if (index >= fatList.size() || !sectors.Readable(fatList[index])) return giveUp;
        const std::uint32_t fat = fatList[index];
        sectors.NoteRead(fat);
        const std::uint32_t next = sectors.Entry(fat, current % fatEntriesPerSector);
        if (static_cast<std::int32_t>(next) == kEndOfChain || next == current) break;
        // Free (-1) and the other marks name no sector.
        if (pastBytes(next)) return ExtractResult::Undecided();
        if (!sectors.Readable(next) || *view.U8(sectors.Offset(next)) == 0) return giveUp;
        if (++steps > kMaxDirectorySteps) return giveUp;
        directory.push_back(next);
        sectors.NoteRead(next);
        bool full = true;
        for (std::uint64_t e = 0; e < entriesPerSector; ++e)
            full = full && *view.U8(sectors.Offset(next) + e * kEntrySize + 66) != 0;
        if (!full) break;
        current = next;
    }

    // The entries in chain order; a sector ends at its first unused entry.
    const std::uint32_t cutoff = *view.Le32(56);
    std::uint64_t streamBytes = 0;
    std::uint64_t entries = 0;
    const char* extension = nullptr;
    for (std::uint32_t sector : directory) {
        for (std::uint64_t e = 0; e < entriesPerSector; ++e) {
            const std::uint64_t entry = sectors.Offset(sector) + e * kEntrySize;
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
            streamBytes += RoundUp(size, size > cutoff ? sectorSize : kMiniSector);
            if (!extension) extension = ExtensionOfStream(name);
        }
    }

    // The estimate: the streams, the header with one spare sector, the
    // directory, the FAT and the mini FAT; at least up to a few sectors past
    // the highest sector read.
    // The mini FAT's measure is kept as the 512-byte estimate has it; in
    // 4096-byte files it is counted in whole sectors.
    const std::uint64_t miniFat = std::uint64_t {*view.Le32(64)} * (large ? sectorSize : kMiniSector);
    std::uint64_t size = streamBytes + kFixedOverheadSectors * sectorSize + RoundUp(entries * kEntrySize, sectorSize) +
                         std::uint64_t {fatSectors} * sectorSize + RoundUp(miniFat, sectorSize);
    const std::int64_t firstMiniFat = static_cast<std::int32_t>(*view.Le32(60));
    const std::int64_t reach = sectors.highest() >= 0 && sectors.highest() + kSlackSectors > firstMiniFat
                                   ? sectors.highest() + kSlackSectors
                                   : firstMiniFat;
    if (reach > 0 && size < static_cast<std::uint64_t>(reach) * sectorSize) size = static_cast<std::uint64_t>(reach) * sectorSize;
    size = RoundUp(size, sectorSize);
    if (size > available && canWait && size <= typeSpec.maxLength) return ExtractResult::Undecided();
    size = std::min(size, available);

    const std::string suffix = extension ? extension : "ole";
    const std::int64_t back = (reach - kResumeBackSectors) * static_cast<std::int64_t>(sectorSize);
    const std::int64_t resume =
        back > 0 && static_cast<std::uint64_t>(back) < available ? back : static_cast<std::int64_t>(size);
    if (!ExtensionAllowed(typeSpec.typeId, suffix)) return ExtractResult::ContinueAt(resume);
    return ExtractResult::Record(resume, CarvedFile {0, size, suffix});
}

}  // namespace qb::cdr

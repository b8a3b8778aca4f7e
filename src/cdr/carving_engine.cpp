#include "src/cdr/carving_engine.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>

#include "platform/text.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {
namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::size_t kCopyPiece = 1048576;
// Zero bytes kept after the chunk, so a header compare at the chunk's end
// never reads outside the buffer.
constexpr std::size_t kChunkSlack = 128;

enum class SearchEnd { Continue, Stop };

// Bytes before the header an extractor needs: a QuickTime file starts with
// its first atom's size, 4 bytes before the "moov" (or "pnot") header.
std::size_t LeadInOf(const TypeSpec& type) {
    return type.typeId == kTypeMov || type.typeId == kTypeMovPnot ? kQuickTimeLeadIn : 0;
}

// Runs the type's extractor; leadIn holds up to LeadInOf(type) bytes just
// before the header.
ExtractResult RunExtractor(const TypeSpec& type, Extractor extractor, std::span<const std::uint8_t> leadIn,
                           std::span<const std::uint8_t> bytes) {
    if (LeadInOf(type) > 0) return ExtractQuickTimeWithLeadIn(type, leadIn, bytes);
    return extractor(type, bytes);
}

class Scan {
public:
    Scan(ScanSettings& settings, std::vector<TypeSpec>& types, const platform::ByteSource& disk)
        : s_(settings), types_(types), disk_(disk), end_(settings.partitionStart + settings.partitionLength) {}

    void Run();

private:
    int Call(std::uint64_t current, FileItem* item) {
        return s_.callback ? s_.callback(end_, current, item, s_.userData) : 0;
    }
    SearchEnd SearchChunk(const std::uint8_t* data, std::size_t length, std::uint64_t chunkOffset);
    SearchEnd SearchType(TypeSpec& type, const std::uint8_t* data, std::size_t length, std::uint64_t chunkOffset);
    std::optional<std::size_t> NextHeader(const TypeSpec& type, const std::uint8_t* data, std::size_t length,
                                          std::size_t from) const;
    // Runs the extractor on bytes taken again from the disk, for a file that
    // runs past the chunk. Returns the position (relative to the header) to
    // continue at within the chunk, or nothing to end this type's search.
    std::optional<std::int64_t> Reread(TypeSpec& type, Extractor extractor, std::uint64_t headerOffset,
                                       std::size_t availableInChunk, bool leadInMissing);
    void Record(TypeSpec& type, std::uint64_t offset, const CarvedFile& file);
    void Note(const std::string& note) {
        if (!note.empty()) (s_.notes ? *s_.notes : std::cout) << note;
    }

    ScanSettings& s_;
    std::vector<TypeSpec>& types_;
    const platform::ByteSource& disk_;
    const std::uint64_t end_;
    // The re-read buffer: kept between re-reads and replaced only by a larger
    // one. Its bytes are not cleared first; the read fills every one used.
    std::unique_ptr<std::uint8_t[]> reread_;
    std::size_t rereadCapacity_ = 0;
};

void Scan::Run() {
    const std::size_t chunkBytes = static_cast<std::size_t>(s_.chunkMiB) * kCopyPiece;
    std::vector<std::uint8_t> chunk(chunkBytes + kChunkSlack, 0);
    std::uint64_t offset = s_.partitionStart;
    while (true) {
        const std::size_t got = disk_.ReadAt(offset, chunk.data(), chunkBytes);
        if (got == 0) break;
        // The buffer's tail past a short read holds old bytes; clear what a
        // header compare could touch.
        std::fill(chunk.begin() + static_cast<std::ptrdiff_t>(got),
                  chunk.begin() + static_cast<std::ptrdiff_t>(std::min(chunk.size(), got + kChunkSlack)), 0);
        if (SearchChunk(chunk.data(), got, offset) == SearchEnd::Stop) break;
        offset += got;
        if (!(s_.modeFlags & kModeQuiet) && Call(offset, nullptr) == kStop) break;
        if (offset >= end_) break;
    }
}

SearchEnd Scan::SearchChunk(const std::uint8_t* data, std::size_t length, std::uint64_t chunkOffset) {
    for (TypeSpec& type : types_) {
        if (Call(chunkOffset, nullptr) == kStop) return SearchEnd::Stop;
        if (SearchType(type, data, length, chunkOffset) == SearchEnd::Stop) return SearchEnd::Stop;
    }
    return SearchEnd::Continue;
}

std::optional<std::size_t> Scan::NextHeader(const TypeSpec& type, const std::uint8_t* data, std::size_t length,
                                            std::size_t from) const {
    const std::size_t headerLength = type.header.size();
    if (s_.modeFlags & kModeQuick) {
        const std::size_t block = s_.blockSize;
        std::size_t pos = (from + block - 1) / block * block;
        const std::uint8_t first = type.header.bytes.front();
        const bool quickFirst = type.caseSensitive && first != kWildcard;
        while (pos < length) {
            if (headerLength <= length - pos && (!quickFirst || data[pos] == first) &&
                PatternMatchesAt(type.header, data + pos))
                return pos;
            pos += block;
            if (pos >= length || length - pos < block) return std::nullopt;
        }
        return std::nullopt;
    }
    const auto found = FindPattern(type.header, std::span(data + from, length - from));
    if (!found) return std::nullopt;
    return from + *found;
}

SearchEnd Scan::SearchType(TypeSpec& type, const std::uint8_t* data, std::size_t length, std::uint64_t chunkOffset) {
    const Extractor extractor = ExtractorFor(type.typeId);
    const std::size_t headerLength = type.header.size();
    if (headerLength == 0) return SearchEnd::Continue;
    std::size_t pos = 0;
    // One re-read per type and chunk at most, so the disk is never read more
    // than once more per type for a chunk, however many headers in it cannot
    // be decided. Later undecided headers are passed over.
    bool reread = false;
    while (pos < length) {
        if (Call(chunkOffset, nullptr) == kStop) return SearchEnd::Stop;
        const std::optional<std::size_t> header = NextHeader(type, data, length, pos);
        if (!header) break;
        const std::size_t h = *header;
        const std::size_t available = length - h;
        if (!extractor) {  // a type whose headers never produce a file
            pos = h + headerLength;
            continue;
        }
        const std::size_t leadIn = std::min(h, LeadInOf(type));
        ExtractResult result =
            RunExtractor(type, extractor, std::span(data + h - leadIn, leadIn), std::span(data + h, available));
        Note(result.note);
        std::optional<std::int64_t> resume = result.resume;
        // A header too close to the chunk start for the bytes before it is
        // taken again from the disk, like a file that runs past the chunk.
        const bool leadInMissing = leadIn < LeadInOf(type);
        if (resume) {
            if (result.file) Record(type, chunkOffset + h, *result.file);
        } else if ((available >= type.maxLength && !leadInMissing) || reread) {
            resume = static_cast<std::int64_t>(headerLength + 1);
        } else {
            reread = true;
            resume = Reread(type, extractor, chunkOffset + h, available, leadInMissing);
            if (!resume) break;
        }
        // The search always moves forward, whatever an extractor answers.
        const std::int64_t step = std::max<std::int64_t>(*resume, 1);
        if (static_cast<std::uint64_t>(step) >= available) break;
        pos = h + static_cast<std::size_t>(step);
    }
    return SearchEnd::Continue;
}

std::optional<std::int64_t> Scan::Reread(TypeSpec& type, Extractor extractor, std::uint64_t headerOffset,
                                         std::size_t availableInChunk, bool leadInMissing) {
    // maxLength bytes from the header, or as many as the disk still holds:
    // a file that crosses a chunk end within its type's maximum length of
    // the end of the disk is still cut out from the bytes that are there.
    const std::uint64_t diskSize = disk_.Size();
    const std::int64_t pastHeader = static_cast<std::int64_t>(type.header.size() + 1);
    if (headerOffset >= diskSize) return std::nullopt;
    const std::uint64_t length = std::min(type.maxLength, diskSize - headerOffset);
    // The disk holds nothing more than the chunk did: the extractor's answer
    // cannot change, so the header is passed over like any rejected one.
    if (length <= availableInChunk && !leadInMissing) return pastHeader;
    const std::size_t leadIn = static_cast<std::size_t>(std::min<std::uint64_t>(headerOffset, LeadInOf(type)));
    const std::size_t needed = static_cast<std::size_t>(length) + leadIn;
    if (needed > rereadCapacity_) {
        reread_.reset();  // never hold the old and the new buffer at once
        rereadCapacity_ = 0;
        reread_.reset(new (std::nothrow) std::uint8_t[needed]);
        if (!reread_) {
            (s_.messages ? *s_.messages : std::cerr) << "Ran out of memory in read_from_disk()\n";
            return std::nullopt;
        }
        rereadCapacity_ = needed;
    }
    std::uint8_t* bytes = reread_.get();
    if (!ReadAtOffsetInto(disk_, headerOffset - leadIn, bytes, needed)) return std::nullopt;
    ExtractResult result = RunExtractor(type, extractor, std::span<const std::uint8_t>(bytes, leadIn),
                                        std::span<const std::uint8_t>(bytes + leadIn, static_cast<std::size_t>(length)));
    Note(result.note);
    // Nothing could be delimited even from the longer bytes: later headers
    // of this type in the chunk are still searched for.
    if (!result.resume) return pastHeader;
    if (!result.file) return std::max(*result.resume, pastHeader);
    Record(type, headerOffset, *result.file);
    // The file runs on into the next chunk: this type's search of the chunk
    // ends here. A file that ends inside the chunk lets the search go on.
    if (*result.resume < 0 || static_cast<std::uint64_t>(*result.resume) >= availableInChunk) return std::nullopt;
    return *result.resume;
}

void Scan::Record(TypeSpec& type, std::uint64_t headerOffset, const CarvedFile& file) {
    const std::uint64_t offset = headerOffset + static_cast<std::uint64_t>(file.start);
    auto item = std::make_unique<FileItem>();
    const std::string& suffix = file.suffix.empty() ? type.suffix : file.suffix;
    char number[32];
    std::snprintf(number, sizeof number, "%" PRIu64, offset / s_.blockSize);
    item->name = std::string(number) + "." + suffix;
    item->size = file.size;
    item->offset = offset;
    item->blockSize = s_.blockSize;
    item->group = type.group;
    FileItem* raw = item.get();
    type.group->files.push_back(std::move(item));
    type.recorded = true;
    ++type.foundCount;
    ++s_.filesFound;
    Call(offset, raw);
}

}  // namespace

bool ReadAtOffsetInto(const platform::ByteSource& disk, std::uint64_t offset, std::uint8_t* out,
                      std::size_t length) {
    std::uint8_t sector[kSector];
    std::size_t done = 0;
    const std::uint64_t lead = offset % kSector;
    if (lead != 0 && length > 0) {
        if (disk.ReadAt(offset - lead, sector, kSector) != kSector) return false;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(kSector - lead, length));
        std::memcpy(out, sector + lead, take);
        done = take;
    }
    const std::size_t whole = (length - done) / kSector * kSector;
    if (whole > 0) {
        if (disk.ReadAt(offset + done, out + done, whole) != whole) return false;
        done += whole;
    }
    if (done < length) {
        if (disk.ReadAt(offset + done, sector, kSector) != kSector) return false;
        std::memcpy(out + done, sector, length - done);
    }
    return true;
}

std::vector<std::uint8_t> ReadAtOffset(const platform::ByteSource& disk, std::uint64_t offset, std::uint64_t length) {
    std::vector<std::uint8_t> out;
    try {
        out.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (!ReadAtOffsetInto(disk, offset, out.data(), out.size())) return {};
    return out;
}

int ScanPartition(DeviceNode& partition, ScanCallback callback, void* userData, const ScanOptions& options) {
    std::vector<TypeSpec> types = options.types;
    for (TypeSpec& type : types) {
        type.foundCount = 0;
        type.recorded = false;
        DeviceNode* group = AppendChild(partition);
        group->name = type.suffix;
        group->devicePath = partition.devicePath;
        type.group = group;
    }

    ScanSettings settings;
    settings.modeFlags = options.quick ? kModeQuick : 0;
    settings.inputPath = partition.devicePath;
    settings.chunkMiB = std::max<std::uint32_t>(options.chunkMiB, 1);
    settings.partitionStart = partition.startOffset;
    settings.partitionLength = partition.size;
    settings.partition = &partition;
    settings.callback = callback;
    settings.userData = userData;
    settings.typeCount = types.size();
    settings.startTime = platform::FormatLocalTime(platform::CurrentTimeSeconds(), "%Y-%m-%d %H:%M:%S");
    settings.messages = options.messages;
    settings.notes = options.notes;

    if (!partition.scanHandle) {
        (settings.messages ? *settings.messages : std::cerr)
            << "search: " << settings.inputPath << ": the disk could not be opened for reading\n";
        return 0;
    }
    Scan(settings, types, *partition.scanHandle).Run();
    return 0;
}

CopyOutcome ExtractFile(const FileItem& item, const std::string& targetPath, const platform::ByteSource& input,
                        CopyCancelCallback cancelCallback) {
    std::optional<platform::OutputFile> out = platform::OutputFile::Create(targetPath);
    if (!out) return CopyOutcome::TargetFailed;
    std::vector<std::uint8_t> buffer(kCopyPiece);

    std::uint64_t done = 0;
    std::uint64_t position = item.offset;
    const std::uint64_t size = item.size;
    // Whole sectors are read; a file that starts inside a sector first takes
    // the rest of that sector.
    while (done < size) {
        const std::uint64_t lead = position % kSector;
        std::uint64_t want = std::min<std::uint64_t>(size - done, lead ? kSector - lead : kCopyPiece);
        const std::uint64_t readLength = lead ? kSector : (want + kSector - 1) / kSector * kSector;
        const std::size_t got = input.ReadAt(position - lead, buffer.data(), static_cast<std::size_t>(readLength));
        if (got <= lead) break;
        want = std::min<std::uint64_t>(want, got - lead);
        if (cancelCallback && cancelCallback(size, done + want, &item) == kStop) return CopyOutcome::Cancelled;
        if (!out->Write(buffer.data() + lead, static_cast<std::size_t>(want))) return CopyOutcome::TargetFailed;
        done += want;
        position += want;
    }
    if (!out->Close()) return CopyOutcome::TargetFailed;
    return done == size ? CopyOutcome::Complete : CopyOutcome::ReadFailed;
}

}  // namespace qb::cdr

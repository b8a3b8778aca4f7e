#include "src/cdr/carving_engine.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <utility>

#include "platform/text.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {
namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::size_t kCopyPiece = 1048576;
// Bytes kept before each chunk, for the lead-in of a header at its start.
constexpr std::uint64_t kKeepBefore = 4096;
// The longest run of bytes one file may make the window hold, whatever its
// type's maxLength: longer files are delimited from far reads of their
// structures, not from bytes held.
constexpr std::uint64_t kMaxSpan = 160 * kMiB;
// Headers of one type per chunk that may stretch the window. Files run past
// a chunk's end at its end only; headers that stay undecided with the whole
// maxLength before them are damage, and beyond this many they are passed
// over like rejected ones.
constexpr int kStretchesPerChunk = 16;
// Headers of one type per chunk that the chunk's own bytes leave undecided
// and that come to nothing with the bytes past its end. Such a header may
// search up to maxLength bytes; were every header of a chunk allowed that,
// a chunk full of damaged headers would cost maxLength bytes of search per
// block. Beyond this many, undecided headers are passed over (a file of
// the type that crosses the chunk's end after them is then lost).
constexpr int kMissesPastChunkEnd = 4;

enum class SearchEnd { Continue, Stop };

// A signature of a type, with the first byte that is not a wildcard, so that
// most blocks are turned down by one compare.
struct Signature {
    const Pattern* pattern = nullptr;
    std::size_t anchor = 0;
    std::uint8_t anchorByte = 0;
    std::uint8_t anchorOther = 0;  // the anchor's other case, or itself
    bool anchored = false;
};

std::vector<Signature> SignaturesOf(const TypeSpec& type) {
    std::vector<Signature> out;
    auto add = [&](const Pattern& p) {
        if (p.empty()) return;
        Signature s;
        s.pattern = &p;
        for (std::size_t i = 0; i < p.size(); ++i) {
            if (p.bytes[i] == kWildcard) continue;
            s.anchor = i;
            s.anchorByte = p.bytes[i];
            s.anchorOther = p.bytes[i];
            if (!p.caseSensitive && std::isalpha(p.bytes[i]))
                s.anchorOther = static_cast<std::uint8_t>(p.bytes[i] ^ 0x20);
            s.anchored = true;
            break;
        }
        out.push_back(s);
    };
    add(type.header);
    for (const Pattern& p : type.moreHeaders) add(p);
    return out;
}

struct HeaderAt {
    std::size_t position = 0;
    std::size_t length = 0;  // of the signature found there
};

class Scan;

// Far reads for one extractor call: from its header on, within the type's
// maxLength.
class FarFromHeader final : public FarBytes {
public:
    FarFromHeader(ReadWindow& window, std::uint64_t header, std::uint64_t limit)
        : window_(window), header_(header), limit_(limit) {}
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset > limit_ || out.size() > limit_ - offset) return false;
        return window_.ReadFar(header_ + offset, out);
    }

private:
    ReadWindow& window_;
    std::uint64_t header_;
    std::uint64_t limit_;
};

class Scan {
public:
    Scan(ScanSettings& settings, std::vector<TypeSpec>& types, const platform::ByteSource& disk,
         std::uint64_t diskEnd)
        : s_(settings),
          types_(types),
          end_(settings.partitionStart + settings.partitionLength),
          window_(disk, diskEnd),
          nextSearch_(types.size(), 0) {
        for (const TypeSpec& type : types_) {
            signatures_.push_back(SignaturesOf(type));
            extractors_.push_back(ExtractorFor(type.typeId));
        }
    }

    void Run();
    const ReadWindow& window() const { return window_; }

private:
    int Call(std::uint64_t current, FileItem* item) {
        return s_.callback ? s_.callback(end_, current, item, s_.userData) : 0;
    }
    SearchEnd SearchChunk(std::uint64_t chunkOffset, std::size_t length);
    SearchEnd SearchType(std::size_t index, std::uint64_t chunkOffset, std::size_t length);
    std::optional<HeaderAt> NextHeader(std::size_t index, const std::uint8_t* data, std::size_t length,
                                       std::size_t held, std::size_t from) const;
    // Runs the extractor on the bytes held from the header on; while it
    // cannot decide, the window is stretched (when allowed) and it runs
    // again on the longer bytes.
    // reachPast: the bytes held past the chunk's end may be given;
    // *reachedPast tells whether they were.
    ExtractResult Decide(const TypeSpec& type, Extractor extractor, std::uint64_t header, std::uint64_t chunkEnd,
                         bool reachPast, bool mayStretch, bool* stretched, bool* reachedPast);
    void Record(TypeSpec& type, std::uint64_t headerOffset, const CarvedFile& file);
    void Note(const std::string& note) {
        if (!note.empty()) (s_.notes ? *s_.notes : std::cout) << note;
    }
    std::ostream& Messages() { return s_.messages ? *s_.messages : std::cerr; }

    ScanSettings& s_;
    std::vector<TypeSpec>& types_;
    const std::uint64_t end_;
    ReadWindow window_;
    std::vector<std::vector<Signature>> signatures_;
    std::vector<Extractor> extractors_;
    // Per type: a file of the type recorded up to here; its headers are not
    // searched for before it, in this chunk or the next ones.
    std::vector<std::uint64_t> nextSearch_;
    bool outOfMemory_ = false;
};

void Scan::Run() {
    const std::uint64_t chunkBytes = s_.chunkBytes;
    std::uint64_t offset = s_.partitionStart;
    while (true) {
        const std::uint64_t keep = std::min(offset, kKeepBefore);
        if (!window_.Cover(offset - keep, offset + chunkBytes)) {
            Messages() << "Ran out of memory in read_from_disk()\n";
            break;
        }
        if (window_.end() <= offset) break;  // nothing more to read
        const std::size_t got = static_cast<std::size_t>(std::min(window_.end(), offset + chunkBytes) - offset);
        if (SearchChunk(offset, got) == SearchEnd::Stop) break;
        offset += got;
        if (!(s_.modeFlags & kModeQuiet) && Call(offset, nullptr) == kStop) break;
        if (offset >= end_) break;
    }
}

SearchEnd Scan::SearchChunk(std::uint64_t chunkOffset, std::size_t length) {
    for (std::size_t i = 0; i < types_.size(); ++i) {
        if (Call(chunkOffset, nullptr) == kStop) return SearchEnd::Stop;
        if (SearchType(i, chunkOffset, length) == SearchEnd::Stop) return SearchEnd::Stop;
    }
    return SearchEnd::Continue;
}

std::optional<HeaderAt> Scan::NextHeader(std::size_t index, const std::uint8_t* data, std::size_t length,
                                         std::size_t held, std::size_t from) const {
    const std::vector<Signature>& signatures = signatures_[index];
    if (s_.modeFlags & kModeQuick) {
        const std::size_t block = s_.blockSize;
        std::size_t pos = (from + block - 1) / block * block;
        while (pos < length) {
            for (const Signature& sig : signatures) {
                const std::size_t n = sig.pattern->size();
                if (n > held - pos) continue;
                if (sig.anchored && data[pos + sig.anchor] != sig.anchorByte &&
                    data[pos + sig.anchor] != sig.anchorOther)
                    continue;
                if (PatternMatchesAt(*sig.pattern, data + pos)) return HeaderAt {pos, n};
            }
            pos += block;
            if (pos >= length || length - pos < block) return std::nullopt;
        }
        return std::nullopt;
    }
    // Every byte position: the earliest signature wins. A signature that
    // starts in the chunk may end in the bytes held after it.
    std::optional<HeaderAt> best;
    for (const Signature& sig : signatures) {
        const std::size_t n = sig.pattern->size();
        const std::size_t stop = std::min(held, length + n - 1);
        if (from >= stop) continue;
        const std::size_t limit = best ? std::min(stop, best->position + n) : stop;
        if (from >= limit) continue;
        const auto found = FindPattern(*sig.pattern, std::span(data + from, limit - from));
        if (found && from + *found < length && (!best || from + *found < best->position))
            best = HeaderAt {from + *found, n};
    }
    return best;
}

ExtractResult Scan::Decide(const TypeSpec& type, Extractor extractor, std::uint64_t header, std::uint64_t chunkEnd,
                           bool reachPast, bool mayStretch, bool* stretched, bool* reachedPast) {
    const std::uint64_t lead = std::min<std::uint64_t>(type.leadIn, header - window_.begin());
    const std::uint64_t diskEnd = window_.diskEnd();
    const std::uint64_t farLimit =
        diskEnd != 0 ? std::min(type.maxLength, diskEnd > header ? diskEnd - header : 0) : type.maxLength;
    const FarFromHeader far(window_, header, farLimit);
    auto run = [&](std::uint64_t given) {
        CarveInput input;
        input.bytes = window_.From(header).first(static_cast<std::size_t>(given));
        input.leadIn = window_.From(header - lead).first(static_cast<std::size_t>(lead));
        input.complete = window_.AtDiskEnd() && header + given >= window_.end();
        input.far = &far;
        return std::pair(extractor(type, input), input.complete);
    };
    const std::uint64_t inChunk = chunkEnd - header;
    std::uint64_t given = std::min(window_.end() - header, std::max(type.maxLength, inChunk));
    if (given > inChunk) {
        // The window holds bytes past the chunk (a file ran on there): most
        // headers are decided from the chunk's own bytes, and only those
        // that are not are given the rest.
        ExtractResult result = run(inChunk).first;
        if (result.resume) return result;
        if (!reachPast) {
            Note(result.note);
            return result;
        }
    }
    if (!reachPast) mayStretch = false;
    for (;;) {
        *reachedPast = header + given > chunkEnd;
        auto [result, complete] = run(given);
        if (result.resume) return result;
        Note(result.note);
        // More bytes after the header cannot make up for bytes missing
        // before it.
        if (!mayStretch || lead < type.leadIn || outOfMemory_) return result;
        const std::uint64_t most = std::min(type.maxLength, kMaxSpan);
        if (given >= most || complete) return result;
        const std::uint64_t target = std::min(most, std::max(2 * given, given + s_.chunkBytes));
        if (!window_.Extend(header + target)) {
            Messages() << "Ran out of memory in read_from_disk()\n";
            outOfMemory_ = true;
            return result;
        }
        *stretched = true;
        const std::uint64_t longer = std::min(window_.end() - header, target);
        if (longer <= given) return result;
        given = longer;
    }
}

SearchEnd Scan::SearchType(std::size_t index, std::uint64_t chunkOffset, std::size_t length) {
    TypeSpec& type = types_[index];
    const Extractor extractor = extractors_[index];
    if (signatures_[index].empty()) return SearchEnd::Continue;
    const std::uint64_t chunkEnd = chunkOffset + length;
    std::size_t pos = nextSearch_[index] > chunkOffset ? static_cast<std::size_t>(
                                                              std::min<std::uint64_t>(nextSearch_[index] - chunkOffset, length))
                                                        : 0;
    int stretches = 0;
    int missesPast = 0;
    while (pos < length) {
        if (Call(chunkOffset, nullptr) == kStop) return SearchEnd::Stop;
        // The window may have moved its bytes when a file stretched it.
        const std::span<const std::uint8_t> held = window_.From(chunkOffset);
        const std::optional<HeaderAt> found = NextHeader(index, held.data(), length, held.size(), pos);
        if (!found) break;
        const std::uint64_t header = chunkOffset + found->position;
        if (!extractor) {  // a type whose headers never produce a file
            pos = found->position + found->length;
            continue;
        }
        bool stretched = false;
        bool reachedPast = false;
        ExtractResult result = Decide(type, extractor, header, chunkEnd, missesPast < kMissesPastChunkEnd,
                                      stretches < kStretchesPerChunk, &stretched, &reachedPast);
        if (stretched) ++stretches;
        if (reachedPast && !result.file) ++missesPast;
        std::int64_t resume;
        if (result.resume) {
            Note(result.note);
            resume = *result.resume;
            if (result.file) Record(type, header, *result.file);
        } else {
            // Nothing could be delimited from all the bytes there are: the
            // search goes on one byte past the end of the header, so that
            // overlapping headers are still tried.
            resume = static_cast<std::int64_t>(found->length + 1);
        }
        // The search always moves forward, whatever an extractor answers.
        const std::uint64_t next = header + static_cast<std::uint64_t>(std::max<std::int64_t>(resume, 1));
        if (result.file) nextSearch_[index] = std::max(nextSearch_[index], next);
        if (next >= chunkEnd) break;
        pos = static_cast<std::size_t>(next - chunkOffset);
    }
    return SearchEnd::Continue;
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

// A node scanned as a whole disk: a disk under the root, or a node of its
// own (an image, a device) that starts at byte 0.
bool IsWholeDisk(const DeviceNode& node) {
    if (node.parent == nullptr) return node.startOffset == 0;
    return node.parent->parent == nullptr;
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
    settings.chunkBytes = options.chunkBytes >= kSector ? options.chunkBytes / kSector * kSector
                                                        : std::uint64_t {settings.chunkMiB} * kCopyPiece;
    settings.partitionStart = partition.startOffset;
    settings.partitionLength = partition.size;
    settings.partition = &partition;
    settings.callback = callback;
    settings.userData = userData;
    settings.typeCount = types.size();
    settings.startTime = platform::FormatLocalTime(platform::CurrentTimeSeconds(), "%Y-%m-%d %H:%M:%S");
    settings.messages = options.messages;
    settings.notes = options.notes;

    const std::uint64_t diskEnd = partition.scanHandle ? partition.scanHandle->Size() : 0;
    if (IsWholeDisk(partition)) {
        settings.partitionStart = 0;
        settings.partitionLength = std::max(partition.size, diskEnd);
    }
    if (options.report) {
        *options.report = ScanReport {};
        options.report->start = settings.partitionStart;
        options.report->length = settings.partitionLength;
    }

    if (!partition.scanHandle) {
        (settings.messages ? *settings.messages : std::cerr)
            << "search: " << settings.inputPath << ": the disk could not be opened for reading\n";
        return 0;
    }
    Scan scan(settings, types, *partition.scanHandle, diskEnd);
    scan.Run();
    if (options.report) {
        options.report->bytesRead = scan.window().bytesRead();
        options.report->unreadable = scan.window().unreadable();
        options.report->filesFound = settings.filesFound;
    }
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

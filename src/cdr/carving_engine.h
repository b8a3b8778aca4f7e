// The carving engine: reads a disk or partition in large chunks, looks for
// the header of every known file type and hands each hit to the type's
// extractor, which decides where the file ends. Found files become FileItem
// records under one type-group node per type, announced through a callback
// as they are found. Nothing is written during a scan; ExtractFile copies a
// found file out later.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "src/cdr/device_tree.h"
#include "src/cdr/read_window.h"
#include "src/cdr/type_table.h"

namespace qb::cdr {

// Callbacks of the storage side return kStop to end the work, 0 to go on.
inline constexpr int kStop = -2;

// callback(endOffset, currentOffset, item, userData). Offsets are absolute
// byte offsets on the disk; end = partition start + length. Called after
// every chunk (item null), before each type's search of a chunk and before
// each header search (chunk start, item null), and once for every recorded
// file (the file's offset and its new item).
using ScanCallback = int (*)(std::uint64_t endOffset, std::uint64_t currentOffset, FileItem* item, void* userData);

inline constexpr std::uint32_t kModeQuiet = 4;  // no progress call after each chunk
inline constexpr std::uint32_t kModeQuick = 16; // headers only at block boundaries

// One scan's settings.
struct ScanSettings {
    std::uint32_t modeFlags = kModeQuick;
    std::string inputPath;  // names the input in messages
    std::uint32_t chunkMiB = 4;
    std::uint64_t chunkBytes = 4194304;  // chunkMiB in bytes, or the smaller chunk a test asks for
    std::uint32_t blockSize = 512;
    std::uint64_t partitionStart = 0;
    std::uint64_t partitionLength = 0;
    DeviceNode* partition = nullptr;
    ScanCallback callback = nullptr;
    void* userData = nullptr;
    std::size_t typeCount = 0;
    std::uint64_t filesFound = 0;
    std::string startTime;
    std::ostream* messages = nullptr;  // error lines; the standard error stream when null
    std::ostream* notes = nullptr;     // extractor diagnostics; the standard output when null
};

// What a scan did besides finding files.
struct ScanReport {
    std::uint64_t start = 0;   // the area scanned: its first byte on the disk
    std::uint64_t length = 0;  // and its length
    // Bytes read from the device: the chunks, the bytes past a chunk that a
    // file running on needed (read once, and used again as the next chunks'
    // bytes), and the headers read far ahead in long files.
    std::uint64_t bytesRead = 0;
    // Sectors the device could not read: skipped, scanned as zeros.
    std::vector<ByteRange> unreadable;
    std::uint64_t filesFound = 0;
};

// What a caller may change about a scan; the workflow uses the defaults.
struct ScanOptions {
    std::vector<TypeSpec> types = DefaultTypeTable();
    bool quick = true;
    std::uint32_t chunkMiB = 4;
    // A chunk of this many bytes (a multiple of 512) instead of chunkMiB
    // MiB; 0: chunkMiB. Tests and fuzzing use small chunks to reach chunk
    // ends on small disks.
    std::uint64_t chunkBytes = 0;
    std::ostream* messages = nullptr;
    std::ostream* notes = nullptr;
    ScanReport* report = nullptr;  // filled when not null
};

// Scans one disk or partition node: makes one type-group node per type under
// it (named by the type's suffix, appended after its present children) and
// reads its scanHandle from startOffset over size bytes. A disk (a child of
// the root, or a node of its own that starts at byte 0) is scanned over its
// device's whole length, whatever its partitions cover: files lie before,
// between and after partitions, and on a card whose partition table is
// gone. Returns 0.
int ScanPartition(DeviceNode& partition, ScanCallback callback, void* userData,
                  const ScanOptions& options = ScanOptions {});

// Reads length bytes at an arbitrary offset in whole 512-byte sectors, the
// way a raw disk must be read. Empty unless exactly length bytes were read.
std::vector<std::uint8_t> ReadAtOffset(const platform::ByteSource& disk, std::uint64_t offset,
                                       std::uint64_t length);
// The same into a caller's buffer; false unless every byte was read.
bool ReadAtOffsetInto(const platform::ByteSource& disk, std::uint64_t offset, std::uint8_t* out,
                      std::size_t length);

// cancelCallback(size, done, item): called before every write with the
// item's size and the bytes written once the coming piece is written;
// kStop ends the copy and leaves the partial file.
using CopyCancelCallback = int (*)(std::uint64_t size, std::uint64_t done, const FileItem* item);

enum class CopyOutcome {
    Complete,       // every byte of the item was written
    Cancelled,      // the cancel callback stopped the copy
    ReadFailed,     // the disk gave fewer bytes than the item holds
    TargetFailed,   // the target could not be created or written
};

// Copies a found file from its disk to targetPath (created or truncated).
// Every call has its own buffer, so copies may run at the same time.
CopyOutcome ExtractFile(const FileItem& item, const std::string& targetPath, const platform::ByteSource& input,
                        CopyCancelCallback cancelCallback);

}  // namespace qb::cdr

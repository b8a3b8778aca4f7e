// What a sample card image holds and what a quick scan of it must record,
// kept beside the image as JSON (by default <image>.truth.json).
//
// JSON layout (one object):
//   "format"     "quillbrook-card-truth"
//   "version"    1
//   "source"     what made the image ("sample-card", "real-files")
//   "seed", "scale"
//   "imageSize", "blockSize", "chunkSize"   bytes
//   "files"      [{ "offset", "size", "group", "name", "kind", "sha256",
//                   "crossesChunk" }]        every file the scan records
//   "decoys"     [{ "offset", "group", "kind" }]   headers to be rejected
//   "unaligned"  [{ "offset", "group", "kind" }]   whole files off a block
//                                                   boundary: not searched
//   "unreadableSectors" [offset]   512-byte sectors of filler that a test's
//                                  disk fails to read (optional)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::tools {

// A file that a quick scan records.
struct TruthFile {
    std::uint64_t offset = 0;   // absolute byte offset of the file's first byte
    std::uint64_t size = 0;     // bytes the scan records
    std::string group;          // the type group it is listed under ("jpg", "rif", "ole", "zip", "exe", ...)
    std::string name;           // "%llu.%s": offset / 512 and the suffix it is recorded with
    std::string kind;           // what the sample is ("jpeg-exif", "riff-wave", ...)
    std::string sha256;         // of the size bytes at offset
    bool crossesChunk = false;  // starts in one 4 MiB chunk and ends in a later one
};

// A header in the image that must not lead to a recorded file.
struct TruthMiss {
    std::uint64_t offset = 0;  // where the header lies
    std::string group;         // the type whose header it is
    std::string kind;          // what it is and why it is passed over
};

struct CardTruth {
    std::string source = "sample-card";
    std::uint64_t seed = 0;
    std::uint32_t scale = 1;
    std::uint64_t imageSize = 0;
    std::uint32_t blockSize = 512;
    std::uint64_t chunkSize = 4194304;
    std::vector<TruthFile> files;      // in disk order
    std::vector<TruthMiss> decoys;     // at block boundaries; their extractor rejects them
    std::vector<TruthMiss> unaligned;  // complete files whose header is off a block boundary
    // Filler sectors right before a recorded file, for a test's disk to
    // fail to read: the scan must skip them and still find the file.
    std::vector<std::uint64_t> unreadableSectors;
};

// "%llu.%s" with offset / 512.
std::string CarvedFileName(std::uint64_t offset, std::string_view suffix);

// The truth file that belongs to an image: imagePath + ".truth.json".
std::string TruthPathFor(const std::string& imagePath);

std::string CardTruthToJson(const CardTruth& truth);
// Nothing when the text is not a card truth; *error then says why.
std::optional<CardTruth> CardTruthFromJson(std::string_view json, std::string* error = nullptr);

bool WriteCardTruth(const std::string& path, const CardTruth& truth, std::string* error = nullptr);
std::optional<CardTruth> ReadCardTruth(const std::string& path, std::string* error = nullptr);

}  // namespace qb::tools

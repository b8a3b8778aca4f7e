// RIFF (WAVE audio, AVI video): the RIFF chunk states the file's size.
//
// RIFF header (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       4     "RIFF"
//   4       4     chunk size: the file's length less these 8 bytes
//   8       4     form type: "WAVE", or "AVI " followed by
//   12      4     "LIST" (the hdrl list) in an AVI file
//   ...           sub-chunks: four-character id, 32-bit size, data
#include <string>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kChunkHeader = 8;
}

ExtractResult ExtractRiff(const TypeSpec& typeSpec, const CarveInput& input) {
    const std::span<const std::uint8_t> bytes = input.bytes;
    const ByteView view(bytes);
    if (!view.Has(0, 12)) return ExtractResult::Undecided();

    const std::uint32_t chunkSize = *view.Le32(4);
    const std::uint64_t fileLength = chunkSize + kChunkHeader;

    std::string extension;
    if (view.Equals(8, "AVI")) {
        if (!view.Has(12, 4)) return ExtractResult::Undecided();
        if (!view.Equals(12, "LIST")) return SkipHeader(typeSpec);
        extension = "avi";
    } else if (view.Equals(8, "WAVE")) {
        extension = "wav";
    } else {
        return SkipHeader(typeSpec);
    }

    if (chunkSize < 1 || fileLength > typeSpec.maxLength) return SkipHeader(typeSpec);
    // A file that runs past the bytes given but may still be whole within
    // maxLength is left to the engine, which gives more bytes.
    if (fileLength > view.size()) return ExtractResult::Undecided();

    const auto resume = static_cast<std::int64_t>(fileLength);
    if (!ExtensionAllowed(typeSpec.typeId, extension)) return ExtractResult::ContinueAt(resume);
    return ExtractResult::Record(resume, CarvedFile {0, fileLength, std::move(extension)});
}

}  // namespace qb::cdr

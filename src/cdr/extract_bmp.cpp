// Windows bitmap: the file header states the file's size.
//
// BITMAPFILEHEADER and the start of the info header (little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       2     "BM"
//   2       4     file size in bytes
//   6       4     reserved
//   10      4     offset of the pixel data
//   14      4     info-header size (40, 108, 124, ...)
//   18      4     width in pixels (signed)
//   22      4     height in pixels (signed; negative: rows top-down)
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAvailable = 100;
constexpr std::uint32_t kMinimumFileSize = 100;  // exclusive
constexpr std::uint32_t kMaxInfoHeaderSize = 1000;
constexpr std::int32_t kMaxHeight = 2000;
}  // namespace

ExtractResult ExtractBmp(const TypeSpec& typeSpec, const CarveInput& input) {
    const std::span<const std::uint8_t> bytes = input.bytes;
    const ByteView view(bytes);
    if (view.size() < kMinimumAvailable) return SkipHeader(typeSpec);

    const std::uint32_t fileSize = *view.Le32(2);
    const std::uint32_t infoSize = *view.Le32(14);
    const auto width = static_cast<std::int32_t>(*view.Le32(18));
    const auto height = static_cast<std::int32_t>(*view.Le32(22));
    if (fileSize <= kMinimumFileSize || fileSize > typeSpec.maxLength) return SkipHeader(typeSpec);
    if (infoSize < 1 || infoSize > kMaxInfoHeaderSize) return SkipHeader(typeSpec);
    if (width <= 0) return SkipHeader(typeSpec);
    if (height < 1 || height > kMaxHeight) return SkipHeader(typeSpec);

    if (fileSize > view.size()) return ExtractResult::Undecided();
    return ExtractResult::Record(fileSize, CarvedFile {0, fileSize, typeSpec.suffix});
}

}  // namespace qb::cdr

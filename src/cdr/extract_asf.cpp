// ASF (Windows Media): the file-properties object inside the header object
// states the file's size.
//
// Header object (integers little-endian):
//   OFFSET  SIZE  DESCRIPTION
//   0       16    GUID 75B22630-668E-11CF-A6D9-00AA0062CE6C
//                 (bytes 30 26 B2 75 8E 66 CF 11 A6 D9 00 AA 00 62 CE 6C)
//   16      8     object size
//   24      4     number of header objects that follow
//   28      1     reserved, 01
//   29      1     reserved, 02
//   30      ...   header objects
//
// File-properties object (one of the header objects):
//   0       16    GUID 8CABDCA1-A947-11CF-8EE4-00C00C205365
//                 (bytes A1 DC AB 8C 47 A9 CF 11 8E E4 00 C0 0C 20 53 65)
//   16      8     object size (104)
//   24      16    file id GUID
//   40      8     file size in bytes
//   48      ...   creation date, packet count, durations, flags, bit rate
#include <cstdio>

#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr std::uint64_t kMinimumAvailable = 70;
constexpr std::uint64_t kHeaderObjectFields = 30;
constexpr std::uint64_t kFileSizeInProperties = 40;
}  // namespace

ExtractResult ExtractAsf(const TypeSpec& typeSpec, const CarveInput& input) {
    const std::span<const std::uint8_t> bytes = input.bytes;
    const ByteView view(bytes);
    const std::uint64_t available = view.size();
    if (available < kMinimumAvailable) return ExtractResult::Undecided();

    const std::uint64_t headerSize = *view.Le64(16);
    const auto objectCount = static_cast<std::int32_t>(*view.Le32(24));
    if (headerSize == 0 || objectCount <= 0 || *view.U8(28) != 1) {
        char line[96];
        std::snprintf(line, sizeof line, "WMV err num_header_objs=%d headerSize=%llu\n", static_cast<int>(objectCount),
                      static_cast<unsigned long long>(headerSize));
        ExtractResult result = ExtractResult::ContinueAt(static_cast<std::int64_t>(kHeaderObjectFields));
        result.note = line;
        return result;
    }

    const auto found = FindPattern(typeSpec.footer, view.Sub(kHeaderObjectFields, typeSpec.maxLength));
    if (!found) return ExtractResult::Undecided();
    const auto fileSize = view.Le32(kHeaderObjectFields + *found + kFileSizeInProperties);
    if (!fileSize) return ExtractResult::Undecided();
    if (*fileSize == 0 || *fileSize > typeSpec.maxLength || *fileSize > available) return ExtractResult::Undecided();
    return ExtractResult::Record(*fileSize, CarvedFile {0, *fileSize, typeSpec.suffix});
}

}  // namespace qb::cdr

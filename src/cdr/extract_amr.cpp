// AMR speech (voice recorders and call recordings of many phones): a magic
// line, then frames, each a header byte whose frame type gives the length
// of the frame. The walk keeps to the speech mode of the first frame and
// the comfort-noise and no-data frames that silence brings; the first byte
// that is none of these ends the file, which stops the walk at zero or
// other filler after it.
//
//   OFFSET  SIZE  DESCRIPTION
//   0       6     "#!AMR" LF (narrow band), or
//   0       9     "#!AMR-WB" LF (wide band)
//   ...           frames
//
// Frame header byte:
//   bit 7     0
//   bits 6-3  frame type: narrow band 0-7 speech modes, 8 comfort noise,
//             15 no data; wide band 0-8 speech modes, 9 comfort noise,
//             14 speech lost, 15 no data
//   bit 2     quality: 1 for a good frame
//   bits 1-0  0
// Bytes that follow the header byte, by frame type: narrow band 12 13 15
// 17 19 20 26 31 5 (0-8), 0 (15); wide band 17 23 32 36 40 46 50 58 60 5
// (0-9), 0 (14, 15).
#include "src/cdr/byte_reader.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {
constexpr int kNarrowBytes[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, -1, -1, -1, -1, -1, -1, 0};
constexpr int kWideBytes[16] = {17, 23, 32, 36, 40, 46, 50, 58, 60, 5, -1, -1, -1, -1, 0, 0};
constexpr int kMinFrames = 5;  // a tenth of a second

// True when the frame type belongs to the stream: its speech mode or a
// frame of silence.
bool Fits(int type, int speech, bool wide) {
    if (type == speech || type == 15) return true;
    return wide ? (type == 9 || type == 14) : type == 8;
}
}  // namespace

ExtractResult ExtractAmr(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const bool canWait = !input.complete && view.size() < typeSpec.maxLength;
    const ExtractResult skip = ExtractResult::ContinueAt(5);

    std::uint64_t cursor = 0;
    bool wide = false;
    if (view.Equals(0, "#!AMR\n")) {
        cursor = 6;
    } else if (view.Equals(0, "#!AMR-WB\n")) {
        cursor = 9;
        wide = true;
    } else {
        return view.Has(0, 9) || !canWait ? skip : ExtractResult::Undecided();
    }
    const int* sizes = wide ? kWideBytes : kNarrowBytes;

    int speech = -1;
    int frames = 0;
    for (;;) {
        const auto header = view.U8(cursor);
        if (!header) {
            if (canWait) return ExtractResult::Undecided();
            break;
        }
        if ((*header & 0x83) != 0 || (*header & 0x04) == 0) break;
        const int type = (*header >> 3) & 15;
        if (sizes[type] < 0) break;
        if (speech < 0 && sizes[type] > 5) speech = type;  // the first speech frame sets the mode
        if (speech >= 0 && !Fits(type, speech, wide)) break;
        if (speech < 0 && type != 15 && type != (wide ? 9 : 8)) break;
        const std::uint64_t length = 1 + static_cast<std::uint64_t>(sizes[type]);
        if (!view.Has(cursor, length)) {
            if (canWait) return ExtractResult::Undecided();
            break;
        }
        cursor += length;
        ++frames;
    }
    if (frames < kMinFrames || speech < 0) return skip;
    return ExtractResult::Record(static_cast<std::int64_t>(cursor), CarvedFile {0, cursor, "amr"});
}

}  // namespace qb::cdr

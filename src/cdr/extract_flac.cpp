// FLAC music: "fLaC", the metadata blocks, then audio frames. Frames do not
// state their length, so each frame is followed to the next one: the next
// frame header (sync code, header CRC-8, and the frame or sample number
// that comes next) at the place where the frame's own CRC-16 comes out
// right. The last frame, with no header after it, is read through its
// subframes to its end, which its CRC-16 then confirms.
//
// Metadata block header:
//   OFFSET  SIZE  DESCRIPTION
//   0       1     bit 7: last block; bits 6-0: type (0 STREAMINFO)
//   1       3     data length (big-endian)
// STREAMINFO data: 2+2 minimum and maximum block size, 3+3 minimum and
// maximum frame size (0: unknown), then 20 bits sample rate, 3 bits
// channels - 1, 5 bits bits per sample - 1, 36 bits total samples, 16 MD5.
//
// Frame header (bits, most significant first):
//   14  sync 11111111111110      1  reserved 0    1  variable block sizes
//   4   block size code          4  sample rate code
//   4   channel assignment       3  sample size code    1  reserved 0
//   8-56  frame number (fixed block sizes) or first sample number, coded
//         like UTF-8
//   0/8/16  block size - 1 (codes 6, 7)    0/8/16  sample rate (codes 12-14)
//   8   CRC-8 of the header
// Then one subframe per channel, zero bits to a byte boundary, and the
// CRC-16 of the whole frame.
//
// Subframe: 1 zero bit, 6 bits type (0 constant, 1 verbatim, 8-12 fixed of
// order 0-4, 32-63 LPC of order 1-32), 1 bit wasted bits (then their count
// in unary), then the warm-up samples, for LPC 4 bits coefficient
// precision - 1, 5 bits shift and the coefficients, and the residual: 2 bits
// coding method (Rice parameters of 4 or 5 bits), 4 bits partition order,
// per partition a parameter (all ones: 5 bits of raw sample width follow)
// and its samples.
#include <optional>

#include "src/cdr/byte_reader.h"
#include "src/cdr/crc.h"
#include "src/cdr/extractor.h"

namespace qb::cdr {

namespace {

constexpr std::uint64_t kMagic = 4;
constexpr std::uint64_t kBlockHeader = 4;
constexpr std::uint8_t kStreamInfo = 0;
constexpr std::uint32_t kStreamInfoLength = 34;
constexpr int kMaxMetadataBlocks = 1024;
// How far the next frame is looked for when the stream does not state its
// largest frame.
constexpr std::uint64_t kDefaultFrameReach = 1 << 20;
constexpr std::uint64_t kId3v1 = 128;

// CRC-16 of FLAC frames: polynomial 8005, not reflected, initial value 0.
struct Crc16Table {
    std::uint16_t entry[256];
    constexpr Crc16Table() : entry() {
        for (int i = 0; i < 256; ++i) {
            std::uint16_t c = static_cast<std::uint16_t>(i << 8);
            for (int k = 0; k < 8; ++k) c = static_cast<std::uint16_t>((c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1);
            entry[i] = c;
        }
    }
};
constexpr Crc16Table kCrc16;

std::uint16_t Crc16Step(std::uint16_t crc, std::uint8_t b) {
    return static_cast<std::uint16_t>((crc << 8) ^ kCrc16.entry[((crc >> 8) ^ b) & 0xFF]);
}

class BitReader {
public:
    BitReader(std::span<const std::uint8_t> bytes, std::uint64_t bytePos) : bytes_(bytes), bit_(bytePos * 8) {}
    std::optional<std::uint64_t> Bits(int n) {
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            const auto b = Bit();
            if (!b) return std::nullopt;
            v = (v << 1) | *b;
        }
        return v;
    }
    std::optional<std::uint32_t> Bit() {
        if (bit_ / 8 >= bytes_.size()) return std::nullopt;
        const std::uint32_t b = (bytes_[static_cast<std::size_t>(bit_ / 8)] >> (7 - bit_ % 8)) & 1;
        ++bit_;
        return b;
    }
    // Zero bits up to a one bit; their count.
    std::optional<std::uint64_t> Unary() {
        std::uint64_t zeros = 0;
        for (;;) {
            if (bit_ % 8 == 0) {
                // A whole zero byte at once.
                while (bit_ / 8 < bytes_.size() && bytes_[static_cast<std::size_t>(bit_ / 8)] == 0) {
                    bit_ += 8;
                    zeros += 8;
                }
            }
            const auto b = Bit();
            if (!b) return std::nullopt;
            if (*b) return zeros;
            ++zeros;
        }
    }
    bool Skip(std::uint64_t n) {
        if (n > bytes_.size() * 8 - std::min<std::uint64_t>(bit_, bytes_.size() * 8)) return false;
        bit_ += n;
        return true;
    }
    std::uint64_t BytePosRoundedUp() const { return (bit_ + 7) / 8; }

private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t bit_;
};

struct FrameHeader {
    std::uint64_t length = 0;  // bytes of the header, CRC-8 included
    std::uint64_t number = 0;  // frame or first sample number
    bool variable = false;
    std::uint32_t blockSize = 0;
    int channels = 0;
    int assignment = 0;
    int bitsPerSample = 0;
};

std::optional<FrameHeader> HeaderAt(const ByteView& view, std::uint64_t at, int streamBits) {
    if (!view.Has(at, 6)) return std::nullopt;
    const std::uint8_t* p = view.data() + at;
    if (p[0] != 0xFF || (p[1] & 0xFE) != 0xF8) return std::nullopt;
    FrameHeader h;
    h.variable = p[1] & 1;
    const int sizeCode = p[2] >> 4, rateCode = p[2] & 15;
    h.assignment = p[3] >> 4;
    const int sampleCode = (p[3] >> 1) & 7;
    if (sizeCode == 0 || rateCode == 15 || h.assignment > 10 || sampleCode == 3 || (p[3] & 1)) return std::nullopt;
    static constexpr int kSampleBits[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    h.bitsPerSample = sampleCode == 0 ? streamBits : kSampleBits[sampleCode];
    h.channels = h.assignment <= 7 ? h.assignment + 1 : 2;
    // The coded number: a UTF-8-like run of up to 7 bytes.
    std::uint64_t pos = 4;
    std::uint8_t lead = p[pos];
    int more = 0;
    if (lead < 0x80) more = 0;
    else if ((lead & 0xE0) == 0xC0) more = 1;
    else if ((lead & 0xF0) == 0xE0) more = 2;
    else if ((lead & 0xF8) == 0xF0) more = 3;
    else if ((lead & 0xFC) == 0xF8) more = 4;
    else if ((lead & 0xFE) == 0xFC) more = 5;
    else if (lead == 0xFE) more = 6;
    else return std::nullopt;
    std::uint64_t number = more == 0 ? lead : (lead & (0x3F >> more));
    if (!view.Has(at, pos + 1 + static_cast<std::uint64_t>(more) + 5)) return std::nullopt;
    for (int i = 1; i <= more; ++i) {
        const std::uint8_t c = p[pos + static_cast<std::uint64_t>(i)];
        if ((c & 0xC0) != 0x80) return std::nullopt;
        number = (number << 6) | (c & 0x3F);
    }
    pos += 1 + static_cast<std::uint64_t>(more);
    h.number = number;
    if (sizeCode == 1) h.blockSize = 192;
    else if (sizeCode <= 5) h.blockSize = 576u << (sizeCode - 2);
    else if (sizeCode == 6) h.blockSize = p[pos++] + 1u;
    else if (sizeCode == 7) {
        h.blockSize = ((p[pos] << 8) | p[pos + 1]) + 1u;
        pos += 2;
    } else h.blockSize = 256u << (sizeCode - 8);
    if (rateCode == 12) pos += 1;
    else if (rateCode == 13 || rateCode == 14) pos += 2;
    if (!view.Has(at, pos + 1)) return std::nullopt;
    if (Crc8(std::span(p, static_cast<std::size_t>(pos))) != p[pos]) return std::nullopt;
    if (h.bitsPerSample == 0) return std::nullopt;
    h.length = pos + 1;
    return h;
}

// Reads the residual of one subframe; false when the bits run out or are
// malformed.
bool SkipResidual(BitReader& bits, std::uint32_t blockSize, std::uint32_t order) {
    const auto method = bits.Bits(2);
    const auto partitionOrder = bits.Bits(4);
    if (!method || !partitionOrder || *method > 1) return false;
    const int paramBits = *method == 0 ? 4 : 5;
    const std::uint64_t escape = *method == 0 ? 15 : 31;
    const std::uint64_t partitions = 1ull << *partitionOrder;
    if (blockSize % partitions != 0) return false;
    for (std::uint64_t part = 0; part < partitions; ++part) {
        std::uint64_t samples = blockSize >> *partitionOrder;
        if (part == 0) {
            if (samples < order) return false;
            samples -= order;
        }
        const auto param = bits.Bits(paramBits);
        if (!param) return false;
        if (*param == escape) {
            const auto width = bits.Bits(5);
            if (!width || !bits.Skip(samples * *width)) return false;
            continue;
        }
        for (std::uint64_t i = 0; i < samples; ++i) {
            if (!bits.Unary() || !bits.Skip(*param)) return false;
        }
    }
    return true;
}

// The end of the frame at `at` (which holds header h), read through its
// subframes; nothing when they do not add up within the bytes.
std::optional<std::uint64_t> FrameEndBySubframes(const ByteView& view, std::uint64_t at, const FrameHeader& h) {
    BitReader bits(view.span(), at + h.length);
    for (int ch = 0; ch < h.channels; ++ch) {
        int bps = h.bitsPerSample;
        // The side channel carries one bit more.
        if ((h.assignment == 8 && ch == 1) || (h.assignment == 9 && ch == 0) || (h.assignment == 10 && ch == 1)) ++bps;
        const auto zero = bits.Bit();
        const auto type = bits.Bits(6);
        const auto wastedFlag = bits.Bit();
        if (!zero || *zero != 0 || !type || !wastedFlag) return std::nullopt;
        if (*wastedFlag) {
            const auto k = bits.Unary();
            if (!k || static_cast<int>(*k) + 1 >= bps) return std::nullopt;
            bps -= static_cast<int>(*k) + 1;
        }
        const std::uint64_t t = *type;
        if (t == 0) {
            if (!bits.Skip(static_cast<std::uint64_t>(bps))) return std::nullopt;
        } else if (t == 1) {
            if (!bits.Skip(std::uint64_t {h.blockSize} * static_cast<std::uint64_t>(bps))) return std::nullopt;
        } else if (t >= 8 && t <= 12) {
            const std::uint32_t order = static_cast<std::uint32_t>(t - 8);
            if (!bits.Skip(std::uint64_t {order} * static_cast<std::uint64_t>(bps)) ||
                !SkipResidual(bits, h.blockSize, order))
                return std::nullopt;
        } else if (t >= 32) {
            const std::uint32_t order = static_cast<std::uint32_t>(t - 31);
            if (!bits.Skip(std::uint64_t {order} * static_cast<std::uint64_t>(bps))) return std::nullopt;
            const auto precision = bits.Bits(4);
            if (!precision || *precision == 15 || !bits.Skip(5) || !bits.Skip(std::uint64_t {order} * (*precision + 1)) ||
                !SkipResidual(bits, h.blockSize, order))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return bits.BytePosRoundedUp() + 2;  // the CRC-16
}

}  // namespace

ExtractResult ExtractFlac(const TypeSpec& typeSpec, const CarveInput& input) {
    const ByteView view(input.bytes);
    const bool canWait = !input.complete && view.size() < typeSpec.maxLength;
    const ExtractResult skip = ExtractResult::ContinueAt(4);
    const ExtractResult undecided = ExtractResult::Undecided();

    // The metadata blocks, STREAMINFO first.
    std::uint64_t cursor = kMagic;
    int streamBits = 0;
    std::uint64_t maxFrame = 0;
    std::uint32_t minBlock = 0;
    for (int n = 0;; ++n) {
        if (n >= kMaxMetadataBlocks) return skip;
        if (!view.Has(cursor, kBlockHeader)) return canWait ? undecided : skip;
        const std::uint8_t flags = *view.U8(cursor);
        const std::uint64_t length = (std::uint64_t {*view.U8(cursor + 1)} << 16) | *view.Be16(cursor + 2);
        const std::uint8_t type = flags & 0x7F;
        if (n == 0) {
            if (type != kStreamInfo || length != kStreamInfoLength) return skip;
            if (!view.Has(cursor + kBlockHeader, length)) return canWait ? undecided : skip;
            const std::uint64_t info = cursor + kBlockHeader;
            minBlock = *view.Be16(info);
            maxFrame = (std::uint64_t {*view.U8(info + 7)} << 16) | *view.Be16(info + 8);
            streamBits = ((*view.U8(info + 12) & 1) << 4 | (*view.U8(info + 13) >> 4)) + 1;
            if (minBlock < 16) return skip;
        } else if (type == kStreamInfo || type == 127) {
            return skip;
        }
        cursor += kBlockHeader + length;
        if (flags & 0x80) break;
    }

    // The frames: each is followed to where the next begins.
    const std::uint64_t reach = maxFrame != 0 ? maxFrame + 16 : kDefaultFrameReach;
    std::optional<FrameHeader> frame = HeaderAt(view, cursor, streamBits);
    if (!frame) {
        if (!view.Has(cursor, 32) && canWait) return undecided;
        return skip;
    }
    // Bounded: every frame moves the cursor on by its header at least.
    for (;;) {
        std::uint16_t crc = 0;
        std::uint64_t p = cursor;
        std::optional<std::uint64_t> next;
        const std::uint64_t limit = std::min<std::uint64_t>(view.size(), cursor + reach);
        const std::uint64_t expected = frame->variable ? frame->number + frame->blockSize : frame->number + 1;
        for (; p < limit; ++p) {
            if (p >= cursor + frame->length && view.data()[p] == 0xFF && crc == 0) {
                const auto h = HeaderAt(view, p, streamBits);
                if (h && h->variable == frame->variable && h->number == expected) {
                    next = p;
                    break;
                }
            }
            crc = Crc16Step(crc, view.data()[p]);
        }
        if (next) {
            cursor = *next;
            frame = HeaderAt(view, cursor, streamBits);
            continue;
        }
        if (limit == view.size() && view.size() < cursor + reach && canWait) return undecided;
        // No frame follows: this is the last, read to its end.
        const std::optional<std::uint64_t> end = FrameEndBySubframes(view, cursor, *frame);
        if (!end) return canWait ? undecided : skip;
        std::uint16_t check = 0;
        for (std::uint64_t i = cursor; i < *end; ++i) check = Crc16Step(check, view.data()[i]);
        if (check != 0) return skip;
        cursor = *end;
        break;
    }
    if (view.Equals(cursor, "TAG") && view.Has(cursor, kId3v1)) cursor += kId3v1;
    return ExtractResult::Record(static_cast<std::int64_t>(cursor), CarvedFile {0, cursor, "flac"});
}

}  // namespace qb::cdr

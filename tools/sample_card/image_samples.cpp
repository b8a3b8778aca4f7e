// Picture samples. Every builder draws a small deterministic picture and
// encodes it the way ordinary software does, so the files open in any
// viewer: JPEG through a baseline DCT coder with the standard tables, GIF
// through an LZW coder, PNG with a zlib stream of stored blocks.
#include "tools/sample_card/image_samples.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "tools/sample_card/byte_writer.h"

namespace qb::tools {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Small deterministic generator for picture noise.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {
        if (state_ == 0) state_ = 1;
    }
    std::uint32_t Next() { return XorShift32(state_); }

private:
    std::uint32_t state_;
};

struct Rgb {
    std::uint8_t r, g, b;
};

// The picture every format draws: a sky-to-ground gradient, a sun disc and a
// little noise, varied by the seed.
class Picture {
public:
    Picture(int width, int height, std::uint32_t seed) : width_(width), height_(height), pixels_() {
        Noise noise(seed);
        const int hue = static_cast<int>(noise.Next() % 96);
        const int sunX = width > 0 ? static_cast<int>(noise.Next() % static_cast<std::uint32_t>(width)) : 0;
        const int sunY = height > 0 ? static_cast<int>(noise.Next() % static_cast<std::uint32_t>(height / 2 + 1)) : 0;
        const int radius = std::max(2, std::min(width, height) / 5);
        pixels_.resize(static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int t = height > 1 ? y * 255 / (height - 1) : 0;
                const int jitter = static_cast<int>(noise.Next() % 13) - 6;
                Rgb p;
                if (y < height * 3 / 5) {
                    p = {Clamp(40 + hue + t / 4 + jitter), Clamp(90 + t / 3 + jitter), Clamp(200 - t / 5 + jitter)};
                } else {
                    p = {Clamp(60 + hue / 2 + jitter), Clamp(140 - t / 4 + jitter), Clamp(50 + jitter)};
                }
                const int dx = x - sunX, dy = y - sunY;
                if (dx * dx + dy * dy <= radius * radius) p = {Clamp(250 + jitter), Clamp(215 + jitter), 60};
                pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = p;
            }
        }
    }

    int width() const { return width_; }
    int height() const { return height_; }
    // Pixels outside the picture repeat its edge.
    Rgb At(int x, int y) const {
        x = std::clamp(x, 0, width_ - 1);
        y = std::clamp(y, 0, height_ - 1);
        return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
    }

private:
    static std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

// ---------------------------------------------------------------- JPEG --

constexpr std::array<int, 64> kZigzag = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                         12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                         35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                         58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The example tables of the JPEG standard, in natural (row-major) order.
constexpr std::array<int, 64> kLuminanceQuant = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24, 40,  57,
    69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35, 55, 64,
    81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<int, 64> kChrominanceQuant = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

struct HuffmanSpec {
    std::array<std::uint8_t, 16> counts;  // codes of each length 1..16
    std::vector<std::uint8_t> values;
};

const HuffmanSpec kDcLuminance = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                  {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanSpec kDcChrominance = {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                                    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanSpec kAcLuminance = {
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
     0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
     0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
     0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
     0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
     0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
     0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
     0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
     0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};
const HuffmanSpec kAcChrominance = {
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22,
     0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1,
     0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36,
     0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
     0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
     0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a,
     0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba,
     0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
     0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};

// Code and length of every symbol of a table (canonical codes, by length).
struct HuffmanCodes {
    std::array<std::uint16_t, 256> code {};
    std::array<std::uint8_t, 256> length {};
};

HuffmanCodes MakeCodes(const HuffmanSpec& typeSpec) {
    HuffmanCodes codes;
    unsigned code = 0;
    std::size_t k = 0;
    for (unsigned len = 1; len <= 16; ++len) {
        for (unsigned i = 0; i < typeSpec.counts[len - 1]; ++i, ++k) {
            codes.code[typeSpec.values[k]] = static_cast<std::uint16_t>(code++);
            codes.length[typeSpec.values[k]] = static_cast<std::uint8_t>(len);
        }
        code <<= 1;
    }
    return codes;
}

std::array<int, 64> ScaledQuant(const std::array<int, 64>& base, int quality) {
    quality = std::clamp(quality, 1, 100);
    const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    std::array<int, 64> q {};
    for (int i = 0; i < 64; ++i) q[static_cast<std::size_t>(i)] = std::clamp((base[static_cast<std::size_t>(i)] * scale + 50) / 100, 1, 255);
    return q;
}

// Entropy-coded bytes: bits are written most significant first, and every
// FF byte is followed by a stuffed 00.
class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    void Put(std::uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc_ = (acc_ << 1) | ((bits >> i) & 1u);
            if (++used_ == 8) Flush();
        }
    }
    void Finish() {
        while (used_ != 0) Put(1, 1);  // pad with one bits
    }

private:
    void Flush() {
        out_.push_back(static_cast<std::uint8_t>(acc_));
        if (acc_ == 0xFF) out_.push_back(0x00);
        acc_ = 0;
        used_ = 0;
    }
    Bytes& out_;
    std::uint32_t acc_ = 0;
    int used_ = 0;
};

// Fixed-point forward DCT: T[u][x] = round(8192 * C(u) / 2 * cos((2x+1)u pi / 16)).
const std::array<std::array<std::int64_t, 8>, 8>& DctMatrix() {
    static const auto matrix = [] {
        std::array<std::array<std::int64_t, 8>, 8> t {};
        const double pi = std::acos(-1.0);
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x) {
                const double c = u == 0 ? 1.0 / std::sqrt(2.0) : 1.0;
                t[static_cast<std::size_t>(u)][static_cast<std::size_t>(x)] =
                    std::llround(8192.0 * c / 2.0 * std::cos((2 * x + 1) * u * pi / 16.0));
            }
        return t;
    }();
    return matrix;
}

std::int64_t RoundedDivide(std::int64_t a, std::int64_t b) {
    return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

int BitLength(int v) {
    int n = 0;
    for (int a = v < 0 ? -v : v; a != 0; a >>= 1) ++n;
    return n;
}

// Level-shifted samples of one 8x8 block, row by row: transformed, quantised
// and coded; dc carries the previous block's DC value of the component.
void EncodeBlock(const std::array<int, 64>& samples, const std::array<int, 64>& quant, const HuffmanCodes& dcCodes,
                 const HuffmanCodes& acCodes, int& dc, BitWriter& bits) {
    const auto& t = DctMatrix();
    std::array<std::int64_t, 64> rows {};  // rows[v*8 + x] = sum_y T[v][y] f(x, y)
    for (int v = 0; v < 8; ++v)
        for (int x = 0; x < 8; ++x) {
            std::int64_t s = 0;
            for (int y = 0; y < 8; ++y) s += t[static_cast<std::size_t>(v)][static_cast<std::size_t>(y)] * samples[static_cast<std::size_t>(y * 8 + x)];
            rows[static_cast<std::size_t>(v * 8 + x)] = s;
        }
    std::array<int, 64> coefficients {};
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            std::int64_t s = 0;
            for (int x = 0; x < 8; ++x) s += t[static_cast<std::size_t>(u)][static_cast<std::size_t>(x)] * rows[static_cast<std::size_t>(v * 8 + x)];
            const std::size_t i = static_cast<std::size_t>(v * 8 + u);
            coefficients[i] = static_cast<int>(RoundedDivide(s, static_cast<std::int64_t>(quant[i]) << 26));
        }

    const int diff = coefficients[0] - dc;
    dc = coefficients[0];
    const int dcSize = BitLength(diff);
    bits.Put(dcCodes.code[static_cast<std::size_t>(dcSize)], dcCodes.length[static_cast<std::size_t>(dcSize)]);
    if (dcSize > 0) bits.Put(static_cast<std::uint32_t>(diff < 0 ? diff + (1 << dcSize) - 1 : diff), dcSize);

    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const int c = coefficients[static_cast<std::size_t>(kZigzag[static_cast<std::size_t>(k)])];
        if (c == 0) {
            ++run;
            continue;
        }
        while (run > 15) {
            bits.Put(acCodes.code[0xF0], acCodes.length[0xF0]);
            run -= 16;
        }
        const int size = BitLength(c);
        const std::size_t symbol = static_cast<std::size_t>((run << 4) | size);
        bits.Put(acCodes.code[symbol], acCodes.length[symbol]);
        bits.Put(static_cast<std::uint32_t>(c < 0 ? c + (1 << size) - 1 : c), size);
        run = 0;
    }
    if (run > 0) bits.Put(acCodes.code[0x00], acCodes.length[0x00]);
}

void PutSegment(Bytes& out, std::uint8_t marker, const Bytes& data) {
    Put8(out, 0xFF);
    Put8(out, marker);
    PutBe16(out, static_cast<unsigned>(data.size() + 2));
    PutBytes(out, data);
}

Bytes QuantSegmentData(int tableId, const std::array<int, 64>& quant) {
    Bytes d;
    Put8(d, static_cast<unsigned>(tableId));  // 8-bit precision
    for (int k = 0; k < 64; ++k) Put8(d, static_cast<unsigned>(quant[static_cast<std::size_t>(kZigzag[static_cast<std::size_t>(k)])]));
    return d;
}

Bytes HuffmanSegmentData(int tableClassAndId, const HuffmanSpec& typeSpec) {
    Bytes d;
    Put8(d, static_cast<unsigned>(tableClassAndId));
    for (std::uint8_t c : typeSpec.counts) Put8(d, c);
    PutBytes(d, typeSpec.values);
    return d;
}

// The entropy-coded scan of the picture, YCbCr 4:2:0 in 16x16 MCUs.
Bytes EncodeScan(const Picture& picture, const std::array<int, 64>& lumaQuant, const std::array<int, 64>& chromaQuant) {
    const HuffmanCodes dcY = MakeCodes(kDcLuminance), acY = MakeCodes(kAcLuminance);
    const HuffmanCodes dcC = MakeCodes(kDcChrominance), acC = MakeCodes(kAcChrominance);
    Bytes out;
    BitWriter bits(out);
    int dcLuma = 0, dcCb = 0, dcCr = 0;
    const int mcusX = (picture.width() + 15) / 16, mcusY = (picture.height() + 15) / 16;
    for (int my = 0; my < mcusY; ++my) {
        for (int mx = 0; mx < mcusX; ++mx) {
            std::array<int, 256> y {}, cb {}, cr {};
            for (int py = 0; py < 16; ++py)
                for (int px = 0; px < 16; ++px) {
                    const Rgb p = picture.At(mx * 16 + px, my * 16 + py);
                    const std::size_t i = static_cast<std::size_t>(py * 16 + px);
                    // ITU-R BT.601 weights in 16.16 fixed point.
                    y[i] = (19595 * p.r + 38470 * p.g + 7471 * p.b + 32768) >> 16;
                    cb[i] = ((-11056 * p.r - 21712 * p.g + 32768 * p.b + 32768) >> 16) + 128;
                    cr[i] = ((32768 * p.r - 27440 * p.g - 5328 * p.b + 32768) >> 16) + 128;
                }
            for (int block = 0; block < 4; ++block) {
                std::array<int, 64> s {};
                const int ox = (block & 1) * 8, oy = (block >> 1) * 8;
                for (int r = 0; r < 8; ++r)
                    for (int c = 0; c < 8; ++c) s[static_cast<std::size_t>(r * 8 + c)] = y[static_cast<std::size_t>((oy + r) * 16 + ox + c)] - 128;
                EncodeBlock(s, lumaQuant, dcY, acY, dcLuma, bits);
            }
            for (int component = 0; component < 2; ++component) {
                const auto& plane = component == 0 ? cb : cr;
                std::array<int, 64> s {};
                for (int r = 0; r < 8; ++r)
                    for (int c = 0; c < 8; ++c) {
                        const auto at = [&](int rr, int cc) { return plane[static_cast<std::size_t>(rr * 16 + cc)]; };
                        const int sum = at(2 * r, 2 * c) + at(2 * r, 2 * c + 1) + at(2 * r + 1, 2 * c) + at(2 * r + 1, 2 * c + 1);
                        s[static_cast<std::size_t>(r * 8 + c)] = (sum + 2) / 4 - 128;
                    }
                EncodeBlock(s, chromaQuant, dcC, acC, component == 0 ? dcCb : dcCr, bits);
            }
        }
    }
    bits.Finish();
    return out;
}

// ------------------------------------------------------- Exif (TIFF) --

struct IfdEntry {
    std::uint16_t tag;
    std::uint16_t type;  // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 7 UNDEFINED
    std::uint32_t count;
    Bytes value;         // little-endian value bytes
};

IfdEntry Ascii(std::uint16_t tag, std::string_view text) {
    Bytes v(text.begin(), text.end());
    v.push_back(0);
    return {tag, 2, static_cast<std::uint32_t>(v.size()), v};
}
IfdEntry Short(std::uint16_t tag, unsigned value) {
    Bytes v;
    PutLe16(v, value);
    return {tag, 3, 1, v};
}
IfdEntry Long(std::uint16_t tag, std::uint32_t value) {
    Bytes v;
    PutLe32(v, value);
    return {tag, 4, 1, v};
}
IfdEntry Rational(std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator) {
    Bytes v;
    PutLe32(v, numerator);
    PutLe32(v, denominator);
    return {tag, 5, 1, v};
}

std::size_t IfdSize(const std::vector<IfdEntry>& entries) {
    std::size_t size = 2 + entries.size() * 12 + 4;
    for (const IfdEntry& e : entries)
        if (e.value.size() > 4) size += (e.value.size() + 1) & ~std::size_t {1};
    return size;
}

// Writes an IFD at TIFF offset `at` (= tiff.size()), its long values right after it.
void PutIfd(Bytes& tiff, const std::vector<IfdEntry>& entries, std::uint32_t nextIfd) {
    const std::size_t at = tiff.size();
    std::size_t data = at + 2 + entries.size() * 12 + 4;
    Bytes tail;
    PutLe16(tiff, static_cast<unsigned>(entries.size()));
    for (const IfdEntry& e : entries) {
        PutLe16(tiff, e.tag);
        PutLe16(tiff, e.type);
        PutLe32(tiff, e.count);
        if (e.value.size() <= 4) {
            Bytes v = e.value;
            v.resize(4, 0);
            PutBytes(tiff, v);
        } else {
            PutLe32(tiff, static_cast<std::uint32_t>(data + tail.size()));
            PutBytes(tail, e.value);
            if (tail.size() % 2) tail.push_back(0);
        }
    }
    PutLe32(tiff, nextIfd);
    PutBytes(tiff, tail);
}

Bytes ExifSegmentData(const JpegSampleOptions& options, const Bytes& thumbnail) {
    const std::string_view date = "2014:09:23 10:15:42";
    std::vector<IfdEntry> ifd0 = {Ascii(0x010F, "Generic"),  Ascii(0x0110, "Phone Camera"), Short(0x0112, 1),
                                  Rational(0x011A, 72, 1),   Rational(0x011B, 72, 1),        Short(0x0128, 2),
                                  Ascii(0x0132, date),       Long(0x8769, 0)};
    std::vector<IfdEntry> exif = {{0x9000, 7, 4, {'0', '2', '2', '0'}},
                                  Ascii(0x9003, date),
                                  Long(0xA002, static_cast<std::uint32_t>(options.width)),
                                  Long(0xA003, static_cast<std::uint32_t>(options.height))};
    std::vector<IfdEntry> ifd1 = {Short(0x0103, 6), Long(0x0201, 0),
                                  Long(0x0202, static_cast<std::uint32_t>(thumbnail.size()))};

    const std::uint32_t ifd0At = 8;
    const auto exifAt = static_cast<std::uint32_t>(ifd0At + IfdSize(ifd0));
    const auto ifd1At = static_cast<std::uint32_t>(exifAt + IfdSize(exif));
    const auto thumbnailAt = static_cast<std::uint32_t>(ifd1At + IfdSize(ifd1));
    ifd0.back() = Long(0x8769, exifAt);
    ifd1[1] = Long(0x0201, thumbnailAt);

    Bytes d;
    PutText(d, std::string_view("Exif\0\0", 6));
    Bytes tiff;
    PutText(tiff, "II");
    PutLe16(tiff, 42);
    PutLe32(tiff, ifd0At);
    PutIfd(tiff, ifd0, thumbnail.empty() ? 0 : ifd1At);
    PutIfd(tiff, exif, 0);
    if (!thumbnail.empty()) {
        PutIfd(tiff, ifd1, 0);
        PutBytes(tiff, thumbnail);
    }
    PutBytes(d, tiff);
    return d;
}

Bytes JfifSegmentData() {
    Bytes d;
    PutText(d, std::string_view("JFIF\0", 5));
    PutBe16(d, 0x0101);  // version 1.01
    Put8(d, 1);          // densities in dots per inch
    PutBe16(d, 72);
    PutBe16(d, 72);
    Put8(d, 0);  // no thumbnail
    Put8(d, 0);
    return d;
}

// COM segments of exactly `size` bytes (at least 4).
Bytes CommentPadding(std::size_t size) {
    Bytes out;
    const std::string_view text = "sample picture ";
    while (size >= 4) {
        std::size_t take = std::min<std::size_t>(size, 65537);
        if (size - take > 0 && size - take < 4) take = size - 4;
        Bytes d;
        for (std::size_t i = 0; i + 4 < take; ++i) d.push_back(static_cast<std::uint8_t>(text[i % text.size()]));
        PutSegment(out, 0xFE, d);
        size -= take;
    }
    return out;
}

Bytes EncodeJpeg(const JpegSampleOptions& options, const Bytes& appSegment, std::size_t paddingTarget) {
    const Picture picture(std::max(options.width, 1), std::max(options.height, 1), options.seed);
    const auto lumaQuant = ScaledQuant(kLuminanceQuant, options.quality);
    const auto chromaQuant = ScaledQuant(kChrominanceQuant, options.quality);

    Bytes head;  // SOI and the application segment
    Put8(head, 0xFF);
    Put8(head, 0xD8);
    PutBytes(head, appSegment);

    Bytes body;  // tables, frame, scan
    if (options.quantisationTables) {
        if (options.fillByteBeforeTables) Put8(body, 0xFF);
        PutSegment(body, 0xDB, QuantSegmentData(0, lumaQuant));
        PutSegment(body, 0xDB, QuantSegmentData(1, chromaQuant));
    }
    Bytes frame;
    Put8(frame, 8);
    PutBe16(frame, static_cast<unsigned>(picture.height()));
    PutBe16(frame, static_cast<unsigned>(picture.width()));
    Put8(frame, 3);
    for (unsigned id = 1; id <= 3; ++id) {
        Put8(frame, id);
        Put8(frame, id == 1 ? 0x22 : 0x11);  // 4:2:0 sampling
        Put8(frame, id == 1 ? 0 : 1);        // quantisation table
    }
    PutSegment(body, 0xC0, frame);
    if (options.huffmanTables) {
        PutSegment(body, 0xC4, HuffmanSegmentData(0x00, kDcLuminance));
        PutSegment(body, 0xC4, HuffmanSegmentData(0x10, kAcLuminance));
        PutSegment(body, 0xC4, HuffmanSegmentData(0x01, kDcChrominance));
        PutSegment(body, 0xC4, HuffmanSegmentData(0x11, kAcChrominance));
    }
    Bytes scan;
    Put8(scan, 3);
    for (unsigned id = 1; id <= 3; ++id) {
        Put8(scan, id);
        Put8(scan, id == 1 ? 0x00 : 0x11);  // DC and AC tables
    }
    Put8(scan, 0);
    Put8(scan, 63);
    Put8(scan, 0);
    PutSegment(body, 0xDA, scan);
    PutBytes(body, EncodeScan(picture, lumaQuant, chromaQuant));

    const std::size_t natural = head.size() + body.size() + (options.endMarker ? 2 : 0);
    std::size_t missing = paddingTarget > natural ? paddingTarget - natural : 0;
    Bytes out = head;
    if (missing >= 4) {
        PutBytes(out, CommentPadding(missing));
        missing = 0;
    }
    PutBytes(out, body);
    for (; missing > 0; --missing) Put8(out, 0xFF);  // fill bytes before the end marker
    if (options.endMarker) {
        Put8(out, 0xFF);
        Put8(out, 0xD9);
    }
    return out;
}

// ----------------------------------------------------------------- GIF --

// The 256-entry palette: a 6x6x6 colour cube followed by greys.
Bytes GifPalette() {
    Bytes p;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                Put8(p, static_cast<unsigned>(r * 51));
                Put8(p, static_cast<unsigned>(g * 51));
                Put8(p, static_cast<unsigned>(b * 51));
            }
    for (int i = 216; i < 256; ++i) {
        const unsigned grey = static_cast<unsigned>((i - 216) * 6 + 8);
        for (int c = 0; c < 3; ++c) Put8(p, grey);
    }
    return p;
}

std::uint8_t CubeIndex(Rgb p) {
    const auto level = [](std::uint8_t v) { return (v + 25) / 51; };
    return static_cast<std::uint8_t>(level(p.r) * 36 + level(p.g) * 6 + level(p.b));
}

// LZW-coded indices with a minimum code size of 8, codes packed LSB first.
Bytes LzwEncode(const std::vector<std::uint8_t>& indices) {
    constexpr int kMinCodeSize = 8;
    constexpr int kClear = 1 << kMinCodeSize;
    constexpr int kEnd = kClear + 1;
    constexpr int kMaxCode = 4096;
    Bytes out;
    std::uint32_t acc = 0;
    int used = 0;
    int next = kClear + 2;
    // The decoder adds its entries one code later than the encoder, so a
    // code is written with the width the decoder has reached by then.
    const auto width = [&]() {
        int n = 0;
        for (int v = next - 1; v != 0; v >>= 1) ++n;
        return std::clamp(n, kMinCodeSize + 1, 12);
    };
    const auto emit = [&](int code) {
        acc |= static_cast<std::uint32_t>(code) << used;
        used += width();
        while (used >= 8) {
            out.push_back(static_cast<std::uint8_t>(acc & 0xFF));
            acc >>= 8;
            used -= 8;
        }
    };
    std::map<std::pair<int, int>, int> table;
    emit(kClear);
    bool firstAfterClear = true;
    if (!indices.empty()) {
        int prefix = indices[0];
        for (std::size_t i = 1; i < indices.size(); ++i) {
            const int k = indices[i];
            const auto it = table.find({prefix, k});
            if (it != table.end()) {
                prefix = it->second;
                continue;
            }
            emit(prefix);
            firstAfterClear = false;
            table[{prefix, k}] = next++;
            if (next == kMaxCode) {
                emit(kClear);
                firstAfterClear = true;
                table.clear();
                next = kClear + 2;
            }
            prefix = k;
        }
        emit(prefix);
        // The decoder adds an entry for the last code unless it followed a clear.
        if (!firstAfterClear && next < kMaxCode) ++next;
    }
    emit(kEnd);
    if (used > 0) out.push_back(static_cast<std::uint8_t>(acc & 0xFF));
    return out;
}

// Data cut into `blocks` sub-blocks of nearly equal length, then the 00 terminator.
Bytes SubBlocks(const Bytes& data, std::size_t blocks) {
    Bytes out;
    std::size_t at = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t len = (data.size() - at) / (blocks - b);
        Put8(out, static_cast<unsigned>(len));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + len));
        at += len;
    }
    Put8(out, 0);
    return out;
}

std::size_t MinimumBlocks(std::size_t bytes) { return bytes == 0 ? 0 : (bytes + 254) / 255; }

// A comment extension of exactly `size` bytes (3, or 5 and more).
Bytes CommentExtension(std::size_t size) {
    Bytes out;
    Put8(out, 0x21);
    Put8(out, 0xFE);
    if (size <= 3) {
        Put8(out, 0);
        return out;
    }
    const std::size_t blocks = (size - 3 + 255) / 256;
    const std::string_view text = "Sample animation frame. ";
    Bytes data;
    for (std::size_t i = 0; i < size - 3 - blocks; ++i) data.push_back(static_cast<std::uint8_t>(text[i % text.size()]));
    PutBytes(out, SubBlocks(data, blocks));
    return out;
}

Bytes AssembleGif(const GifSampleOptions& options, std::uint32_t salt) {
    const int width = std::max(options.width, 1), height = std::max(options.height, 1);
    const int frames = std::max(options.frames, 1);
    std::vector<Bytes> frameData;
    for (int f = 0; f < frames; ++f) {
        const Picture picture(width, height, options.seed * 131u + static_cast<std::uint32_t>(f) * 7u + salt * 7919u);
        std::vector<std::uint8_t> indices;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) indices.push_back(CubeIndex(picture.At(x, y)));
        frameData.push_back(LzwEncode(indices));
    }

    Bytes head;
    PutText(head, options.gif89a ? "GIF89a" : "GIF87a");
    PutLe16(head, static_cast<unsigned>(width));
    PutLe16(head, static_cast<unsigned>(height));
    Put8(head, 0xF7);  // global table of 256 colours, 8 bits per primary
    Put8(head, 0);     // background colour
    Put8(head, 0);     // no aspect ratio
    PutBytes(head, GifPalette());
    if (options.gif89a && frames > 1) {
        Put8(head, 0x21);
        Put8(head, 0xFF);
        Put8(head, 11);
        PutText(head, "NETSCAPE2.0");
        Put8(head, 3);
        Put8(head, 1);
        PutLe16(head, 0);  // loop forever
        Put8(head, 0);
    }

    std::size_t natural = head.size() + (options.trailer ? 1 : 0);
    std::size_t splittable = 0;
    for (const Bytes& d : frameData) {
        natural += (options.gif89a ? 8 : 0) + 10 + 1 + d.size() + MinimumBlocks(d.size()) + 1;
        splittable += d.size() - MinimumBlocks(d.size());
    }
    std::size_t missing = options.totalSize > natural ? options.totalSize - natural : 0;
    Bytes out = head;
    if (options.gif89a && missing >= 3 && missing != 4) {
        PutBytes(out, CommentExtension(missing));
        missing = 0;
    } else if (options.gif89a && missing == 4) {
        PutBytes(out, CommentExtension(3));
        missing = 1;
    }
    missing = std::min(missing, splittable);
    for (int f = 0; f < frames; ++f) {
        const Bytes& d = frameData[static_cast<std::size_t>(f)];
        if (options.gif89a) {  // graphic control extension: 0.1 s per frame
            Put8(out, 0x21);
            Put8(out, 0xF9);
            Put8(out, 4);
            Put8(out, 0x04);  // dispose: leave in place
            PutLe16(out, frames > 1 ? 10 : 0);
            Put8(out, 0);
            Put8(out, 0);
        }
        Put8(out, 0x2C);
        PutLe16(out, 0);
        PutLe16(out, 0);
        PutLe16(out, static_cast<unsigned>(width));
        PutLe16(out, static_cast<unsigned>(height));
        Put8(out, 0);  // no local table, not interlaced
        Put8(out, 8);  // LZW minimum code size
        const std::size_t extra = std::min(missing, d.size() - MinimumBlocks(d.size()));
        missing -= extra;
        PutBytes(out, SubBlocks(d, MinimumBlocks(d.size()) + extra));
    }
    if (options.trailer) Put8(out, 0x3B);
    return out;
}

bool HasEarlyTrailerPair(const Bytes& gif) {
    for (std::size_t i = 6; i + 3 < gif.size(); ++i)
        if (gif[i] == 0x00 && gif[i + 1] == 0x3B) return true;
    return false;
}

// ----------------------------------------------------------------- PNG --

void PutPngChunk(Bytes& out, std::string_view type, const Bytes& data) {
    PutBe32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    PutText(out, type);
    PutBytes(out, data);
    PutBe32(out, Crc32(out.data() + typeAt, out.size() - typeAt));
}

// A zlib stream of stored deflate blocks.
Bytes ZlibStored(const Bytes& raw) {
    Bytes out = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t len = std::min<std::size_t>(raw.size() - at, 65535);
        const bool last = at + len == raw.size();
        Put8(out, last ? 1 : 0);
        PutLe16(out, static_cast<unsigned>(len));
        PutLe16(out, static_cast<unsigned>(~len & 0xFFFF));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + len));
        at += len;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    PutBe32(out, (b << 16) | a);
    return out;
}

}  // namespace

std::vector<std::uint8_t> BuildJpeg(const JpegSampleOptions& options) {
    Bytes app;
    if (options.app == JpegApp::Jfif) {
        PutSegment(app, 0xE0, JfifSegmentData());
    } else if (options.app == JpegApp::Exif) {
        Bytes thumbnail;
        if (options.exifThumbnail) {
            JpegSampleOptions small;
            small.app = JpegApp::None;
            small.width = 16;
            small.height = 12;
            small.quality = 70;
            small.seed = options.seed;
            thumbnail = EncodeJpeg(small, {}, 0);
        }
        PutSegment(app, 0xE1, ExifSegmentData(options, thumbnail));
    }
    for (const Bytes& segment : options.extraSegments) app.insert(app.end(), segment.begin(), segment.end());
    return EncodeJpeg(options, app, options.totalSize);
}

std::vector<std::uint8_t> BuildGif(const GifSampleOptions& options) {
    // Picture data that happens to hold 00 3B before the end would end the
    // file early for a reader that looks for the trailer; another variant of
    // the picture is taken then.
    Bytes gif;
    for (std::uint32_t salt = 0; salt < 256; ++salt) {
        gif = AssembleGif(options, salt);
        if (HasEarlyTrailerPair(gif) == options.earlyTrailerPair) break;
    }
    return gif;
}

std::vector<std::uint8_t> BuildBmp(const BmpSampleOptions& options) {
    const int width = std::max(options.width, 1);
    const int rows = std::max(options.height < 0 ? -options.height : options.height, 1);
    const int bpp = options.bitsPerPixel == 8 || options.bitsPerPixel == 32 ? options.bitsPerPixel : 24;
    const std::uint32_t infoSize = options.infoHeaderSize == 108 || options.infoHeaderSize == 124 ? options.infoHeaderSize : 40;
    const std::uint32_t paletteSize = bpp == 8 ? 256 * 4 : 0;
    const std::uint32_t stride = static_cast<std::uint32_t>((width * bpp + 31) / 32 * 4);
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(rows);
    const std::uint32_t pixelOffset = 14 + infoSize + paletteSize;
    const std::uint32_t fileSize = pixelOffset + imageSize;

    Bytes out;
    PutText(out, "BM");
    PutLe32(out, options.fileSizeField.value_or(fileSize));
    PutLe32(out, 0);
    PutLe32(out, pixelOffset);
    PutLe32(out, infoSize);
    PutLe32(out, static_cast<std::uint32_t>(width));
    PutLe32(out, static_cast<std::uint32_t>(options.height < 0 ? -rows : rows));
    PutLe16(out, 1);
    PutLe16(out, static_cast<unsigned>(bpp));
    PutLe32(out, 0);  // BI_RGB
    PutLe32(out, imageSize);
    PutLe32(out, 2835);  // 72 dpi
    PutLe32(out, 2835);
    PutLe32(out, bpp == 8 ? 256 : 0);
    PutLe32(out, 0);
    if (infoSize >= 108) {
        for (std::uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, bpp == 32 ? 0xFF000000u : 0u}) PutLe32(out, mask);
        PutLe32(out, 0x73524742);                   // colour space "sRGB"
        for (int i = 0; i < 12; ++i) PutLe32(out, 0);  // endpoints and gamma, unused for sRGB
    }
    if (infoSize == 124) {
        PutLe32(out, 4);  // rendering intent: pictures
        PutLe32(out, 0);
        PutLe32(out, 0);
        PutLe32(out, 0);
    }
    if (bpp == 8) {
        const Bytes palette = GifPalette();
        for (std::size_t i = 0; i < 256; ++i) {
            Put8(out, palette[i * 3 + 2]);
            Put8(out, palette[i * 3 + 1]);
            Put8(out, palette[i * 3]);
            Put8(out, 0);
        }
    }
    const Picture picture(width, rows, options.seed);
    for (int r = 0; r < rows; ++r) {
        const int y = options.height < 0 ? r : rows - 1 - r;  // bottom-up unless the height is negative
        const std::size_t rowStart = out.size();
        for (int x = 0; x < width; ++x) {
            const Rgb p = picture.At(x, y);
            if (bpp == 8) {
                Put8(out, CubeIndex(p));
            } else {
                Put8(out, p.b);
                Put8(out, p.g);
                Put8(out, p.r);
                if (bpp == 32) Put8(out, 0xFF);
            }
        }
        out.resize(rowStart + stride, 0);
    }
    return out;
}

std::vector<std::uint8_t> BuildPng(const PngSampleOptions& options) {
    const std::uint32_t width = std::max<std::uint32_t>(options.width, 1);
    const std::uint32_t height = std::max<std::uint32_t>(options.height, 1);
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

    Bytes ihdr;
    PutBe32(ihdr, width);
    PutBe32(ihdr, height);
    Put8(ihdr, 8);  // bit depth
    Put8(ihdr, 2);  // RGB
    Put8(ihdr, 0);
    Put8(ihdr, 0);
    Put8(ihdr, 0);
    PutPngChunk(out, "IHDR", ihdr);

    Bytes phys;
    PutBe32(phys, 2835);
    PutBe32(phys, 2835);
    Put8(phys, 1);  // per metre
    PutPngChunk(out, "pHYs", phys);
    if (options.textChunk) {
        Bytes text;
        PutText(text, std::string_view("Software\0Quillbrook sample card", 31));
        PutPngChunk(out, "tEXt", text);
    }

    // Rows with filter "Sub" on odd rows, "None" on even ones.
    const Picture picture(static_cast<int>(width), static_cast<int>(height), options.seed);
    Bytes raw;
    for (std::uint32_t y = 0; y < height; ++y) {
        const bool sub = (y % 2) == 1;
        Put8(raw, sub ? 1 : 0);
        Rgb left {0, 0, 0};
        for (std::uint32_t x = 0; x < width; ++x) {
            const Rgb p = picture.At(static_cast<int>(x), static_cast<int>(y));
            if (sub) {
                Put8(raw, static_cast<std::uint8_t>(p.r - left.r));
                Put8(raw, static_cast<std::uint8_t>(p.g - left.g));
                Put8(raw, static_cast<std::uint8_t>(p.b - left.b));
            } else {
                Put8(raw, p.r);
                Put8(raw, p.g);
                Put8(raw, p.b);
            }
            left = p;
        }
    }
    const Bytes stream = ZlibStored(raw);
    const std::size_t piece = std::max<std::size_t>(options.idatChunkSize, 1);
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        const std::size_t len = std::min(piece, stream.size() - at);
        PutPngChunk(out, "IDAT", Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at),
                                       stream.begin() + static_cast<std::ptrdiff_t>(at + len)));
    }
    if (options.iend) PutPngChunk(out, "IEND", {});
    return out;
}

}  // namespace qb::tools

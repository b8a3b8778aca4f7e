// Picture samples. Every builder draws a small deterministic picture and
// encodes it with the libraries ordinary software uses, so the files open in
// any viewer: libjpeg codes the JPEG scan, giflib the GIF image data and
// zlib the PNG image data. The builders lay out the segments, blocks and
// chunks around the coded data themselves, since the variants and defects
// the tests need are not ones a library writes.
#include "tools/sample_card/image_samples.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE declared before it
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include <gif_lib.h>
#include <jpeglib.h>

#include "tools/sample_card/byte_writer.h"
#include "tools/sample_card/compression.h"

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

// libjpeg reports a fault through error_exit, which must not return; it
// jumps back to the coder, which turns it into an exception once libjpeg's
// frames are gone.
struct JpegFault {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
    auto* fault = reinterpret_cast<JpegFault*>(info->err);
    info->err->format_message(info, fault->message);
    std::longjmp(fault->back, 1);
}

// The picture as libjpeg writes it by default: a baseline JPEG, YCbCr 4:2:0,
// the standard tables scaled to `quality`, the accurate integer DCT.
// Returns SOI, DQT, SOF0, DHT, SOS, the scan and EOI, nothing else.
Bytes LibjpegEncode(const Picture& picture, int quality) {
    std::vector<JSAMPLE> rgb;
    rgb.reserve(static_cast<std::size_t>(picture.width()) * static_cast<std::size_t>(picture.height()) * 3);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const Rgb p = picture.At(x, y);
            rgb.insert(rgb.end(), {p.r, p.g, p.b});
        }

    jpeg_compress_struct info {};
    JpegFault fault {};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    info.err = jpeg_std_error(&fault.manager);
    fault.manager.error_exit = JpegErrorExit;
    if (setjmp(fault.back) != 0) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw std::runtime_error(std::string("libjpeg: ") + fault.message);
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(picture.width());
    info.image_height = static_cast<JDIMENSION>(picture.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    info.write_JFIF_header = FALSE;  // the builder writes the application segment
    jpeg_start_compress(&info, TRUE);
    const auto stride = static_cast<std::size_t>(picture.width()) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = rgb.data() + info.next_scanline * stride;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

// A coded JPEG taken apart: its marker segments before the scan, by marker,
// and the SOS segment with the entropy-coded data after it.
struct JpegParts {
    std::vector<std::pair<std::uint8_t, Bytes>> segments;  // marker, whole segment
    Bytes scan;
};

JpegParts SplitJpeg(const Bytes& jpeg) {
    JpegParts parts;
    std::size_t at = 2;  // after SOI
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xDA) {
            parts.scan.assign(jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end() - 2);  // up to EOI
            return parts;
        }
        const std::size_t length = static_cast<std::size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size()) break;
        parts.segments.emplace_back(marker, Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                                                  jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length)));
        at += 2 + length;
    }
    throw std::runtime_error("libjpeg wrote a JPEG without a scan");
}

void PutSegment(Bytes& out, std::uint8_t marker, const Bytes& data) {
    Put8(out, 0xFF);
    Put8(out, marker);
    PutBe16(out, static_cast<unsigned>(data.size() + 2));
    PutBytes(out, data);
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
    const JpegParts coded = SplitJpeg(LibjpegEncode(picture, options.quality));

    Bytes head;  // SOI and the application segment
    Put8(head, 0xFF);
    Put8(head, 0xD8);
    PutBytes(head, appSegment);

    Bytes body;  // tables, frame, scan
    bool firstTable = true;
    for (const auto& [marker, segment] : coded.segments) {
        if (marker == 0xDB && !options.quantisationTables) continue;
        if (marker == 0xC4 && !options.huffmanTables) continue;
        if (marker == 0xDB && firstTable && options.fillByteBeforeTables) Put8(body, 0xFF);
        if (marker == 0xDB) firstTable = false;
        PutBytes(body, segment);
    }
    PutBytes(body, coded.scan);

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

int GifWrite(GifFileType* file, const GifByteType* data, int length) {
    auto* out = static_cast<Bytes*>(file->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// LZW-coded indices with a minimum code size of 8, as giflib codes them: the
// image data of a one-frame GIF giflib writes, its sub-blocks joined.
Bytes LzwEncode(int width, int height, std::vector<std::uint8_t> indices) {
    Bytes gif;
    int error = 0;
    GifFileType* file = EGifOpen(&gif, GifWrite, &error);
    if (file == nullptr) throw std::runtime_error(std::string("giflib: ") + GifErrorString(error));
    std::vector<GifColorType> colours(256);
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    bool written = map != nullptr &&
                   EGifPutScreenDesc(file, width, height, 8, 0, map) == GIF_OK &&
                   EGifPutImageDesc(file, 0, 0, width, height, false, nullptr) == GIF_OK &&
                   EGifPutLine(file, indices.data(), width * height) == GIF_OK;
    GifFreeMapObject(map);
    written = EGifCloseFile(file, &error) == GIF_OK && written;
    // Header, screen descriptor, 768 bytes of colour table, image
    // descriptor, code size, then the sub-blocks.
    constexpr std::size_t kImageData = 6 + 7 + 768 + 10 + 1;
    if (!written || gif.size() <= kImageData || gif[kImageData - 11] != 0x2C || gif[kImageData - 1] != 8)
        throw std::runtime_error("giflib did not write the image data");
    Bytes lzw;
    for (std::size_t at = kImageData; at < gif.size() && gif[at] != 0; at += 1 + gif[at]) {
        if (at + 1 + gif[at] > gif.size()) throw std::runtime_error("giflib wrote a cut sub-block");
        lzw.insert(lzw.end(), gif.begin() + static_cast<std::ptrdiff_t>(at + 1),
                   gif.begin() + static_cast<std::ptrdiff_t>(at + 1 + gif[at]));
    }
    return lzw;
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
        frameData.push_back(LzwEncode(width, height, std::move(indices)));
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
    const Bytes stream = Deflate(raw, DeflateWrapping::Zlib);
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

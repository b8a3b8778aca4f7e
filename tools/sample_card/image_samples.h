// Picture samples for the sample card and the extractor tests: JPEG, GIF,
// BMP and PNG files laid out byte by byte around the coded picture data, deterministically, with the
// structure and field values real files have, and options for the variants
// and defects the tests need. Without a defect, every file opens in an
// ordinary viewer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qb::tools {

// The application segment that follows SOI.
enum class JpegApp {
    Jfif,  // APP0 "JFIF" (what editors and scanners write)
    Exif,  // APP1 "Exif" (what cameras and phones write)
    None,  // none: the quantisation tables follow SOI directly
};

struct JpegSampleOptions {
    JpegApp app = JpegApp::Jfif;
    int width = 64;
    int height = 48;
    int quality = 85;        // 1..100, scales the standard quantisation tables
    std::uint32_t seed = 1;  // picks the picture
    // Exif only: IFD1 with a small embedded JPEG thumbnail, which has its own
    // FF D8 ... FF D9 inside the APP1 segment.
    bool exifThumbnail = false;
    bool quantisationTables = true;    // DQT segments
    bool huffmanTables = true;         // DHT segments
    bool fillByteBeforeTables = false; // an FF fill byte before the first DQT marker
    bool endMarker = true;             // FF D9 at the end
    // When above the natural size, the file is grown to exactly this size: a
    // COM segment after the application segment, or for 1 to 3 bytes FF fill
    // bytes before the end marker.
    std::size_t totalSize = 0;
    // Whole marker segments (FF, code, length, data) placed right after the
    // application segment: an XMP packet, an MPF index.
    std::vector<std::vector<std::uint8_t>> extraSegments;
};

// A baseline (SOF0) JPEG, YCbCr 4:2:0, with the standard Huffman tables,
// coded by libjpeg.
std::vector<std::uint8_t> BuildJpeg(const JpegSampleOptions& options = {});

struct GifSampleOptions {
    bool gif89a = true;
    int width = 32;
    int height = 24;
    int frames = 1;          // above 1: an animation (GIF89a: looping, with a delay per frame)
    std::uint32_t seed = 1;  // picks the picture and the palette
    bool trailer = true;     // the 3B trailer byte at the end
    // A picture whose image data holds the pair 00 3B (a block end and a
    // sub-block of 59 bytes) before the trailer.
    bool earlyTrailerPair = false;
    // When above the natural size, the file is grown to exactly this size: a
    // comment extension (GIF89a) and image data cut into shorter sub-blocks.
    // The 00 3B pair appears only at the very end of the file.
    std::size_t totalSize = 0;
};

// A GIF with a global colour table and image data LZW-coded by giflib.
std::vector<std::uint8_t> BuildGif(const GifSampleOptions& options = {});

struct BmpSampleOptions {
    int width = 40;
    int height = 30;                    // negative: rows stored top-down
    int bitsPerPixel = 24;              // 8 (with a 256-colour palette), 24 or 32
    std::uint32_t infoHeaderSize = 40;  // 40 (BITMAPINFOHEADER), 108 (V4) or 124 (V5)
    std::uint32_t seed = 1;
    std::optional<std::uint32_t> fileSizeField;  // a different size stated in the file header
};

// An uncompressed Windows bitmap.
std::vector<std::uint8_t> BuildBmp(const BmpSampleOptions& options = {});

struct PngSampleOptions {
    std::uint32_t width = 32;
    std::uint32_t height = 24;
    std::uint32_t seed = 1;
    std::size_t idatChunkSize = 8192;  // the image data is split into IDAT chunks of at most this many bytes
    bool textChunk = true;             // a tEXt "Software" chunk before the image data
    bool iend = true;                  // the IEND chunk at the end
};

// An 8-bit RGB PNG; zlib compresses its image data.
std::vector<std::uint8_t> BuildPng(const PngSampleOptions& options = {});

}  // namespace qb::tools

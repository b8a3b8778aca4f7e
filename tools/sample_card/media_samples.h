// Video and audio samples for the sample card and the extractor tests: ASF
// (WMV), QuickTime, RIFF (WAVE, AVI) and MPEG program-stream files built
// byte by byte, deterministically, with the container structure and field
// values real files have, and options for the variants and defects the tests
// need. The media payload is made up (a tone, a picture, coded-looking
// bytes); the containers around it are exact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb::tools {

struct AsfSampleOptions {
    std::uint32_t packetCount = 8;
    std::uint32_t packetSize = 3200;  // every data packet has this size
    bool simpleIndex = true;          // a simple index object after the data object
    bool fileProperties = true;       // the file-properties object in the header
    // Defects: values written in place of the true ones.
    std::optional<std::uint64_t> headerSizeField;    // header object size
    std::optional<std::uint32_t> objectCountField;   // number of header objects
    std::optional<std::uint8_t> reservedByteField;   // reserved byte 1 of the header object (01)
    std::optional<std::uint64_t> fileSizeField;      // file size in the file-properties object
};

// A Windows Media Video file: header object (file properties, stream
// properties, header extension, codec list), data object, simple index.
std::vector<std::uint8_t> BuildAsf(const AsfSampleOptions& options = {});

struct QuickTimeSampleOptions {
    std::uint32_t mediaBytes = 4096;  // the contents of the mdat atom
    bool mediaData = true;            // the mdat atom
    bool wideAtom = true;             // a "wide" atom right before mdat
    std::uint32_t freeBytes = 0;      // a "free" atom of this size (header included) after moov; 0: none
    // A "pnot" preview atom and its "PICT" atom before the movie; the file
    // is then found at its "pnot" atom.
    bool preview = false;
    std::string trailingAtomType;       // an atom of this type after the media data; empty: none
    std::uint32_t trailingAtomBytes = 64;  // its size, header included
    std::optional<std::uint32_t> movieSizeField;  // the moov atom's size as written
};

// A classic QuickTime movie: "moov" first (movie header and one video
// track whose chunk offsets point into mdat), then the media data. The
// "moov" (or "pnot") type lies 4 bytes into the file, so a scan that looks
// for headers at block boundaries finds the file only when it starts 4 bytes
// before one.
std::vector<std::uint8_t> BuildQuickTime(const QuickTimeSampleOptions& options = {});

struct WavSampleOptions {
    std::uint32_t dataBytes = 8000;  // PCM sample bytes (rounded down to whole frames)
    std::uint32_t sampleRate = 8000;
    std::uint16_t channels = 1;
    std::uint16_t bitsPerSample = 16;
    bool infoList = false;                   // a LIST "INFO" chunk (title, software) after the data
    std::optional<std::uint32_t> sizeField;  // the RIFF chunk size as written
};

// A PCM WAVE file: "fmt " and "data" chunks holding a tone.
std::vector<std::uint8_t> BuildWav(const WavSampleOptions& options = {});

struct AviSampleOptions {
    std::uint32_t frames = 4;
    int width = 32;
    int height = 24;
    bool index = true;                       // the idx1 chunk
    bool infoList = true;                    // a LIST "INFO" chunk after hdrl
    std::optional<std::uint32_t> sizeField;  // the RIFF chunk size as written
};

// An AVI file with one uncompressed video stream: LIST hdrl (avih, LIST strl
// with strh and strf), LIST movi (00db frames), idx1.
std::vector<std::uint8_t> BuildAvi(const AviSampleOptions& options = {});

struct MpegSampleOptions {
    // MPEG-2 pack headers (14 bytes) instead of MPEG-1 ones (12 bytes); the
    // system header then does not begin at byte 12, and the carver's MPEG
    // check (a system header right after a 12-byte pack header) rejects it.
    bool mpeg2 = false;
    std::uint32_t packs = 16;
    std::uint32_t packetPayload = 2000;  // elementary-stream bytes per video packet
    bool audio = true;                   // an audio packet in every other pack
    bool systemHeader = true;            // the system header in the first pack
    bool endCode = true;                 // 00 00 01 B9 at the end
};

// A program stream: packs (pack header, system header in the first one,
// video and audio packets), then the end code. The video packets carry an
// MPEG-1 (or MPEG-2) video elementary stream: sequence header, GOP,
// pictures and slices.
std::vector<std::uint8_t> BuildMpeg(const MpegSampleOptions& options = {});

}  // namespace qb::tools

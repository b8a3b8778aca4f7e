// Samples of what a phone holds today, for the sample card and the
// extractor tests: ISO media files (MP4 and MOV videos, M4A sound, HEIC
// pictures), WebP pictures, MP3 music, Ogg Opus voice notes, SQLite
// databases, AMR speech, FLAC music, Matroska and WebM videos, RAR 5
// archives, motion photos and Ultra HDR photos. Built byte by byte,
// deterministically, with the container structures, checksums and field
// values real files have; the media payload is made up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qb::tools {

struct IsoMediaSampleOptions {
    std::string brand = "isom";      // the major brand ("mp42", "qt  ", "3gp4", "M4A ", "heic", ...)
    std::uint32_t mediaBytes = 8192;  // the contents of the media data box
    bool mediaFirst = true;           // "mdat" before "moov" (as a camera writes it)
    bool largeSize = false;           // "mdat" with a 64-bit size
    bool freeBox = true;              // a "free" box after "ftyp"
    bool picture = false;             // a HEIF picture: "meta" (items) instead of "moov"
    std::uint32_t seed = 1;
};
// ftyp, then the movie (or the picture's items) and the media data in the
// order asked for.
std::vector<std::uint8_t> BuildIsoMedia(const IsoMediaSampleOptions& options = {});

enum class WebpKind { Lossy, Lossless, Animated };
struct WebpSampleOptions {
    WebpKind kind = WebpKind::Lossy;
    std::uint32_t dataBytes = 3000;  // coded bytes of each image
    int frames = 3;                   // Animated: frames
    std::uint32_t seed = 1;
};
std::vector<std::uint8_t> BuildWebp(const WebpSampleOptions& options = {});

struct Mp3SampleOptions {
    std::uint32_t frames = 40;  // MPEG-1 layer III, 128 kbit/s, 44.1 kHz
    bool id3v2 = true;          // an ID3v2.3 tag first (title, artist)
    bool id3v1 = false;         // a 128-byte ID3v1 tag last
    std::uint32_t seed = 1;
};
std::vector<std::uint8_t> BuildMp3(const Mp3SampleOptions& options = {});

struct OggSampleOptions {
    std::uint32_t audioPages = 6;
    std::uint32_t packetsPerPage = 12;  // 20 ms Opus packets
    std::uint32_t packetBytes = 60;
    bool endOfStream = true;  // the last page carries the end-of-stream flag
    std::uint32_t serial = 0x5EED0001;
    std::uint32_t seed = 1;
};
// An Opus voice note: OpusHead and OpusTags pages, then audio pages.
std::vector<std::uint8_t> BuildOggOpus(const OggSampleOptions& options = {});

struct SqliteSampleOptions {
    std::uint32_t pageSize = 4096;
    std::uint32_t pages = 4;  // page 1 (the empty schema) and free pages
    std::uint32_t seed = 1;
};
// A database whose header states its size; the pages after the first are
// on the free list and hold left-over bytes.
std::vector<std::uint8_t> BuildSqlite(const SqliteSampleOptions& options = {});

struct AmrSampleOptions {
    std::uint32_t frames = 150;  // 20 ms each, 12.2 kbit/s
    bool wideBand = false;
    std::uint32_t seed = 1;
};
std::vector<std::uint8_t> BuildAmr(const AmrSampleOptions& options = {});

struct FlacSampleOptions {
    std::uint32_t frames = 12;      // 1152-sample frames, mono, 16 bits
    std::uint32_t lastBlock = 500;  // samples of the shorter last frame
    std::uint32_t seed = 1;
};
// Frames of verbatim subframes, with their CRC-8 and CRC-16.
std::vector<std::uint8_t> BuildFlac(const FlacSampleOptions& options = {});

struct MatroskaSampleOptions {
    bool webm = true;
    std::uint32_t clusters = 3;
    std::uint32_t blocksPerCluster = 8;
    std::uint32_t blockBytes = 700;
    bool unknownSizes = false;  // written live: Segment and Clusters of unknown size
    std::uint32_t seed = 1;
};
std::vector<std::uint8_t> BuildMatroska(const MatroskaSampleOptions& options = {});

struct Rar5SampleOptions {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;  // stored
    bool endBlock = true;
};
std::vector<std::uint8_t> BuildRar5(const Rar5SampleOptions& options);
Rar5SampleOptions PlainRar5Entries(std::uint32_t seed);

struct MotionPhotoSampleOptions {
    std::uint32_t videoBytes = 20000;  // the appended video's media data
    bool microVideo = false;           // the older GCamera:MicroVideoOffset form
    std::uint32_t seed = 1;
};
// A JPEG whose XMP container directory names the MP4 appended after it.
std::vector<std::uint8_t> BuildMotionPhoto(const MotionPhotoSampleOptions& options = {});

// A JPEG with an MPF index and an XMP directory naming the gain-map JPEG
// appended after it.
std::vector<std::uint8_t> BuildUltraHdr(std::uint32_t seed = 1);

}  // namespace qb::tools

// Video and audio samples: exact containers around made-up media payload.
#include "tools/sample_card/media_samples.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "tools/sample_card/byte_writer.h"

namespace qb::tools {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Coded-looking bytes: never 00, so they hold no start code.
Bytes CodedBytes(std::size_t n, std::uint32_t seed) {
    Bytes out;
    out.reserve(n);
    std::uint32_t s = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<std::uint8_t>(XorShift32(s) >> 11);
        out.push_back(b == 0 ? 0x5A : b);
    }
    return out;
}

// One uncompressed 24-bit frame, rows bottom-up and padded to 4 bytes: a
// gradient that moves with the frame number.
Bytes RgbFrame(int width, int height, std::uint32_t frame) {
    const std::size_t stride = static_cast<std::size_t>((width * 3 + 3) / 4 * 4);
    Bytes out;
    for (int row = height - 1; row >= 0; --row) {
        const std::size_t start = out.size();
        for (int x = 0; x < width; ++x) {
            Put8(out, static_cast<unsigned>(200 - row * 4) & 0xFF);               // blue
            Put8(out, static_cast<unsigned>(x * 6 + frame * 16) & 0xFF);          // green
            Put8(out, static_cast<unsigned>(row * 8 + x * 2 + frame * 4) & 0xFF); // red
        }
        out.resize(start + stride, 0);
    }
    return out;
}

// ----------------------------------------------------------------- ASF --

using Guid = std::array<std::uint8_t, 16>;

// A GUID in its textual form's fields, stored the way ASF stores them
// (first three fields little-endian).
Guid MakeGuid(std::uint32_t d1, std::uint16_t d2, std::uint16_t d3, std::uint64_t d4) {
    Guid g {};
    for (int i = 0; i < 4; ++i) g[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(d1 >> (8 * i));
    for (int i = 0; i < 2; ++i) g[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(d2 >> (8 * i));
    for (int i = 0; i < 2; ++i) g[static_cast<std::size_t>(6 + i)] = static_cast<std::uint8_t>(d3 >> (8 * i));
    for (int i = 0; i < 8; ++i) g[static_cast<std::size_t>(8 + i)] = static_cast<std::uint8_t>(d4 >> (8 * (7 - i)));
    return g;
}

const Guid kHeaderObject = MakeGuid(0x75B22630, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
const Guid kDataObject = MakeGuid(0x75B22636, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
const Guid kFilePropertiesObject = MakeGuid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE400C00C205365ull);
const Guid kStreamPropertiesObject = MakeGuid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE600C00C205365ull);
const Guid kHeaderExtensionObject = MakeGuid(0x5FBF03B5, 0xA92E, 0x11CF, 0x8EE300C00C205365ull);
const Guid kHeaderExtensionReserved = MakeGuid(0xABD3D211, 0xA9BA, 0x11CF, 0x8EE600C00C205365ull);
const Guid kCodecListObject = MakeGuid(0x86D15240, 0x311D, 0x11D0, 0xA3A400A0C90348F6ull);
const Guid kCodecListReserved = MakeGuid(0x86D15241, 0x311D, 0x11D0, 0xA3A400A0C90348F6ull);
const Guid kSimpleIndexObject = MakeGuid(0x33000890, 0xE5B1, 0x11CF, 0x89F400A0C90349CBull);
const Guid kVideoMedia = MakeGuid(0xBC19EFC0, 0x5B4D, 0x11CF, 0xA8FD00805F5C442Bull);
const Guid kNoErrorCorrection = MakeGuid(0x20FB5700, 0x5B55, 0x11CF, 0xA8FD00805F5C442Bull);
const Guid kFileId = MakeGuid(0x5A1E0F11, 0x2014, 0x0923, 0x8C3A5D7E91B24F06ull);

void PutGuid(Bytes& out, const Guid& g) { out.insert(out.end(), g.begin(), g.end()); }

// An object: GUID, 64-bit size (header included), contents.
Bytes AsfObject(const Guid& guid, const Bytes& contents) {
    Bytes out;
    PutGuid(out, guid);
    PutLe64(out, 24 + contents.size());
    PutBytes(out, contents);
    return out;
}

void PutUtf16(Bytes& out, std::string_view text) {
    for (char c : text) PutLe16(out, static_cast<unsigned char>(c));
    PutLe16(out, 0);
}

// ----------------------------------------------------------- QuickTime --

Bytes Atom(std::string_view type, const Bytes& contents) {
    Bytes out;
    PutBe32(out, static_cast<std::uint32_t>(8 + contents.size()));
    PutText(out, type);
    PutBytes(out, contents);
    return out;
}

void PutMatrix(Bytes& out) {  // the identity transformation
    for (std::uint32_t v : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) PutBe32(out, v);
}

constexpr std::uint32_t kMacTime = 0xCA0E6A40;  // 2011-06-15, seconds since 1904
constexpr int kMovieWidth = 16;
constexpr int kMovieHeight = 12;
constexpr std::uint32_t kTimeScale = 600;
constexpr std::uint32_t kFrameDuration = 60;  // 10 frames per second

Bytes Handler(std::string_view componentType, std::string_view subtype, std::string_view name) {
    Bytes h;
    PutBe32(h, 0);
    PutText(h, componentType);
    PutText(h, subtype);
    PutText(h, "appl");
    PutBe32(h, 0);
    PutBe32(h, 0);
    Put8(h, static_cast<unsigned>(name.size()));
    PutText(h, name);
    return Atom("hdlr", h);
}

// The movie resource for `frames` raw frames stored from file offset `mediaAt`.
Bytes MovieAtom(std::uint32_t frames, std::uint32_t frameBytes, std::uint32_t mediaAt) {
    const std::uint32_t duration = frames * kFrameDuration;
    Bytes mvhd;
    PutBe32(mvhd, 0);
    PutBe32(mvhd, kMacTime);
    PutBe32(mvhd, kMacTime);
    PutBe32(mvhd, kTimeScale);
    PutBe32(mvhd, duration);
    PutBe32(mvhd, 0x00010000);  // rate 1.0
    PutBe16(mvhd, 0x0100);      // volume 1.0
    PutZeros(mvhd, 10);
    PutMatrix(mvhd);
    PutZeros(mvhd, 6 * 4);  // preview, poster, selection, current time
    PutBe32(mvhd, 2);       // next track id

    Bytes tkhd;
    PutBe32(tkhd, 0x0000000F);  // enabled, in movie, in preview, in poster
    PutBe32(tkhd, kMacTime);
    PutBe32(tkhd, kMacTime);
    PutBe32(tkhd, 1);
    PutBe32(tkhd, 0);
    PutBe32(tkhd, duration);
    PutZeros(tkhd, 8);
    PutBe16(tkhd, 0);  // layer
    PutBe16(tkhd, 0);  // alternate group
    PutBe16(tkhd, 0);  // volume
    PutBe16(tkhd, 0);
    PutMatrix(tkhd);
    PutBe32(tkhd, kMovieWidth << 16);
    PutBe32(tkhd, kMovieHeight << 16);

    Bytes mdhd;
    PutBe32(mdhd, 0);
    PutBe32(mdhd, kMacTime);
    PutBe32(mdhd, kMacTime);
    PutBe32(mdhd, kTimeScale);
    PutBe32(mdhd, duration);
    PutBe16(mdhd, 0);  // language
    PutBe16(mdhd, 0);  // quality

    Bytes vmhd;
    PutBe32(vmhd, 0x00000001);
    PutBe16(vmhd, 0x0040);  // copy
    PutZeros(vmhd, 6);

    Bytes dref;
    PutBe32(dref, 0);
    PutBe32(dref, 1);
    Bytes alis;
    PutBe32(alis, 0x00000001);  // the data is in this file
    PutBytes(dref, Atom("alis", alis));

    Bytes stsd;
    PutBe32(stsd, 0);
    PutBe32(stsd, 1);
    Bytes description;
    PutText(description, "raw ");
    PutZeros(description, 6);
    PutBe16(description, 1);  // data reference index
    PutBe16(description, 0);  // version
    PutBe16(description, 0);  // revision
    PutText(description, "appl");
    PutBe32(description, 0);  // temporal quality
    PutBe32(description, 0x00000400);
    PutBe16(description, kMovieWidth);
    PutBe16(description, kMovieHeight);
    PutBe32(description, 72u << 16);
    PutBe32(description, 72u << 16);
    PutBe32(description, 0);
    PutBe16(description, 1);  // frames per sample
    const std::string_view compressor = "None";
    Put8(description, static_cast<unsigned>(compressor.size()));
    PutText(description, compressor);
    PutZeros(description, 31 - compressor.size());
    PutBe16(description, 24);      // depth
    PutBe16(description, 0xFFFF);  // default colour table
    PutBe32(stsd, static_cast<std::uint32_t>(4 + description.size()));
    PutBytes(stsd, description);

    Bytes stts;
    PutBe32(stts, 0);
    PutBe32(stts, 1);
    PutBe32(stts, frames);
    PutBe32(stts, kFrameDuration);
    Bytes stsc;
    PutBe32(stsc, 0);
    PutBe32(stsc, 1);
    PutBe32(stsc, 1);
    PutBe32(stsc, frames);
    PutBe32(stsc, 1);
    Bytes stsz;
    PutBe32(stsz, 0);
    PutBe32(stsz, frameBytes);  // every sample has this size
    PutBe32(stsz, frames);
    Bytes stco;
    PutBe32(stco, 0);
    PutBe32(stco, 1);
    PutBe32(stco, mediaAt);

    Bytes stbl = Atom("stsd", stsd);
    PutBytes(stbl, Atom("stts", stts));
    PutBytes(stbl, Atom("stsc", stsc));
    PutBytes(stbl, Atom("stsz", stsz));
    PutBytes(stbl, Atom("stco", stco));

    Bytes minf = Atom("vmhd", vmhd);
    PutBytes(minf, Handler("dhlr", "alis", "Apple Alias Data Handler"));
    PutBytes(minf, Atom("dinf", Atom("dref", dref)));
    PutBytes(minf, Atom("stbl", stbl));

    Bytes mdia = Atom("mdhd", mdhd);
    PutBytes(mdia, Handler("mhlr", "vide", "Apple Video Media Handler"));
    PutBytes(mdia, Atom("minf", minf));

    Bytes trak = Atom("tkhd", tkhd);
    PutBytes(trak, Atom("mdia", mdia));

    Bytes moov = Atom("mvhd", mvhd);
    PutBytes(moov, Atom("trak", trak));
    return Atom("moov", moov);
}

// "pnot" and the QuickDraw picture it names.
Bytes PreviewAtoms() {
    Bytes pnot;
    PutBe32(pnot, kMacTime);
    PutBe16(pnot, 0);
    PutText(pnot, "PICT");
    PutBe16(pnot, 1);
    Bytes pict;
    PutBe16(pict, 0);  // picture size (unused in version 2)
    for (unsigned v : {0u, 0u, static_cast<unsigned>(kMovieHeight), static_cast<unsigned>(kMovieWidth)}) PutBe16(pict, v);
    PutBe16(pict, 0x0011);  // version
    PutBe16(pict, 0x02FF);
    PutBe16(pict, 0x0C00);  // header
    PutBe16(pict, 0xFFFE);
    PutBe16(pict, 0);
    PutBe32(pict, 72u << 16);
    PutBe32(pict, 72u << 16);
    for (unsigned v : {0u, 0u, static_cast<unsigned>(kMovieHeight), static_cast<unsigned>(kMovieWidth)}) PutBe16(pict, v);
    PutBe32(pict, 0);
    PutBe16(pict, 0x001E);  // default highlight
    PutBe16(pict, 0x0001);  // clip region
    PutBe16(pict, 10);
    for (unsigned v : {0u, 0u, static_cast<unsigned>(kMovieHeight), static_cast<unsigned>(kMovieWidth)}) PutBe16(pict, v);
    PutBe16(pict, 0x00FF);  // end of picture
    Bytes out = Atom("pnot", pnot);
    PutBytes(out, Atom("PICT", pict));
    return out;
}

// ---------------------------------------------------------------- RIFF --

Bytes RiffChunk(std::string_view id, const Bytes& data) {
    Bytes out;
    PutText(out, id);
    PutLe32(out, static_cast<std::uint32_t>(data.size()));
    PutBytes(out, data);
    if (data.size() % 2) Put8(out, 0);  // chunks are word-aligned
    return out;
}

Bytes RiffList(std::string_view type, const Bytes& chunks) {
    Bytes data;
    PutText(data, type);
    PutBytes(data, chunks);
    return RiffChunk("LIST", data);
}

Bytes InfoList(std::string_view title) {
    Bytes info;
    Bytes name(title.begin(), title.end());
    name.push_back(0);
    PutBytes(info, RiffChunk("INAM", name));
    const std::string_view software = "Quillbrook sample card";
    Bytes isft(software.begin(), software.end());
    isft.push_back(0);
    PutBytes(info, RiffChunk("ISFT", isft));
    return RiffList("INFO", info);
}

Bytes RiffFile(std::string_view form, const Bytes& chunks, std::optional<std::uint32_t> sizeField) {
    Bytes out;
    PutText(out, "RIFF");
    PutLe32(out, sizeField.value_or(static_cast<std::uint32_t>(4 + chunks.size())));
    PutText(out, form);
    PutBytes(out, chunks);
    return out;
}

// A 16-bit sample of a tone: a parabolic approximation of a sine, integers only.
int ToneSample(std::uint32_t i, std::uint32_t period) {
    const int phase = static_cast<int>((i % period) * 2048 / period);  // 0..2047
    const int half = phase < 1024 ? phase : phase - 1024;
    const int value = half * (1024 - half) / 32;  // 0..8192
    return phase < 1024 ? value : -value;
}

// ---------------------------------------------------------------- MPEG --

// A 33-bit time stamp in the MPEG-1 5-byte form, with the 4-bit prefix.
void PutTimeStamp(Bytes& out, unsigned prefix, std::uint64_t t) {
    Put8(out, (prefix << 4) | static_cast<unsigned>((t >> 29) & 0x0E) | 1);
    Put8(out, static_cast<unsigned>((t >> 22) & 0xFF));
    Put8(out, static_cast<unsigned>((t >> 14) & 0xFE) | 1);
    Put8(out, static_cast<unsigned>((t >> 7) & 0xFF));
    Put8(out, static_cast<unsigned>((t << 1) & 0xFE) | 1);
}

void PutStartCode(Bytes& out, unsigned id) {
    Put8(out, 0);
    Put8(out, 0);
    Put8(out, 1);
    Put8(out, id);
}

void PutPackHeader(Bytes& out, bool mpeg2, std::uint64_t scr, std::uint32_t muxRate) {
    PutStartCode(out, 0xBA);
    if (!mpeg2) {
        PutTimeStamp(out, 0x2, scr);
        Put8(out, 0x80 | ((muxRate >> 15) & 0x7F));
        Put8(out, (muxRate >> 7) & 0xFF);
        Put8(out, ((muxRate << 1) & 0xFE) | 1);
        return;
    }
    const unsigned extension = 0;
    Put8(out, 0x44 | static_cast<unsigned>((scr >> 27) & 0x38) | static_cast<unsigned>((scr >> 28) & 0x03));
    Put8(out, static_cast<unsigned>((scr >> 20) & 0xFF));
    Put8(out, static_cast<unsigned>((scr >> 12) & 0xF8) | 0x04 | static_cast<unsigned>((scr >> 13) & 0x03));
    Put8(out, static_cast<unsigned>((scr >> 5) & 0xFF));
    Put8(out, static_cast<unsigned>((scr << 3) & 0xF8) | 0x04 | ((extension >> 7) & 0x03));
    Put8(out, ((extension << 1) & 0xFE) | 1);
    Put8(out, (muxRate >> 14) & 0xFF);
    Put8(out, (muxRate >> 6) & 0xFF);
    Put8(out, ((muxRate << 2) & 0xFC) | 0x03);
    Put8(out, 0xF8);  // no stuffing
}

void PutSystemHeader(Bytes& out, std::uint32_t rateBound, bool audio) {
    PutStartCode(out, 0xBB);
    PutBe16(out, audio ? 12 : 9);
    Put8(out, 0x80 | ((rateBound >> 15) & 0x7F));
    Put8(out, (rateBound >> 7) & 0xFF);
    Put8(out, ((rateBound << 1) & 0xFE) | 1);
    Put8(out, ((audio ? 1u : 0u) << 2) | 0x00);  // audio bound, not fixed, not constrained
    Put8(out, 0xE1);                           // locked audio and video, one video stream
    Put8(out, 0xFF);                           // reserved
    Put8(out, 0xE0);                           // video: buffer 46 x 1024 bytes
    Put8(out, 0xE0 | (46 >> 8));
    Put8(out, 46 & 0xFF);
    if (audio) {
        Put8(out, 0xC0);  // audio: buffer 32 x 128 bytes
        Put8(out, 0xC0 | (32 >> 8));
        Put8(out, 32 & 0xFF);
    }
}

void PutPesPacket(Bytes& out, bool mpeg2, unsigned streamId, std::uint64_t pts, const Bytes& payload) {
    PutStartCode(out, streamId);
    if (mpeg2) {
        PutBe16(out, static_cast<unsigned>(3 + 5 + payload.size()));
        Put8(out, 0x81);  // original
        Put8(out, 0x80);  // PTS only
        Put8(out, 5);
    } else {
        PutBe16(out, static_cast<unsigned>(5 + payload.size()));
    }
    PutTimeStamp(out, 0x2, pts);
    PutBytes(out, payload);
}

// An elementary video stream of `length` bytes: sequence header, then
// groups of pictures made of slices, ending with the sequence end code.
Bytes VideoElementaryStream(std::size_t length, bool mpeg2) {
    Bytes es;
    PutStartCode(es, 0xB3);
    Put8(es, (352 >> 4) & 0xFF);                  // 352 x 240
    Put8(es, ((352 & 0x0F) << 4) | ((240 >> 8) & 0x0F));
    Put8(es, 240 & 0xFF);
    Put8(es, 0x14);  // aspect 1:1, 29.97 frames per second
    // Bit rate 2875 x 400 bit/s (18 bits), marker, VBV buffer 20 (10 bits),
    // not constrained, default quantiser matrices.
    PutBe32(es, (2875u << 14) | (1u << 13) | (20u << 3));
    if (mpeg2) {
        PutStartCode(es, 0xB5);
        for (unsigned v : {0x14u, 0x8Au, 0x00u, 0x01u, 0x00u, 0x00u}) Put8(es, v);  // main profile, main level
    }
    std::uint32_t picture = 0;
    while (es.size() + 4 < length) {
        if (picture % 12 == 0) {
            PutStartCode(es, 0xB8);  // group of pictures
            for (unsigned v : {0x00u, 0x08u, 0x00u, 0x40u}) Put8(es, v);
        }
        PutStartCode(es, 0x00);  // picture: temporal reference, I picture, VBV delay FFFF
        PutBe32(es, ((picture % 1024) << 22) | (1u << 19) | (0xFFFFu << 3));
        for (unsigned slice = 1; slice <= 15 && es.size() + 4 < length; ++slice) {
            PutStartCode(es, slice);
            PutBytes(es, CodedBytes(180, picture * 16 + slice));
        }
        ++picture;
    }
    es.resize(length > 4 ? length - 4 : 0);
    PutStartCode(es, 0xB7);  // sequence end
    es.resize(length);
    return es;
}

}  // namespace

std::vector<std::uint8_t> BuildAsf(const AsfSampleOptions& options) {
    const std::uint32_t packetSize = std::max<std::uint32_t>(options.packetSize, 64);
    const std::uint64_t duration100ns = 10'000'000ull * options.packetCount / 4;  // four packets a second
    const std::uint64_t preroll = 3100;

    Bytes fileProperties;
    PutGuid(fileProperties, kFileId);
    const std::size_t fileSizeAt = 24 + fileProperties.size();  // patched when the size is known
    PutLe64(fileProperties, 0);
    PutLe64(fileProperties, 0x01CFC0A3B6E4A000ull);  // creation date, 100 ns since 1601
    PutLe64(fileProperties, options.packetCount);
    PutLe64(fileProperties, duration100ns + preroll * 10'000);
    PutLe64(fileProperties, duration100ns);
    PutLe64(fileProperties, preroll);
    PutLe32(fileProperties, 0x02);  // seekable
    PutLe32(fileProperties, packetSize);
    PutLe32(fileProperties, packetSize);
    PutLe32(fileProperties, packetSize * 8 * 4);

    Bytes stream;
    PutGuid(stream, kVideoMedia);
    PutGuid(stream, kNoErrorCorrection);
    PutLe64(stream, 0);
    Bytes format;
    PutLe32(format, 320);
    PutLe32(format, 240);
    Put8(format, 2);
    PutLe16(format, 40);
    PutLe32(format, 40);  // BITMAPINFOHEADER
    PutLe32(format, 320);
    PutLe32(format, 240);
    PutLe16(format, 1);
    PutLe16(format, 24);
    PutText(format, "WMV3");
    PutLe32(format, 320 * 240 * 3);
    PutZeros(format, 16);
    PutLe32(stream, static_cast<std::uint32_t>(format.size()));
    PutLe32(stream, 0);
    PutLe16(stream, 1);  // stream number 1
    PutLe32(stream, 0);
    PutBytes(stream, format);

    Bytes extension;
    PutGuid(extension, kHeaderExtensionReserved);
    PutLe16(extension, 6);
    PutLe32(extension, 0);

    Bytes codecs;
    PutGuid(codecs, kCodecListReserved);
    PutLe32(codecs, 1);
    PutLe16(codecs, 1);  // video codec
    const std::string_view codecName = "Windows Media Video 9";
    PutLe16(codecs, static_cast<unsigned>(codecName.size() + 1));
    PutUtf16(codecs, codecName);
    PutLe16(codecs, 0);
    PutLe16(codecs, 4);
    PutText(codecs, "WMV3");

    std::vector<Bytes> objects;
    if (options.fileProperties) objects.push_back(AsfObject(kFilePropertiesObject, fileProperties));
    objects.push_back(AsfObject(kStreamPropertiesObject, stream));
    objects.push_back(AsfObject(kHeaderExtensionObject, extension));
    objects.push_back(AsfObject(kCodecListObject, codecs));

    Bytes out;
    PutGuid(out, kHeaderObject);
    std::uint64_t headerSize = 30;
    for (const Bytes& o : objects) headerSize += o.size();
    PutLe64(out, options.headerSizeField.value_or(headerSize));
    PutLe32(out, options.objectCountField.value_or(static_cast<std::uint32_t>(objects.size())));
    Put8(out, options.reservedByteField.value_or(0x01));
    Put8(out, 0x02);
    for (const Bytes& o : objects) PutBytes(out, o);

    // Data object: fixed-size packets, one key-frame payload each.
    PutGuid(out, kDataObject);
    PutLe64(out, 50 + static_cast<std::uint64_t>(options.packetCount) * packetSize);
    PutGuid(out, kFileId);
    PutLe64(out, options.packetCount);
    PutLe16(out, 0x0101);
    for (std::uint32_t p = 0; p < options.packetCount; ++p) {
        const std::size_t start = out.size();
        Put8(out, 0x82);  // error correction data of 2 bytes
        Put8(out, 0);
        Put8(out, 0);
        Put8(out, 0x08);  // padding length as a byte, fixed packet length
        Put8(out, 0x5D);  // replicated byte, offset dword, object byte, stream byte
        Put8(out, 0);     // padding length
        PutLe32(out, static_cast<std::uint32_t>(preroll + p * 250));
        PutLe16(out, 250);
        Put8(out, 0x81);  // key frame of stream 1
        Put8(out, p & 0xFF);
        PutLe32(out, 0);
        Put8(out, 8);
        const std::uint32_t payload = packetSize - 27;
        PutLe32(out, payload);
        PutLe32(out, static_cast<std::uint32_t>(preroll + p * 250));
        PutBytes(out, CodedBytes(payload, p + 1));
        out.resize(start + packetSize, 0);
    }

    if (options.simpleIndex) {
        Bytes index;
        PutGuid(index, kFileId);
        PutLe64(index, 10'000'000);  // one entry a second
        PutLe32(index, 1);
        const std::uint32_t entries = options.packetCount / 4 + 1;
        PutLe32(index, entries);
        for (std::uint32_t e = 0; e < entries; ++e) {
            PutLe32(index, std::min(e * 4, options.packetCount == 0 ? 0 : options.packetCount - 1));
            PutLe16(index, 1);
        }
        PutBytes(out, AsfObject(kSimpleIndexObject, index));
    }

    if (options.fileProperties) SetLe64(out, 30 + fileSizeAt, options.fileSizeField.value_or(out.size()));
    return out;
}

std::vector<std::uint8_t> BuildQuickTime(const QuickTimeSampleOptions& options) {
    constexpr std::uint32_t frameBytes = kMovieWidth * kMovieHeight * 3;
    const std::uint32_t frames = options.mediaBytes / frameBytes;
    const Bytes preview = options.preview ? PreviewAtoms() : Bytes {};
    // The movie atom's size does not depend on the offset written into it.
    const std::size_t movieSize = MovieAtom(frames, frameBytes, 0).size();
    const std::size_t mediaAt = preview.size() + movieSize + (options.freeBytes >= 8 ? options.freeBytes : 0) +
                                (options.wideAtom ? 8 : 0) + 8;

    Bytes out = preview;
    const std::size_t movieAt = out.size();
    PutBytes(out, MovieAtom(frames, frameBytes, static_cast<std::uint32_t>(mediaAt)));
    if (options.movieSizeField) SetBe32(out, movieAt, *options.movieSizeField);
    if (options.freeBytes >= 8) PutBytes(out, Atom("free", Bytes(options.freeBytes - 8, 0)));
    if (options.wideAtom) PutBytes(out, Atom("wide", {}));
    if (options.mediaData) {
        Bytes media;
        for (std::uint32_t f = 0; f < frames; ++f) PutBytes(media, RgbFrame(kMovieWidth, kMovieHeight, f));
        media.resize(options.mediaBytes, 0);
        PutBytes(out, Atom("mdat", media));
    }
    if (!options.trailingAtomType.empty()) {
        std::string type = options.trailingAtomType;
        type.resize(4, ' ');
        PutBytes(out, Atom(type, CodedBytes(options.trailingAtomBytes >= 8 ? options.trailingAtomBytes - 8 : 0, 7)));
    }
    return out;
}

std::vector<std::uint8_t> BuildWav(const WavSampleOptions& options) {
    const std::uint16_t channels = std::max<std::uint16_t>(options.channels, 1);
    const std::uint16_t bits = options.bitsPerSample == 8 ? 8 : 16;
    const std::uint32_t blockAlign = channels * bits / 8u;
    const std::uint32_t rate = std::max<std::uint32_t>(options.sampleRate, 1);
    const std::uint32_t frames = options.dataBytes / blockAlign;

    Bytes fmt;
    PutLe16(fmt, 1);  // PCM
    PutLe16(fmt, channels);
    PutLe32(fmt, rate);
    PutLe32(fmt, rate * blockAlign);
    PutLe16(fmt, blockAlign);
    PutLe16(fmt, bits);

    Bytes samples;
    samples.reserve(static_cast<std::size_t>(frames) * blockAlign);
    const std::uint32_t period = std::max<std::uint32_t>(rate / 440, 2);  // about an A4
    for (std::uint32_t i = 0; i < frames; ++i) {
        const int v = ToneSample(i, period);
        for (std::uint16_t c = 0; c < channels; ++c) {
            if (bits == 8)
                Put8(samples, static_cast<unsigned>(128 + v / 256));
            else
                PutLe16(samples, static_cast<unsigned>(v) & 0xFFFF);
        }
    }

    Bytes chunks = RiffChunk("fmt ", fmt);
    PutBytes(chunks, RiffChunk("data", samples));
    if (options.infoList) PutBytes(chunks, InfoList("Sample tone"));
    return RiffFile("WAVE", chunks, options.sizeField);
}

std::vector<std::uint8_t> BuildAvi(const AviSampleOptions& options) {
    const int width = std::max(options.width, 1), height = std::max(options.height, 1);
    const std::uint32_t frameBytes = static_cast<std::uint32_t>((width * 3 + 3) / 4 * 4 * height);
    const std::uint32_t fps = 10;

    Bytes avih;
    PutLe32(avih, 1'000'000 / fps);
    PutLe32(avih, frameBytes * fps);
    PutLe32(avih, 0);
    PutLe32(avih, options.index ? 0x10 : 0);  // has index
    PutLe32(avih, options.frames);
    PutLe32(avih, 0);
    PutLe32(avih, 1);  // streams
    PutLe32(avih, frameBytes);
    PutLe32(avih, static_cast<std::uint32_t>(width));
    PutLe32(avih, static_cast<std::uint32_t>(height));
    PutZeros(avih, 16);

    Bytes strh;
    PutText(strh, "vids");
    PutText(strh, "DIB ");
    PutLe32(strh, 0);
    PutLe16(strh, 0);
    PutLe16(strh, 0);
    PutLe32(strh, 0);
    PutLe32(strh, 1);    // scale
    PutLe32(strh, fps);  // rate
    PutLe32(strh, 0);
    PutLe32(strh, options.frames);
    PutLe32(strh, frameBytes);
    PutLe32(strh, 0xFFFFFFFF);  // default quality
    PutLe32(strh, 0);
    PutLe16(strh, 0);
    PutLe16(strh, 0);
    PutLe16(strh, static_cast<unsigned>(width));
    PutLe16(strh, static_cast<unsigned>(height));

    Bytes strf;
    PutLe32(strf, 40);
    PutLe32(strf, static_cast<std::uint32_t>(width));
    PutLe32(strf, static_cast<std::uint32_t>(height));
    PutLe16(strf, 1);
    PutLe16(strf, 24);
    PutLe32(strf, 0);  // BI_RGB
    PutLe32(strf, frameBytes);
    PutZeros(strf, 16);

    Bytes strl = RiffChunk("strh", strh);
    PutBytes(strl, RiffChunk("strf", strf));
    Bytes hdrl = RiffChunk("avih", avih);
    PutBytes(hdrl, RiffList("strl", strl));

    Bytes movi;
    Bytes index;
    for (std::uint32_t f = 0; f < options.frames; ++f) {
        PutText(index, "00db");
        PutLe32(index, 0x10);  // key frame
        PutLe32(index, static_cast<std::uint32_t>(4 + movi.size()));  // from the "movi" type
        PutLe32(index, frameBytes);
        PutBytes(movi, RiffChunk("00db", RgbFrame(width, height, f)));
    }

    Bytes chunks = RiffList("hdrl", hdrl);
    if (options.infoList) PutBytes(chunks, InfoList("Sample clip"));
    PutBytes(chunks, RiffList("movi", movi));
    if (options.index) PutBytes(chunks, RiffChunk("idx1", index));
    return RiffFile("AVI ", chunks, options.sizeField);
}

std::vector<std::uint8_t> BuildMpeg(const MpegSampleOptions& options) {
    const std::uint32_t payload = std::clamp<std::uint32_t>(options.packetPayload, 1, 60000);
    const Bytes video = VideoElementaryStream(static_cast<std::size_t>(payload) * options.packs, options.mpeg2);
    constexpr std::uint32_t kMuxRate = 3528;  // 176 400 bytes a second, in units of 50
    constexpr std::uint32_t kAudioFrame = 576; // Layer II, 192 kbit/s at 48 kHz

    Bytes out;
    std::uint64_t clock = 0;  // 90 kHz
    for (std::uint32_t pack = 0; pack < options.packs; ++pack) {
        PutPackHeader(out, options.mpeg2, clock, kMuxRate);
        if (pack == 0 && options.systemHeader) PutSystemHeader(out, kMuxRate, options.audio);
        const Bytes piece(video.begin() + static_cast<std::ptrdiff_t>(pack) * payload,
                          video.begin() + static_cast<std::ptrdiff_t>(pack + 1) * payload);
        PutPesPacket(out, options.mpeg2, 0xE0, clock + 9000, piece);
        if (options.audio && pack % 2 == 0) {
            Bytes frame = {0xFF, 0xFD, 0xA4, 0x04};  // MPEG-1 Layer II, 192 kbit/s, 48 kHz
            PutBytes(frame, CodedBytes(kAudioFrame - 4, pack + 1000));
            PutPesPacket(out, options.mpeg2, 0xC0, clock + 9000, frame);
        }
        clock += 3003;
    }
    if (options.endCode) PutStartCode(out, 0xB9);
    return out;
}

}  // namespace qb::tools

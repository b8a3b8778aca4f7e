// Phone-era samples: exact containers around made-up payload.
#include "tools/sample_card/phone_samples.h"

#include <algorithm>
#include <string_view>

#include "tools/sample_card/byte_writer.h"
#include "tools/sample_card/image_samples.h"

namespace qb::tools {

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Noise(std::size_t n, std::uint32_t seed) {
    Bytes out(n);
    std::uint32_t s = seed * 2654435761u + 0x9E3779B9u;
    if (s == 0) s = 1;
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(XorShift32(s) >> 7);
    return out;
}

void PutBe64(Bytes& out, std::uint64_t v) {
    PutBe32(out, static_cast<std::uint32_t>(v >> 32));
    PutBe32(out, static_cast<std::uint32_t>(v));
}

void PutBe24(Bytes& out, std::uint32_t v) {
    Put8(out, (v >> 16) & 0xFF);
    Put8(out, (v >> 8) & 0xFF);
    Put8(out, v & 0xFF);
}

void PutLe24(Bytes& out, std::uint32_t v) {
    Put8(out, v & 0xFF);
    Put8(out, (v >> 8) & 0xFF);
    Put8(out, (v >> 16) & 0xFF);
}

// --------------------------------------------------------- ISO media --

Bytes Box(std::string_view type, const Bytes& payload) {
    Bytes out;
    PutBe32(out, static_cast<std::uint32_t>(8 + payload.size()));
    PutText(out, type);
    PutBytes(out, payload);
    return out;
}

// A full box: version and flags first.
Bytes FullBox(std::string_view type, std::uint8_t version, std::uint32_t flags, const Bytes& payload) {
    Bytes body;
    Put8(body, version);
    PutBe24(body, flags);
    PutBytes(body, payload);
    return Box(type, body);
}

Bytes Matrix() {
    Bytes m;
    for (std::uint32_t v : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) PutBe32(m, v);
    return m;
}

// The movie: one video track whose single chunk lies at `chunkOffset`.
Bytes MovieBox(std::uint32_t mediaBytes, std::uint32_t chunkOffset) {
    Bytes mvhd;
    PutBe32(mvhd, 0);  // creation and modification time
    PutBe32(mvhd, 0);
    PutBe32(mvhd, 1000);  // time scale
    PutBe32(mvhd, 2000);  // duration: 2 s
    PutBe32(mvhd, 0x00010000);  // rate 1.0
    PutBe16(mvhd, 0x0100);      // volume 1.0
    PutZeros(mvhd, 10);
    PutBytes(mvhd, Matrix());
    PutZeros(mvhd, 24);
    PutBe32(mvhd, 2);  // next track id

    Bytes tkhd;
    PutBe32(tkhd, 0);
    PutBe32(tkhd, 0);
    PutBe32(tkhd, 1);  // track id
    PutBe32(tkhd, 0);
    PutBe32(tkhd, 2000);
    PutZeros(tkhd, 8);
    PutBe16(tkhd, 0);  // layer, alternate group, volume, reserved
    PutBe16(tkhd, 0);
    PutBe16(tkhd, 0);
    PutBe16(tkhd, 0);
    PutBytes(tkhd, Matrix());
    PutBe32(tkhd, 320u << 16);
    PutBe32(tkhd, 240u << 16);

    Bytes mdhd;
    PutBe32(mdhd, 0);
    PutBe32(mdhd, 0);
    PutBe32(mdhd, 30);  // 30 frames a second
    PutBe32(mdhd, 60);
    PutBe16(mdhd, 0x55C4);  // language "und"
    PutBe16(mdhd, 0);
    Bytes hdlr;
    PutBe32(hdlr, 0);
    PutText(hdlr, "vide");
    PutZeros(hdlr, 12);
    PutText(hdlr, "VideoHandler");
    Put8(hdlr, 0);

    Bytes stts, stsc, stsz, stco;
    PutBe32(stts, 1);
    PutBe32(stts, 1);  // one sample of 60 ticks
    PutBe32(stts, 60);
    PutBe32(stsc, 1);
    PutBe32(stsc, 1);  // first chunk 1: one sample, description 1
    PutBe32(stsc, 1);
    PutBe32(stsc, 1);
    PutBe32(stsz, mediaBytes);  // every sample this size
    PutBe32(stsz, 1);
    PutBe32(stco, 1);
    PutBe32(stco, chunkOffset);
    Bytes stbl = FullBox("stts", 0, 0, stts);
    PutBytes(stbl, FullBox("stsc", 0, 0, stsc));
    PutBytes(stbl, FullBox("stsz", 0, 0, stsz));
    PutBytes(stbl, FullBox("stco", 0, 0, stco));
    const Bytes minf = Box("stbl", stbl);
    Bytes mdia = FullBox("mdhd", 0, 0, mdhd);
    PutBytes(mdia, FullBox("hdlr", 0, 0, hdlr));
    PutBytes(mdia, Box("minf", minf));
    Bytes trak = FullBox("tkhd", 0, 3, tkhd);
    PutBytes(trak, Box("mdia", mdia));
    Bytes moov = FullBox("mvhd", 0, 0, mvhd);
    PutBytes(moov, Box("trak", trak));
    return Box("moov", moov);
}

// A picture's items: one coded image at `itemOffset`.
Bytes MetaBox(std::uint32_t mediaBytes, std::uint32_t itemOffset) {
    Bytes hdlr;
    PutBe32(hdlr, 0);
    PutText(hdlr, "pict");
    PutZeros(hdlr, 12);
    Put8(hdlr, 0);
    Bytes pitm;
    PutBe16(pitm, 1);
    Bytes infe;
    PutBe16(infe, 1);  // item id
    PutBe16(infe, 0);  // protection
    PutText(infe, "hvc1");
    Put8(infe, 0);  // name
    Bytes iinf;
    PutBe16(iinf, 1);
    PutBytes(iinf, FullBox("infe", 2, 0, infe));
    Bytes iloc;
    Put8(iloc, 0x44);  // offset and length sizes 4
    Put8(iloc, 0x00);  // base offset size 0
    PutBe16(iloc, 1);  // items
    PutBe16(iloc, 1);  // item id
    PutBe16(iloc, 0);  // data reference
    PutBe16(iloc, 1);  // extents
    PutBe32(iloc, itemOffset);
    PutBe32(iloc, mediaBytes);
    Bytes meta = FullBox("hdlr", 0, 0, hdlr);
    PutBytes(meta, FullBox("pitm", 0, 0, pitm));
    PutBytes(meta, FullBox("iinf", 0, 0, iinf));
    PutBytes(meta, FullBox("iloc", 0, 0, iloc));
    return FullBox("meta", 0, 0, meta);
}

// ---------------------------------------------------------------- Ogg --

std::uint32_t OggCrc(const Bytes& page) {
    std::uint32_t crc = 0;
    for (std::uint8_t b : page) {
        crc ^= std::uint32_t {b} << 24;
        for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

Bytes OggPage(std::uint8_t flags, std::uint64_t granule, std::uint32_t serial, std::uint32_t sequence,
              const std::vector<Bytes>& packets) {
    Bytes lacing, data;
    for (const Bytes& p : packets) {
        std::size_t n = p.size();
        while (n >= 255) {
            lacing.push_back(255);
            n -= 255;
        }
        lacing.push_back(static_cast<std::uint8_t>(n));
        PutBytes(data, p);
    }
    Bytes page;
    PutText(page, "OggS");
    Put8(page, 0);
    Put8(page, flags);
    PutLe64(page, granule);
    PutLe32(page, serial);
    PutLe32(page, sequence);
    PutLe32(page, 0);  // CRC, filled in below
    Put8(page, static_cast<unsigned>(lacing.size()));
    PutBytes(page, lacing);
    PutBytes(page, data);
    SetLe32(page, 22, OggCrc(page));
    return page;
}

// --------------------------------------------------------------- FLAC --

std::uint8_t FlacCrc8(const Bytes& b, std::size_t from, std::size_t to) {
    std::uint8_t c = 0;
    for (std::size_t i = from; i < to; ++i) {
        c ^= b[i];
        for (int k = 0; k < 8; ++k) c = static_cast<std::uint8_t>((c & 0x80) ? (c << 1) ^ 0x07 : c << 1);
    }
    return c;
}

std::uint16_t FlacCrc16(const Bytes& b, std::size_t from, std::size_t to) {
    std::uint16_t c = 0;
    for (std::size_t i = from; i < to; ++i) {
        c = static_cast<std::uint16_t>(c ^ (b[i] << 8));
        for (int k = 0; k < 8; ++k) c = static_cast<std::uint16_t>((c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1);
    }
    return c;
}

// ----------------------------------------------------------- Matroska --

void PutId(Bytes& out, std::uint32_t id) {
    if (id > 0xFFFFFF) Put8(out, id >> 24);
    if (id > 0xFFFF) Put8(out, (id >> 16) & 0xFF);
    if (id > 0xFF) Put8(out, (id >> 8) & 0xFF);
    Put8(out, id & 0xFF);
}

// An element with its size in 8 bytes, or of unknown size.
Bytes Element(std::uint32_t id, const Bytes& data, bool unknownSize = false) {
    Bytes out;
    PutId(out, id);
    Put8(out, 0x01);
    const std::uint64_t size = data.size();
    for (int i = 6; i >= 0; --i) Put8(out, unknownSize ? 0xFF : static_cast<unsigned>((size >> (8 * i)) & 0xFF));
    PutBytes(out, data);
    return out;
}

Bytes Uint(std::uint32_t id, std::uint64_t v) {
    Bytes data;
    int bytes = 1;
    while (bytes < 8 && (v >> (8 * bytes)) != 0) ++bytes;
    for (int i = bytes - 1; i >= 0; --i) Put8(data, static_cast<unsigned>((v >> (8 * i)) & 0xFF));
    return Element(id, data);
}

Bytes Text(std::uint32_t id, std::string_view text) {
    Bytes data;
    PutText(data, text);
    return Element(id, data);
}

// --------------------------------------------------------------- RAR 5 --

void PutVint(Bytes& out, std::uint64_t v) {
    do {
        std::uint8_t b = v & 0x7F;
        v >>= 7;
        if (v) b |= 0x80;
        Put8(out, b);
    } while (v);
}

// CRC, header size and header; `header` starts with the type field.
Bytes Rar5Block(const Bytes& header) {
    Bytes sized;
    PutVint(sized, header.size());
    PutBytes(sized, header);
    Bytes out;
    PutLe32(out, Crc32(sized.data(), sized.size()));
    PutBytes(out, sized);
    return out;
}

// ---------------------------------------------------------------- JPEG --

Bytes Segment(std::uint8_t marker, const Bytes& data) {
    Bytes out = {0xFF, marker};
    PutBe16(out, static_cast<unsigned>(data.size() + 2));
    PutBytes(out, data);
    return out;
}

Bytes XmpSegment(std::string_view packet) {
    Bytes data;
    PutText(data, "http://ns.adobe.com/xap/1.0/");
    Put8(data, 0);
    PutText(data, packet);
    return Segment(0xE1, data);
}

std::string XmpPacket(std::string_view attributes, std::string_view directory) {
    return std::string(
               "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
               "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
               "xmlns:GCamera=\"http://ns.google.com/photos/1.0/camera/\" "
               "xmlns:Container=\"http://ns.google.com/photos/1.0/container/\" "
               "xmlns:Item=\"http://ns.google.com/photos/1.0/container/item/\" "
               "xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" ") +
           std::string(attributes) + ">" + std::string(directory) +
           "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

std::string DirectoryItem(std::string_view mime, std::string_view semantic, std::uint64_t length) {
    return "<rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Mime=\"" + std::string(mime) +
           "\" Item:Semantic=\"" + std::string(semantic) + "\"" +
           (length ? " Item:Length=\"" + std::to_string(length) + "\"" : std::string(" Item:Padding=\"0\"")) +
           "/></rdf:li>";
}

}  // namespace

std::vector<std::uint8_t> BuildIsoMedia(const IsoMediaSampleOptions& options) {
    Bytes ftyp;
    PutText(ftyp, options.brand.substr(0, 4));
    PutBe32(ftyp, options.picture ? 0 : 0x200);
    PutText(ftyp, options.brand.substr(0, 4));
    if (options.picture) {
        PutText(ftyp, "mif1");
    } else {
        PutText(ftyp, "iso2");
        PutText(ftyp, "mp41");
    }
    Bytes out = Box("ftyp", ftyp);
    if (options.freeBox) PutBytes(out, Box("free", {}));

    const Bytes media = Noise(options.mediaBytes, options.seed);
    const std::uint32_t mediaHeader = options.largeSize ? 16 : 8;
    auto mediaBox = [&] {
        Bytes box;
        if (options.largeSize) {
            PutBe32(box, 1);
            PutText(box, "mdat");
            PutBe64(box, media.size() + 16);
        } else {
            PutBe32(box, static_cast<std::uint32_t>(media.size() + 8));
            PutText(box, "mdat");
        }
        PutBytes(box, media);
        return box;
    };
    auto index = [&](std::uint32_t dataAt) {
        return options.picture ? MetaBox(options.mediaBytes, dataAt) : MovieBox(options.mediaBytes, dataAt);
    };
    if (options.mediaFirst) {
        const auto dataAt = static_cast<std::uint32_t>(out.size() + mediaHeader);
        PutBytes(out, mediaBox());
        PutBytes(out, index(dataAt));
    } else {
        // The index's size does not depend on the offset it holds.
        const std::size_t indexSize = index(0).size();
        const auto dataAt = static_cast<std::uint32_t>(out.size() + indexSize + mediaHeader);
        PutBytes(out, index(dataAt));
        PutBytes(out, mediaBox());
    }
    return out;
}

std::vector<std::uint8_t> BuildWebp(const WebpSampleOptions& options) {
    auto lossy = [&](std::uint32_t seed) {
        Bytes data;
        const std::uint32_t partition = std::min<std::uint32_t>(options.dataBytes / 2, 0x7FFFF);
        PutLe24(data, (partition << 5) | 0x10);  // key frame, version 0, shown
        Put8(data, 0x9D);
        Put8(data, 0x01);
        Put8(data, 0x2A);
        PutLe16(data, 512);
        PutLe16(data, 512);
        PutBytes(data, Noise(options.dataBytes, seed));
        Bytes chunk;
        PutText(chunk, "VP8 ");
        PutLe32(chunk, static_cast<std::uint32_t>(data.size()));
        PutBytes(chunk, data);
        if (data.size() % 2) Put8(chunk, 0);
        return chunk;
    };
    Bytes body;
    PutText(body, "WEBP");
    if (options.kind == WebpKind::Lossy) {
        PutBytes(body, lossy(options.seed));
    } else if (options.kind == WebpKind::Lossless) {
        Bytes data;
        Put8(data, 0x2F);
        PutLe32(data, (511u) | (511u << 14) | (1u << 28));  // 512 x 512, alpha
        PutBytes(data, Noise(options.dataBytes, options.seed));
        PutText(body, "VP8L");
        PutLe32(body, static_cast<std::uint32_t>(data.size()));
        PutBytes(body, data);
        if (data.size() % 2) Put8(body, 0);
    } else {
        PutText(body, "VP8X");
        PutLe32(body, 10);
        Put8(body, 0x02);  // animation
        PutZeros(body, 3);
        PutLe24(body, 511);
        PutLe24(body, 511);
        PutText(body, "ANIM");
        PutLe32(body, 6);
        PutLe32(body, 0xFFFFFFFF);  // background
        PutLe16(body, 0);           // loop forever
        for (int f = 0; f < std::max(options.frames, 1); ++f) {
            Bytes frame;
            PutLe24(frame, 0);
            PutLe24(frame, 0);
            PutLe24(frame, 511);
            PutLe24(frame, 511);
            PutLe24(frame, 80);  // 80 ms
            Put8(frame, 0);
            PutBytes(frame, lossy(options.seed + static_cast<std::uint32_t>(f) * 31));
            PutText(body, "ANMF");
            PutLe32(body, static_cast<std::uint32_t>(frame.size()));
            PutBytes(body, frame);
        }
    }
    Bytes out;
    PutText(out, "RIFF");
    PutLe32(out, static_cast<std::uint32_t>(body.size()));
    PutBytes(out, body);
    return out;
}

std::vector<std::uint8_t> BuildMp3(const Mp3SampleOptions& options) {
    Bytes out;
    if (options.id3v2) {
        Bytes frames;
        for (const auto& [id, text] : {std::pair<std::string_view, std::string_view> {"TIT2", "Sample tune"},
                                       {"TPE1", "Quillbrook"}}) {
            PutText(frames, id);
            PutBe32(frames, static_cast<std::uint32_t>(text.size() + 1));
            PutBe16(frames, 0);
            Put8(frames, 0);  // ISO-8859-1
            PutText(frames, text);
        }
        PutZeros(frames, 64);  // padding
        PutText(out, "ID3");
        Put8(out, 3);
        Put8(out, 0);
        Put8(out, 0);
        const auto size = static_cast<std::uint32_t>(frames.size());
        for (int i = 3; i >= 0; --i) Put8(out, (size >> (7 * i)) & 0x7F);
        PutBytes(out, frames);
    }
    // 128 kbit/s at 44.1 kHz: 417.96 bytes a frame, so most frames carry
    // the padding byte.
    std::uint32_t rest = 0;
    for (std::uint32_t f = 0; f < options.frames; ++f) {
        rest += 128000 * 144 % 44100;
        const bool padding = rest >= 44100;
        if (padding) rest -= 44100;
        const std::uint32_t length = 128000 * 144 / 44100 + (padding ? 1 : 0);
        Put8(out, 0xFF);
        Put8(out, 0xFB);
        Put8(out, 0x90 | (padding ? 0x02 : 0));
        Put8(out, 0x44);
        PutBytes(out, Noise(length - 4, options.seed * 7919 + f));
    }
    if (options.id3v1) {
        PutText(out, "TAG");
        Bytes fields(125, 0);
        const std::string_view title = "Sample tune";
        std::copy(title.begin(), title.end(), fields.begin());
        fields[124] = 12;  // genre
        PutBytes(out, fields);
    }
    return out;
}

std::vector<std::uint8_t> BuildOggOpus(const OggSampleOptions& options) {
    Bytes head;
    PutText(head, "OpusHead");
    Put8(head, 1);
    Put8(head, 1);       // mono
    PutLe16(head, 312);  // pre-skip
    PutLe32(head, 48000);
    PutLe16(head, 0);
    Put8(head, 0);
    Bytes tags;
    PutText(tags, "OpusTags");
    PutLe32(tags, 10);
    PutText(tags, "quillbrook");
    PutLe32(tags, 0);

    Bytes out;
    std::uint32_t sequence = 0;
    PutBytes(out, OggPage(0x02, 0, options.serial, sequence++, {head}));
    PutBytes(out, OggPage(0x00, 0, options.serial, sequence++, {tags}));
    std::uint64_t granule = 0;
    for (std::uint32_t p = 0; p < options.audioPages; ++p) {
        std::vector<Bytes> packets;
        for (std::uint32_t k = 0; k < options.packetsPerPage; ++k) {
            Bytes packet = Noise(options.packetBytes, options.seed * 131 + p * 17 + k);
            packet[0] = 0x78;  // SILK-only, 20 ms, mono
            packets.push_back(packet);
            granule += 960;
        }
        const bool last = p + 1 == options.audioPages && options.endOfStream;
        PutBytes(out, OggPage(last ? 0x04 : 0x00, granule, options.serial, sequence++, packets));
    }
    return out;
}

std::vector<std::uint8_t> BuildSqlite(const SqliteSampleOptions& options) {
    const std::uint32_t pageSize = options.pageSize;
    const std::uint32_t pages = std::max<std::uint32_t>(options.pages, 1);
    Bytes out;
    PutText(out, "SQLite format 3");
    Put8(out, 0);
    PutBe16(out, pageSize == 65536 ? 1 : pageSize);
    Put8(out, 1);  // legacy journal
    Put8(out, 1);
    Put8(out, 0);
    Put8(out, 64);
    Put8(out, 32);
    Put8(out, 32);
    PutBe32(out, 3);      // change counter
    PutBe32(out, pages);  // size in pages
    PutBe32(out, pages > 1 ? 2 : 0);  // first free-list trunk page
    PutBe32(out, pages - 1);          // free pages
    PutBe32(out, 1);  // schema cookie
    PutBe32(out, 4);  // schema format
    PutBe32(out, 0);
    PutBe32(out, 0);
    PutBe32(out, 1);  // UTF-8
    PutBe32(out, 0);
    PutBe32(out, 0);
    PutBe32(out, 0);
    PutZeros(out, 20);
    PutBe32(out, 3);        // version-valid-for: the change counter
    PutBe32(out, 3040001);  // SQLite 3.40.1
    // Page 1: an empty table leaf, the schema.
    Put8(out, 0x0D);
    PutBe16(out, 0);
    PutBe16(out, 0);
    PutBe16(out, pageSize == 65536 ? 0 : pageSize);
    Put8(out, 0);
    out.resize(pageSize, 0);
    if (pages > 1) {
        // Page 2: the free-list trunk naming every later page.
        Bytes trunk;
        PutBe32(trunk, 0);
        PutBe32(trunk, pages - 2);
        for (std::uint32_t p = 3; p <= pages; ++p) PutBe32(trunk, p);
        trunk.resize(pageSize, 0);
        PutBytes(out, trunk);
        // Left-over bytes of deleted rows.
        for (std::uint32_t p = 3; p <= pages; ++p) PutBytes(out, Noise(pageSize, options.seed * 97 + p));
    }
    return out;
}

std::vector<std::uint8_t> BuildAmr(const AmrSampleOptions& options) {
    Bytes out;
    PutText(out, options.wideBand ? "#!AMR-WB\n" : "#!AMR\n");
    const std::uint8_t speech = options.wideBand ? (8 << 3) | 4 : (7 << 3) | 4;
    const std::size_t speechBytes = options.wideBand ? 60 : 31;
    const std::uint8_t silence = options.wideBand ? (9 << 3) | 4 : (8 << 3) | 4;
    const std::uint8_t nothing = (15 << 3) | 4;
    for (std::uint32_t f = 0; f < options.frames; ++f) {
        // A pause every second: comfort noise, then frames without data.
        const std::uint32_t inSecond = f % 50;
        if (inSecond == 40) {
            Put8(out, silence);
            PutBytes(out, Noise(5, options.seed + f));
        } else if (inSecond > 40) {
            Put8(out, nothing);
        } else {
            Put8(out, speech);
            PutBytes(out, Noise(speechBytes, options.seed * 53 + f));
        }
    }
    return out;
}

std::vector<std::uint8_t> BuildFlac(const FlacSampleOptions& options) {
    constexpr std::uint32_t kBlock = 1152;
    const std::uint32_t frames = std::max<std::uint32_t>(options.frames, 1);
    const std::uint32_t lastBlock = std::clamp<std::uint32_t>(options.lastBlock, 16, kBlock);
    const std::uint64_t total = std::uint64_t {frames - 1} * kBlock + lastBlock;

    std::vector<Bytes> coded;
    std::uint32_t smallest = 0xFFFFFF, largest = 0;
    for (std::uint32_t f = 0; f < frames; ++f) {
        const bool last = f + 1 == frames;
        const std::uint32_t block = last ? lastBlock : kBlock;
        Bytes frame = {0xFF, 0xF8};
        Put8(frame, ((last ? 7 : 3) << 4) | 9);  // block size code, 44.1 kHz
        Put8(frame, (0 << 4) | (4 << 1));        // mono, 16 bits
        if (f < 0x80) {
            Put8(frame, f);
        } else {
            Put8(frame, 0xC0 | (f >> 6));
            Put8(frame, 0x80 | (f & 0x3F));
        }
        if (last) PutBe16(frame, block - 1);
        Put8(frame, FlacCrc8(frame, 0, frame.size()));
        Put8(frame, 0x02);  // verbatim subframe, no wasted bits
        PutBytes(frame, Noise(std::size_t {block} * 2, options.seed * 1009 + f));
        PutBe16(frame, FlacCrc16(frame, 0, frame.size()));
        smallest = std::min<std::uint32_t>(smallest, static_cast<std::uint32_t>(frame.size()));
        largest = std::max<std::uint32_t>(largest, static_cast<std::uint32_t>(frame.size()));
        coded.push_back(std::move(frame));
    }
    Bytes out;
    PutText(out, "fLaC");
    Put8(out, 0x80);  // the last metadata block: STREAMINFO
    PutBe24(out, 34);
    PutBe16(out, kBlock);
    PutBe16(out, kBlock);
    PutBe24(out, smallest);
    PutBe24(out, largest);
    // 20 bits rate, 3 bits channels - 1, 5 bits bits - 1, 36 bits samples.
    const std::uint64_t packed = (std::uint64_t {44100} << 44) | (std::uint64_t {0} << 41) | (std::uint64_t {15} << 36) | total;
    PutBe64(out, packed);
    PutZeros(out, 16);  // MD5
    for (const Bytes& frame : coded) PutBytes(out, frame);
    return out;
}

std::vector<std::uint8_t> BuildMatroska(const MatroskaSampleOptions& options) {
    Bytes header = Uint(0x4286, 1);
    PutBytes(header, Uint(0x42F7, 1));
    PutBytes(header, Uint(0x42F2, 4));
    PutBytes(header, Uint(0x42F3, 8));
    PutBytes(header, Text(0x4282, options.webm ? "webm" : "matroska"));
    PutBytes(header, Uint(0x4287, 4));
    PutBytes(header, Uint(0x4285, 2));
    Bytes out = Element(0x1A45DFA3, header);

    Bytes info = Uint(0x2AD7B1, 1000000);
    PutBytes(info, Text(0x4D80, "quillbrook"));
    PutBytes(info, Text(0x5741, "quillbrook"));
    Bytes track = Uint(0xD7, 1);
    PutBytes(track, Uint(0x73C5, 0x5EED));
    PutBytes(track, Uint(0x83, 1));
    PutBytes(track, Text(0x86, options.webm ? "V_VP8" : "V_MPEG4/ISO/AVC"));
    Bytes segment = Element(0x1549A966, info);
    PutBytes(segment, Element(0x1654AE6B, Element(0xAE, track)));
    for (std::uint32_t c = 0; c < options.clusters; ++c) {
        Bytes cluster = Uint(0xE7, c * 1000);
        for (std::uint32_t b = 0; b < options.blocksPerCluster; ++b) {
            Bytes block = {0x81};
            PutBe16(block, b * 33);
            Put8(block, 0x80);  // key frame
            PutBytes(block, Noise(options.blockBytes, options.seed * 211 + c * 37 + b));
            PutBytes(cluster, Element(0xA3, block));
        }
        PutBytes(segment, Element(0x1F43B675, cluster, options.unknownSizes));
    }
    PutBytes(out, Element(0x18538067, segment, options.unknownSizes));
    return out;
}

std::vector<std::uint8_t> BuildRar5(const Rar5SampleOptions& options) {
    Bytes out = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};
    Bytes main;
    PutVint(main, 1);  // main archive header
    PutVint(main, 0);  // no extra area, no data
    PutVint(main, 0);  // archive flags
    PutBytes(out, Rar5Block(main));
    for (const auto& [name, data] : options.files) {
        Bytes file;
        PutVint(file, 2);       // file header
        PutVint(file, 0x0002);  // a data area follows
        PutVint(file, data.size());
        PutVint(file, 0x0004);  // file flags: the CRC-32 is given
        PutVint(file, data.size());
        PutVint(file, 0x20);  // attributes
        PutLe32(file, Crc32(data.data(), data.size()));
        PutVint(file, 0);  // stored, version 0
        PutVint(file, 0);  // Windows
        PutVint(file, name.size());
        PutText(file, name);
        PutBytes(out, Rar5Block(file));
        PutBytes(out, data);
    }
    if (options.endBlock) {
        Bytes end;
        PutVint(end, 5);
        PutVint(end, 0);
        PutVint(end, 0);
        PutBytes(out, Rar5Block(end));
    }
    return out;
}

Rar5SampleOptions PlainRar5Entries(std::uint32_t seed) {
    Rar5SampleOptions o;
    Bytes notes;
    PutText(notes, "Packing list for the trip\r\n");
    for (int i = 0; i < 40; ++i) PutText(notes, "item " + std::to_string(i * 7 + seed % 13) + "\r\n");
    o.files.push_back({"notes.txt", notes});
    o.files.push_back({"photos/list.bin", Noise(3000, seed)});
    return o;
}

std::vector<std::uint8_t> BuildMotionPhoto(const MotionPhotoSampleOptions& options) {
    const Bytes video = BuildIsoMedia({.brand = "mp42", .mediaBytes = options.videoBytes, .seed = options.seed});
    std::string packet;
    if (options.microVideo) {
        packet = XmpPacket("GCamera:MicroVideo=\"1\" GCamera:MicroVideoVersion=\"1\" GCamera:MicroVideoOffset=\"" +
                               std::to_string(video.size()) + "\" GCamera:MicroVideoPresentationTimestampUs=\"0\"",
                           "");
    } else {
        packet = XmpPacket("GCamera:MotionPhoto=\"1\" GCamera:MotionPhotoVersion=\"1\" "
                           "GCamera:MotionPhotoPresentationTimestampUs=\"0\"",
                           "<Container:Directory><rdf:Seq>" + DirectoryItem("image/jpeg", "Primary", 0) +
                               DirectoryItem("video/mp4", "MotionPhoto", video.size()) +
                               "</rdf:Seq></Container:Directory>");
    }
    JpegSampleOptions photo;
    photo.app = JpegApp::Exif;
    photo.width = 160;
    photo.height = 120;
    photo.seed = options.seed;
    photo.extraSegments.push_back(XmpSegment(packet));
    Bytes out = BuildJpeg(photo);
    PutBytes(out, video);
    return out;
}

std::vector<std::uint8_t> BuildUltraHdr(std::uint32_t seed) {
    JpegSampleOptions gainOptions;
    gainOptions.width = 40;
    gainOptions.height = 30;
    gainOptions.seed = seed + 1;
    const Bytes gain = BuildJpeg(gainOptions);

    // MPF: the TIFF header, an IFD of three entries, two MP entries.
    Bytes mpf;
    PutText(mpf, "MPF");
    Put8(mpf, 0);
    const std::size_t tiff = mpf.size();
    PutText(mpf, "II");
    PutLe16(mpf, 0x2A);
    PutLe32(mpf, 8);
    PutLe16(mpf, 3);
    PutLe16(mpf, 0xB000);  // version
    PutLe16(mpf, 7);
    PutLe32(mpf, 4);
    PutText(mpf, "0100");
    PutLe16(mpf, 0xB001);  // number of images
    PutLe16(mpf, 4);
    PutLe32(mpf, 1);
    PutLe32(mpf, 2);
    PutLe16(mpf, 0xB002);  // MP entries
    PutLe16(mpf, 7);
    PutLe32(mpf, 32);
    PutLe32(mpf, 8 + 2 + 3 * 12 + 4);
    PutLe32(mpf, 0);  // no next IFD
    const std::size_t entries = mpf.size();
    PutZeros(mpf, 32);

    const std::string packet = XmpPacket(
        "hdrgm:Version=\"1.0\"", "<Container:Directory><rdf:Seq>" + DirectoryItem("image/jpeg", "Primary", 0) +
                                     DirectoryItem("image/jpeg", "GainMap", gain.size()) +
                                     "</rdf:Seq></Container:Directory>");
    JpegSampleOptions primaryOptions;
    primaryOptions.app = JpegApp::Exif;
    primaryOptions.width = 120;
    primaryOptions.height = 90;
    primaryOptions.seed = seed;
    primaryOptions.extraSegments.push_back(XmpSegment(packet));
    primaryOptions.extraSegments.push_back(Segment(0xE2, mpf));
    Bytes primary = BuildJpeg(primaryOptions);
    // Where the MPF segment's data landed: its offsets count from its TIFF header.
    std::size_t at = 0;
    for (std::size_t i = 0; i + 4 <= primary.size(); ++i) {
        if (primary[i] == 'M' && primary[i + 1] == 'P' && primary[i + 2] == 'F' && primary[i + 3] == 0) {
            at = i;
            break;
        }
    }
    const std::size_t base = at + tiff;
    const std::size_t first = at + entries;
    SetLe32(primary, first, 0x20030000);  // base image, primary
    SetLe32(primary, first + 4, static_cast<std::uint32_t>(primary.size()));
    SetLe32(primary, first + 8, 0);
    SetLe32(primary, first + 16, 0);
    SetLe32(primary, first + 20, static_cast<std::uint32_t>(gain.size()));
    SetLe32(primary, first + 24, static_cast<std::uint32_t>(primary.size() - base));
    PutBytes(primary, gain);
    return primary;
}

}  // namespace qb::tools

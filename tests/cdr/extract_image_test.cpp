// Picture extractors (JPEG, GIF, BMP, PNG) on the sample builders' files:
// exact sizes, where the search resumes, rejections, undecided cases when
// the bytes run out, and hostile field values.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "src/cdr/extractor.h"
#include "src/cdr/type_table.h"
#include "tests/cdr/extractor_test_support.h"
#include "tools/sample_card/image_samples.h"

namespace qb::cdr {
namespace {

using namespace extractortest;
using tools::BuildBmp;
using tools::BuildGif;
using tools::BuildJpeg;
using tools::BuildPng;

// ---------------------------------------------------------------- JPEG --

TEST(JpegExtractor, RecordsJfifAndExifPicturesWithTheirExactSize) {
    const TypeSpec typeSpec = SpecFor(kTypeJpg);
    const Bytes jfif = BuildJpeg({});
    ExpectRecorded(ExtractJpeg(typeSpec, Concat(jfif, Filler(5000))), jfif.size(), "jpg");

    tools::JpegSampleOptions exif;
    exif.app = tools::JpegApp::Exif;
    exif.width = 120;
    exif.height = 90;
    const Bytes camera = BuildJpeg(exif);
    ASSERT_EQ(camera[3], 0xE1);
    ExpectRecorded(ExtractJpeg(typeSpec, Concat(camera, Filler(100))), camera.size(), "jpg");
}

TEST(JpegExtractor, ExifEndMarkerThreeThousandBytesInIsIncluded) {
    tools::JpegSampleOptions o;
    o.app = tools::JpegApp::Exif;
    o.totalSize = 3002;
    const Bytes jpeg = BuildJpeg(o);
    ASSERT_EQ(jpeg.size(), 3002u);
    ASSERT_EQ(jpeg[3000], 0xFF);
    ASSERT_EQ(jpeg[3001], 0xD9);
    // Another picture follows at once: its end marker must not be taken.
    ExpectRecorded(ExtractJpeg(SpecFor(kTypeJpg), Concat(jpeg, BuildJpeg({}))), 3002, "jpg");
}

TEST(JpegExtractor, ThumbnailEndMarkerInsideTheExifSegmentIsSteppedOver) {
    tools::JpegSampleOptions o;
    o.app = tools::JpegApp::Exif;
    o.exifThumbnail = true;
    const Bytes jpeg = BuildJpeg(o);
    const std::size_t thumbnailEnd = FindBytes(jpeg, {0xFF, 0xD9});
    ASSERT_LT(thumbnailEnd + 2, jpeg.size());  // the thumbnail's end marker comes first
    ExpectRecorded(ExtractJpeg(SpecFor(kTypeJpg), Concat(jpeg, Filler(300))), jpeg.size(), "jpg");
}

TEST(JpegExtractor, OneFillByteBeforeATableMarkerIsAccepted) {
    tools::JpegSampleOptions o;
    o.fillByteBeforeTables = true;
    const Bytes jpeg = BuildJpeg(o);
    ASSERT_NE(FindBytes(jpeg, {0xFF, 0xFF, 0xDB}), jpeg.size());
    ExpectRecorded(ExtractJpeg(SpecFor(kTypeJpg), Concat(jpeg, Filler(64))), jpeg.size(), "jpg");
}

TEST(JpegExtractor, SkipsHeadersWithoutTables) {
    const TypeSpec typeSpec = SpecFor(kTypeJpg);
    // Encoders that write no application segment start with the
    // quantisation tables; any APPn segment may come first.
    tools::JpegSampleOptions noApp;
    noApp.app = tools::JpegApp::None;
    const Bytes bare = BuildJpeg(noApp);
    ASSERT_EQ(bare[3], 0xDB);
    ExpectRecorded(ExtractJpeg(typeSpec, Concat(bare, Filler(64))), bare.size(), "jpg");
    Bytes app15 = BuildJpeg({});
    app15[3] = 0xEF;
    ExpectRecorded(ExtractJpeg(typeSpec, Concat(app15, Filler(64))), app15.size(), "jpg");
    Bytes comment = BuildJpeg({});
    comment[3] = 0xFE;
    ExpectContinue(ExtractJpeg(typeSpec, Concat(comment, Filler(64))), 3);

    tools::JpegSampleOptions noQuant;
    noQuant.quantisationTables = false;
    ExpectContinue(ExtractJpeg(typeSpec, Concat(BuildJpeg(noQuant), Filler(64))), 3);

    tools::JpegSampleOptions noHuffman;
    noHuffman.huffmanTables = false;
    ExpectContinue(ExtractJpeg(typeSpec, Concat(BuildJpeg(noHuffman), Filler(64))), 3);
}

TEST(JpegExtractor, UndecidedWhenTheBytesDoNotSuffice) {
    const TypeSpec typeSpec = SpecFor(kTypeJpg);
    const Bytes jpeg = BuildJpeg({});
    ExpectUndecided(ExtractJpeg(typeSpec, Head(jpeg, 127)));  // fewer than 128 bytes

    tools::JpegSampleOptions exif;
    exif.app = tools::JpegApp::Exif;
    exif.exifThumbnail = true;
    const Bytes camera = BuildJpeg(exif);
    ExpectUndecided(ExtractJpeg(typeSpec, Head(camera, 300)));  // the Exif segment runs past the end

    tools::JpegSampleOptions noEnd;
    noEnd.endMarker = false;
    ExpectUndecided(ExtractJpeg(typeSpec, BuildJpeg(noEnd)));  // no end marker
}

TEST(JpegExtractor, EndMarkerBeyondMaxLengthFromTheScanIsNotSearched) {
    tools::JpegSampleOptions o;
    o.totalSize = 20000;  // the padding lies before the tables, so the scan is short
    const Bytes jpeg = BuildJpeg(o);
    ExpectRecorded(ExtractJpeg(SpecFor(kTypeJpg, 2000), jpeg), jpeg.size(), "jpg");

    tools::JpegSampleOptions big;
    big.width = 400;
    big.height = 300;
    const Bytes large = BuildJpeg(big);
    ASSERT_GT(large.size(), 5000u);
    ExpectUndecided(ExtractJpeg(SpecFor(kTypeJpg, 1000), large));
}

TEST(JpegExtractor, HostileSegmentChainsEnd) {
    const TypeSpec typeSpec = SpecFor(kTypeJpg);
    // Empty segments, one after another to the end of the bytes.
    Bytes empty = {0xFF, 0xD8};
    while (empty.size() < 400000) empty.insert(empty.end(), {0xFF, 0xE0, 0x00, 0x02});
    ExpectUndecided(ExtractJpeg(typeSpec, empty));

    // A zero length moves the walk two bytes on, onto the length itself.
    Bytes zero = BuildJpeg({});
    zero[4] = 0;
    zero[5] = 0;
    ExpectContinue(ExtractJpeg(typeSpec, zero), 3);

    // Every byte FF: lengths of FFFF run past the bytes.
    Bytes ff(4096, 0xFF);
    ff[1] = 0xD8;
    ff[3] = 0xE1;
    ExpectUndecided(ExtractJpeg(typeSpec, ff));

    // A length that reaches exactly the end leaves nothing to read.
    Bytes exact(200, 0);
    exact[0] = 0xFF;
    exact[1] = 0xD8;
    exact[2] = 0xFF;
    exact[3] = 0xE0;
    exact[4] = 0x00;
    exact[5] = 198;
    ExpectUndecided(ExtractJpeg(typeSpec, exact));
}

// ----------------------------------------------------------------- GIF --

TEST(GifExtractor, RecordsStillAndAnimatedPicturesWithTheirExactSize) {
    const TypeSpec typeSpec = SpecFor(kTypeGif);
    for (bool gif89a : {true, false}) {
        tools::GifSampleOptions o;
        o.gif89a = gif89a;
        o.width = 90;
        o.height = 70;
        const Bytes gif = BuildGif(o);
        ExpectRecorded(ExtractGif(typeSpec, Concat(gif, Filler(50))), gif.size(), "gif");
    }
    tools::GifSampleOptions anim;
    anim.frames = 4;
    const Bytes gif = BuildGif(anim);
    ExpectRecorded(ExtractGif(typeSpec, Concat(gif, BuildGif({}))), gif.size(), "gif");
}

TEST(GifExtractor, TrailerAt4096GivesSize4098) {
    tools::GifSampleOptions o;
    o.totalSize = 4098;
    const Bytes gif = BuildGif(o);
    ASSERT_EQ(gif.size(), 4098u);
    ASSERT_EQ(gif[4096], 0x00);
    ASSERT_EQ(gif[4097], 0x3B);
    ExpectRecorded(ExtractGif(SpecFor(kTypeGif), Concat(gif, Filler(1000, 0))), 4098, "gif");
}

TEST(GifExtractor, EndsAtTheTrailerItsBlocksLeadTo) {
    // A block end and a 3B inside the image data are no trailer.
    Bytes gif = BuildGif({});
    const std::size_t early = 200;
    ASSERT_GT(gif.size(), early + 100);
    gif[early] = 0x00;
    gif[early + 1] = 0x3B;
    ExpectRecorded(ExtractGif(SpecFor(kTypeGif), Concat(gif, Filler(300, 0x3B))), gif.size(), "gif");
    // Blocks that cannot be followed: the first pair ends the file.
    Bytes broken = BuildGif({});
    broken[13 + 3 * 256] = 0x99;  // neither an extension, an image nor the trailer
    const std::size_t pair = FindBytes(broken, {0x00, 0x3B}, 6);
    ExpectRecorded(ExtractGif(SpecFor(kTypeGif), broken), pair + 2, "gif");
}

TEST(GifExtractor, RejectsOtherVersionsAndWaitsForTheTrailer) {
    const TypeSpec typeSpec = SpecFor(kTypeGif);
    Bytes other = BuildGif({});
    other[4] = '8';
    other[5] = 'b';
    ExpectContinue(ExtractGif(typeSpec, other), 4);

    tools::GifSampleOptions noTrailer;
    noTrailer.trailer = false;
    ExpectUndecided(ExtractGif(typeSpec, BuildGif(noTrailer)));
    ExpectUndecided(ExtractGif(typeSpec, Head(BuildGif({}), 5)));

    // The trailer lies beyond maxLength bytes from offset 6.
    const Bytes gif = BuildGif({});
    ExpectUndecided(ExtractGif(SpecFor(kTypeGif, gif.size() - 8), gif));
    ExpectRecorded(ExtractGif(SpecFor(kTypeGif, gif.size() - 6), gif), gif.size(), "gif");
}

// ----------------------------------------------------------------- BMP --

TEST(BmpExtractor, RecordsTheSizeTheFileHeaderStates) {
    const TypeSpec typeSpec = SpecFor(kTypeBmp);
    for (int bpp : {8, 24, 32}) {
        tools::BmpSampleOptions o;
        o.bitsPerPixel = bpp;
        o.infoHeaderSize = bpp == 32 ? 124 : 40;
        const Bytes bmp = BuildBmp(o);
        ExpectRecorded(ExtractBmp(typeSpec, Concat(bmp, Filler(77))), bmp.size(), "bmp");
    }
}

TEST(BmpExtractor, HeightLimitIs2000Rows) {
    const TypeSpec typeSpec = SpecFor(kTypeBmp);
    tools::BmpSampleOptions o;
    o.width = 2;
    o.height = 2000;
    const Bytes tall = BuildBmp(o);
    ExpectRecorded(ExtractBmp(typeSpec, tall), tall.size(), "bmp");
    o.height = 2001;
    ExpectContinue(ExtractBmp(typeSpec, BuildBmp(o)), 2);
    o.height = -30;  // rows stored top-down
    ExpectContinue(ExtractBmp(typeSpec, BuildBmp(o)), 2);
}

TEST(BmpExtractor, SkipsImplausibleHeaders) {
    const TypeSpec typeSpec = SpecFor(kTypeBmp);
    const Bytes good = BuildBmp({});
    const auto skipped = [&](auto change) {
        Bytes b = good;
        change(b);
        ExpectContinue(ExtractBmp(typeSpec, b), 2);
    };
    skipped([](Bytes& b) { SetLe32(b, 2, 100); });                            // size not above 100
    skipped([](Bytes& b) { SetLe32(b, 2, 2 * 1048576 + 1); });                // above maxLength
    skipped([](Bytes& b) { SetLe32(b, 14, 0); });                             // info-header size 0
    skipped([](Bytes& b) { SetLe32(b, 14, 1001); });                          // info-header size above 1000
    skipped([](Bytes& b) { SetLe32(b, 18, 0); });                             // no width
    skipped([](Bytes& b) { SetLe32(b, 18, 0x80000000u); });                   // negative width
    skipped([](Bytes& b) { SetLe32(b, 22, 0); });                             // no height
    ExpectContinue(ExtractBmp(typeSpec, Head(good, 99)), 2);                      // fewer than 100 bytes
}

TEST(BmpExtractor, UndecidedWhenTheFileRunsPastTheBytes) {
    const Bytes bmp = BuildBmp({});
    ExpectUndecided(ExtractBmp(SpecFor(kTypeBmp), Head(bmp, bmp.size() - 1)));
    tools::BmpSampleOptions o;
    o.fileSizeField = 1048576;  // claims more than is there
    ExpectUndecided(ExtractBmp(SpecFor(kTypeBmp), BuildBmp(o)));
}

// ----------------------------------------------------------------- PNG --

TEST(PngExtractor, WalksTheChunksToIend) {
    const TypeSpec typeSpec = SpecFor(kTypePng);
    const Bytes png = BuildPng({});
    ExpectRecorded(ExtractPng(typeSpec, Concat(png, Filler(100))), png.size(), "png");

    tools::PngSampleOptions many;
    many.width = 120;
    many.height = 80;
    many.idatChunkSize = 1000;  // some thirty IDAT chunks
    const Bytes big = BuildPng(many);
    ExpectRecorded(ExtractPng(typeSpec, Concat(big, BuildPng({}))), big.size(), "png");
}

TEST(PngExtractor, DimensionsOutside1To16384ContinueAfterTheSignature) {
    const TypeSpec typeSpec = SpecFor(kTypePng);
    tools::PngSampleOptions o;
    o.width = 1;
    o.height = 3200;  // a phone screenshot's height
    const Bytes tall = BuildPng(o);
    ExpectRecorded(ExtractPng(typeSpec, tall), tall.size(), "png");
    Bytes wide = BuildPng({});
    SetBe32(wide, 16, 16384);
    ExpectRecorded(ExtractPng(typeSpec, wide), wide.size(), "png");
    SetBe32(wide, 16, 16385);
    ExpectContinue(ExtractPng(typeSpec, wide), 8);
    Bytes zeroHeight = BuildPng({});
    SetBe32(zeroHeight, 20, 0);
    ExpectContinue(ExtractPng(typeSpec, zeroHeight), 8);
}

TEST(PngExtractor, BrokenChunksEndTheWalkWithoutRecording) {
    const TypeSpec typeSpec = SpecFor(kTypePng);
    const Bytes good = BuildPng({});
    const std::size_t second = 8 + 25;  // after the 13-byte IHDR chunk

    Bytes zero = good;
    SetBe32(zero, second, 0);
    ExpectContinue(ExtractPng(typeSpec, zero), static_cast<std::int64_t>(second));

    Bytes negative = good;
    SetBe32(negative, second, 0x80000010u);
    ExpectContinue(ExtractPng(typeSpec, negative), static_cast<std::int64_t>(second));

    // The chunk after IHDR has a type that is not text: the walk stops at IHDR.
    Bytes binaryType = good;
    binaryType[second + 4] = 0x01;
    ExpectContinue(ExtractPng(typeSpec, binaryType), 8);
}

TEST(PngExtractor, ChunkRunningPastTheBytesIsLeftToTheReRead) {
    const Bytes png = BuildPng({});
    const std::size_t idat = FindBytes(png, {'I', 'D', 'A', 'T'}) - 4;
    const Bytes cut = Head(png, idat + 20);
    // Fewer bytes than maxLength: a re-read of maxLength bytes may hold the chunk.
    ExpectUndecided(ExtractPng(SpecFor(kTypePng), cut));
    // maxLength bytes were given already: the walk ends at that chunk.
    ExpectContinue(ExtractPng(SpecFor(kTypePng, cut.size()), cut), static_cast<std::int64_t>(idat));

    tools::PngSampleOptions noEnd;
    noEnd.iend = false;
    const Bytes unended = BuildPng(noEnd);
    ExpectUndecided(ExtractPng(SpecFor(kTypePng), unended));
    // The last chunk ends with the bytes, so the next chunk's length and type
    // lie outside them: undecided even when maxLength bytes were given.
    ExpectUndecided(ExtractPng(SpecFor(kTypePng, unended.size()), unended));
    ExpectUndecided(ExtractPng(SpecFor(kTypePng, unended.size() + 7), Concat(unended, Filler(7, 'a'))));
    ExpectUndecided(ExtractPng(SpecFor(kTypePng), Head(png, 99)));
}

TEST(PngExtractor, IendClaimingMoreBytesIsCutToTheBytesGiven) {
    Bytes png = BuildPng({});
    SetBe32(png, png.size() - 12, 0x00100000);  // IEND's length field
    png = Concat(png, Filler(40));
    ExpectRecorded(ExtractPng(SpecFor(kTypePng), png), png.size(), "png");
}

TEST(PngExtractor, HostileChunkLengthsEnd) {
    Bytes png = BuildPng({});
    SetBe32(png, 8 + 25, 0x7FFFFFFF);  // as large as a positive length gets
    ExpectUndecided(ExtractPng(SpecFor(kTypePng), png));
    ExpectContinue(ExtractPng(SpecFor(kTypePng, png.size()), png), 8 + 25);

    // A long run of one-byte "aaaa" chunks is walked to its end.
    Bytes chain(png.begin(), png.begin() + 33);
    while (chain.size() < 200000) {
        const Bytes chunk = {0, 0, 0, 1, 'a', 'a', 'a', 'a', 0x55, 0, 0, 0, 0};
        chain.insert(chain.end(), chunk.begin(), chunk.end());
    }
    ExpectUndecided(ExtractPng(SpecFor(kTypePng), chain));
}

}  // namespace
}  // namespace qb::cdr

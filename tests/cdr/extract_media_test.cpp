// Video and audio extractors (ASF, QuickTime, RIFF, MPEG program stream) on
// the sample builders' files: exact sizes, where the search resumes,
// rejections, undecided cases when the bytes run out, and hostile inputs.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "src/cdr/extractor.h"
#include "src/cdr/type_table.h"
#include "tests/cdr/extractor_test_support.h"
#include "tools/sample_card/media_samples.h"

namespace qb::cdr {
namespace {

using namespace extractortest;
using tools::BuildAsf;
using tools::BuildAvi;
using tools::BuildMpeg;
using tools::BuildQuickTime;
using tools::BuildWav;

// ----------------------------------------------------------------- ASF --

TEST(AsfExtractor, RecordsTheFileSizeOfTheFilePropertiesObject) {
    const Bytes wmv = BuildAsf({});
    ASSERT_EQ(Le32(wmv, 70), wmv.size());
    const ExtractResult r = ExtractAsf(SpecFor(kTypeWmv), Concat(wmv, Filler(1000, 0x55)));
    ExpectRecorded(r, wmv.size(), "wmv");
    EXPECT_TRUE(r.note.empty());
}

TEST(AsfExtractor, ImplausibleHeaderObjectWritesTheErrorLine) {
    const TypeSpec typeSpec = SpecFor(kTypeWmv);
    tools::AsfSampleOptions o;
    o.objectCountField = 0;
    const Bytes noObjects = BuildAsf(o);
    const std::uint32_t headerSize = Le32(noObjects, 16);
    ExtractResult r = ExtractAsf(typeSpec, noObjects);
    ExpectContinue(r, 30);
    EXPECT_EQ(r.note, "WMV err num_header_objs=0 headerSize=" + std::to_string(headerSize) + "\n");

    o.objectCountField = 0xFFFFFFFF;
    r = ExtractAsf(typeSpec, BuildAsf(o));
    ExpectContinue(r, 30);
    EXPECT_EQ(r.note, "WMV err num_header_objs=-1 headerSize=" + std::to_string(headerSize) + "\n");

    tools::AsfSampleOptions reserved;
    reserved.reservedByteField = 0;
    r = ExtractAsf(typeSpec, BuildAsf(reserved));
    ExpectContinue(r, 30);
    EXPECT_EQ(r.note, "WMV err num_header_objs=4 headerSize=" + std::to_string(headerSize) + "\n");

    tools::AsfSampleOptions zeroSize;
    zeroSize.headerSizeField = 0;
    r = ExtractAsf(typeSpec, BuildAsf(zeroSize));
    ExpectContinue(r, 30);
    EXPECT_EQ(r.note, "WMV err num_header_objs=4 headerSize=0\n");

    tools::AsfSampleOptions huge;
    huge.headerSizeField = 0xFFFFFFFFFFFFFFFFull;  // any non-zero size passes
    ExpectRecorded(ExtractAsf(typeSpec, BuildAsf(huge)), BuildAsf(huge).size(), "wmv");
}

TEST(AsfExtractor, UndecidedWithoutAPlausibleFileSize) {
    const TypeSpec typeSpec = SpecFor(kTypeWmv);
    const Bytes wmv = BuildAsf({});
    ExpectUndecided(ExtractAsf(typeSpec, Head(wmv, 69)));
    ExpectUndecided(ExtractAsf(typeSpec, Head(wmv, wmv.size() - 1)));  // the file runs past the bytes

    tools::AsfSampleOptions noProperties;
    noProperties.fileProperties = false;
    ExpectUndecided(ExtractAsf(typeSpec, BuildAsf(noProperties)));

    for (std::uint64_t bad : {0ull, 40ull * 1048576 + 1}) {
        tools::AsfSampleOptions o;
        o.fileSizeField = bad;
        ExpectUndecided(ExtractAsf(typeSpec, BuildAsf(o)));
    }
    // The identifier lies beyond maxLength bytes from offset 30.
    ExpectUndecided(ExtractAsf(SpecFor(kTypeWmv, 5), wmv));
    // The file size field itself lies outside the bytes.
    ExpectUndecided(ExtractAsf(typeSpec, Head(wmv, 72)));
}

// ----------------------------------------------------------- QuickTime --

// The file starts 4 bytes before the header: those 4 bytes are the lead-in.
ExtractResult Quick(const TypeSpec& typeSpec, const Bytes& file) {
    const std::span<const std::uint8_t> all(file);
    return ExtractQuickTimeWithLeadIn(typeSpec, all.first(4), all.subspan(4));
}

void ExpectMovie(const ExtractResult& r, std::uint64_t size) {
    ASSERT_TRUE(r.resume.has_value());
    ASSERT_TRUE(r.file.has_value());
    EXPECT_EQ(r.file->start, -4);
    EXPECT_EQ(r.file->size, size);
    EXPECT_EQ(r.file->suffix, "mov");
    EXPECT_EQ(*r.resume, static_cast<std::int64_t>(size) - 4);
}

TEST(QuickTimeExtractor, WalksMovieFreeWideAndMediaAtoms) {
    const TypeSpec typeSpec = SpecFor(kTypeMov);
    const Bytes mov = BuildQuickTime({});
    ASSERT_EQ(FindText(mov, "moov"), 4u);
    ExpectMovie(Quick(typeSpec, mov), mov.size());

    tools::QuickTimeSampleOptions o;
    o.freeBytes = 300;
    o.mediaBytes = 20000;
    const Bytes spaced = BuildQuickTime(o);
    ExpectMovie(Quick(typeSpec, Concat(spaced, Filler(100, 0x55))), spaced.size());
}

TEST(QuickTimeExtractor, UnknownAtomAfterTheMediaEndsTheFileBeforeIt) {
    tools::QuickTimeSampleOptions o;
    o.wideAtom = false;
    o.trailingAtomType = "junk";
    const Bytes mov = BuildQuickTime(o);
    const std::size_t junk = FindText(mov, "junk") - 4;
    ExpectMovie(Quick(SpecFor(kTypeMov), mov), junk);
}

TEST(QuickTimeExtractor, MovieWithoutMediaDataIsNotRecorded) {
    tools::QuickTimeSampleOptions o;
    o.mediaData = false;
    o.wideAtom = false;
    o.trailingAtomType = "udta";
    const Bytes mov = BuildQuickTime(o);
    const std::size_t udta = FindText(mov, "udta") - 4;
    ExpectContinue(Quick(SpecFor(kTypeMov), mov), static_cast<std::int64_t>(udta) - 4);
}

TEST(QuickTimeExtractor, PreviewFileIsFoundAtItsPnotAtom) {
    tools::QuickTimeSampleOptions o;
    o.preview = true;
    o.trailingAtomType = "skip";
    const Bytes mov = BuildQuickTime(o);
    ASSERT_EQ(FindText(mov, "pnot"), 4u);
    ExpectMovie(Quick(SpecFor(kTypeMovPnot), mov), FindText(mov, "skip") - 4);
}

TEST(QuickTimeExtractor, ImplausibleAtomSizesContinueEightBytesIntoTheAtom) {
    const TypeSpec typeSpec = SpecFor(kTypeMov);
    tools::QuickTimeSampleOptions o;
    o.movieSizeField = 0;
    ExpectContinue(Quick(typeSpec, BuildQuickTime(o)), 4);
    o.movieSizeField = 40 * 1048576 + 1;
    ExpectContinue(Quick(typeSpec, BuildQuickTime(o)), 4);

    // The mdat atom (the third) is too large: continue 8 bytes into it.
    Bytes mov = BuildQuickTime({});
    const std::size_t mdat = FindText(mov, "mdat") - 4;
    SetBe32(mov, mdat, 0);
    ExpectContinue(Quick(typeSpec, mov), static_cast<std::int64_t>(mdat) + 4);
}

TEST(QuickTimeExtractor, AtomRunningPastTheBytesIsUndecidedUnlessMaxLengthWasGiven) {
    const Bytes mov = BuildQuickTime({});
    const Bytes cut = Head(mov, mov.size() - 100);
    ExpectUndecided(Quick(SpecFor(kTypeMov), cut));
    // maxLength not above the bytes given: continue 8 bytes into mdat.
    const std::size_t mdat = FindText(mov, "mdat") - 4;
    ExpectContinue(Quick(SpecFor(kTypeMov, cut.size()), cut), static_cast<std::int64_t>(mdat) + 4);
}

TEST(QuickTimeExtractor, NeedsTheFourBytesBeforeTheHeader) {
    const Bytes mov = BuildQuickTime({});
    const std::span<const std::uint8_t> all(mov);
    ExpectUndecided(ExtractQuickTime(SpecFor(kTypeMov), all.subspan(4)));
    ExpectUndecided(ExtractQuickTimeWithLeadIn(SpecFor(kTypeMov), all.subspan(1, 3), all.subspan(4)));
    // A longer lead-in: only its last four bytes count.
    const Bytes shifted = Concat(Filler(9, 0x55), mov);
    const std::span<const std::uint8_t> s(shifted);
    ExpectMovie(ExtractQuickTimeWithLeadIn(SpecFor(kTypeMov), s.first(13), s.subspan(13)), mov.size());
}

TEST(QuickTimeExtractor, NextAtomTypeIsReadOnlyWhenMoreThanFourBytesFollow) {
    const TypeSpec typeSpec = SpecFor(kTypeMov);
    const Bytes mov = BuildQuickTime({});
    // Up to four bytes after the last atom: the end of the bytes ends the walk.
    ExpectMovie(Quick(typeSpec, mov), mov.size());
    ExpectMovie(Quick(typeSpec, Concat(mov, Filler(4, 0x55))), mov.size());
    // Five to seven: the next atom's type lies partly outside, so more bytes
    // are needed to decide.
    for (std::size_t extra = 5; extra < 8; ++extra) ExpectUndecided(Quick(typeSpec, Concat(mov, Filler(extra, 0x55))));
    // Eight: the type is there and is no atom the walk steps over.
    ExpectMovie(Quick(typeSpec, Concat(mov, Filler(8, 0x55))), mov.size());
}

TEST(QuickTimeExtractor, LongAtomChainsAreWalkedToTheEnd) {
    // Eight-byte "free" atoms to the end of the bytes, no media: not recorded.
    Bytes frees;
    while (frees.size() < 400000) frees.insert(frees.end(), {0, 0, 0, 8, 'f', 'r', 'e', 'e'});
    ExpectContinue(Quick(SpecFor(kTypeMov), frees), static_cast<std::int64_t>(frees.size()) - 4);

    // The same with an empty "mdat" among them: recorded whole.
    std::copy_n("mdat", 4, frees.begin() + 8 * 1000 + 4);
    ExpectMovie(Quick(SpecFor(kTypeMov), frees), frees.size());

    // A size-1 atom moves the walk one byte, onto bytes that are no atom type.
    Bytes one = {0, 0, 0, 1, 'm', 'o', 'o', 'v', 0, 0, 0, 8, 'm', 'd', 'a', 't'};
    ExpectContinue(Quick(SpecFor(kTypeMov), Concat(one, Filler(64, 0x55))), -3);
}

// ---------------------------------------------------------------- RIFF --

TEST(RiffExtractor, WaveWithSizeField36000Is36008BytesAsWav) {
    tools::WavSampleOptions o;
    o.dataBytes = 36000 - 4 - 24 - 8;
    const Bytes wav = BuildWav(o);
    ASSERT_EQ(Le32(wav, 4), 36000u);
    ASSERT_EQ(wav.size(), 36008u);
    const TypeSpec typeSpec = SpecFor(kTypeRif);
    ExpectRecorded(ExtractRiff(typeSpec, Concat(wav, Filler(5000, 0x55))), 36008, "wav");
    EXPECT_EQ(typeSpec.suffix, "rif");  // the group keeps its name
}

TEST(RiffExtractor, AviIsRecordedAsAvi) {
    const Bytes avi = BuildAvi({});
    ExpectRecorded(ExtractRiff(SpecFor(kTypeRif), Concat(avi, BuildWav({}))), avi.size(), "avi");
    tools::WavSampleOptions info;
    info.infoList = true;
    info.channels = 2;
    const Bytes wav = BuildWav(info);
    ExpectRecorded(ExtractRiff(SpecFor(kTypeRif), wav), wav.size(), "wav");
}

TEST(RiffExtractor, ExtensionFilterOfTheSingleTypeIds) {
    const Bytes avi = BuildAvi({});
    const Bytes wav = BuildWav({});
    ExpectRecorded(ExtractRiff(SpecFor(kTypeAvi), avi), avi.size(), "avi");
    ExpectRecorded(ExtractRiff(SpecFor(kTypeWav), wav), wav.size(), "wav");
    // Filtered out: nothing recorded, the file is still passed over.
    ExpectContinue(ExtractRiff(SpecFor(kTypeAvi), wav), static_cast<std::int64_t>(wav.size()));
    ExpectContinue(ExtractRiff(SpecFor(kTypeWav), avi), static_cast<std::int64_t>(avi.size()));
}

TEST(RiffExtractor, SkipsOtherFormsAndImplausibleSizes) {
    const TypeSpec typeSpec = SpecFor(kTypeRif);
    Bytes other = BuildWav({});
    std::copy_n("CDXA", 4, other.begin() + 8);
    ExpectContinue(ExtractRiff(typeSpec, other), 4);

    Bytes aviWithoutList = BuildAvi({});
    std::copy_n("JUNK", 4, aviWithoutList.begin() + 12);
    ExpectContinue(ExtractRiff(typeSpec, aviWithoutList), 4);

    for (std::uint32_t size : {0u, 20u * 1048576u - 7u, 0xFFFFFFFFu}) {
        tools::WavSampleOptions o;
        o.sizeField = size;
        ExpectContinue(ExtractRiff(typeSpec, BuildWav(o)), 4);
    }
    tools::WavSampleOptions largest;
    largest.sizeField = 20u * 1048576u - 8u;  // exactly maxLength: left to the re-read
    ExpectUndecided(ExtractRiff(typeSpec, BuildWav(largest)));
}

TEST(RiffExtractor, FileRunningPastTheBytesIsNotRecordedFromThem) {
    const TypeSpec typeSpec = SpecFor(kTypeRif);
    const Bytes wav = BuildWav({});
    // Not recorded from these bytes; a re-read of maxLength bytes may hold it whole.
    ExpectUndecided(ExtractRiff(typeSpec, Head(wav, wav.size() - 1)));
    ExpectUndecided(ExtractRiff(typeSpec, Head(wav, 11)));
    ExpectRecorded(ExtractRiff(typeSpec, wav), wav.size(), "wav");
}

// ---------------------------------------------------------------- MPEG --

std::size_t LastPack(const Bytes& mpg) {
    std::size_t last = 0;
    for (std::size_t i = 0; i + 4 <= mpg.size(); ++i)
        if (mpg[i] == 0 && mpg[i + 1] == 0 && mpg[i + 2] == 1 && mpg[i + 3] == 0xBA) last = i;
    return last;
}

TEST(MpegExtractor, WalksPacksAndPacketsToTheEndCode) {
    const TypeSpec typeSpec = SpecFor(kTypeMpg);
    const Bytes mpg = BuildMpeg({});
    ASSERT_EQ(mpg[15], 0xBB);
    ExpectRecorded(ExtractMpeg(typeSpec, Concat(mpg, Filler(3000, 0x55))), mpg.size(), "mpg");

    tools::MpegSampleOptions videoOnly;
    videoOnly.audio = false;
    videoOnly.packetPayload = 30000;
    videoOnly.packs = 5;
    const Bytes big = BuildMpeg(videoOnly);
    ExpectRecorded(ExtractMpeg(typeSpec, Concat(big, BuildMpeg({}))), big.size(), "mpg");
}

TEST(MpegExtractor, SkipsStreamsWithoutASystemHeaderAfterThePackHeader) {
    const TypeSpec typeSpec = SpecFor(kTypeMpg);
    tools::MpegSampleOptions mpeg2;
    mpeg2.mpeg2 = true;  // the system header follows a 14-byte pack header
    const Bytes program = BuildMpeg(mpeg2);
    ExpectRecorded(ExtractMpeg(typeSpec, Concat(program, Filler(100))), program.size(), "mpg");
    tools::MpegSampleOptions none;
    none.systemHeader = false;
    ExpectContinue(ExtractMpeg(typeSpec, BuildMpeg(none)), 4);
    ExpectUndecided(ExtractMpeg(typeSpec, Head(BuildMpeg({}), 15)));
}

TEST(MpegExtractor, StreamEndingWithoutEndCode) {
    const TypeSpec typeSpec = SpecFor(kTypeMpg);
    tools::MpegSampleOptions o;
    o.endCode = false;
    const Bytes stream = BuildMpeg(o);
    // The stream ends after its last pack's packets.
    ExpectRecorded(ExtractMpeg(typeSpec, Concat(stream, Filler(100, 0x55))), stream.size(), "mpg");
    // The bytes end right after the last packet: more may follow, unless
    // the disk ends there.
    ExpectUndecided(ExtractMpeg(typeSpec, stream));
    CarveInput last(stream);
    last.complete = true;
    ExpectRecorded(ExtractMpeg(typeSpec, last), stream.size(), "mpg");
    // Fewer than four whole packs: not taken without the end code.
    o.packs = 3;
    const Bytes three = BuildMpeg(o);
    ExpectContinue(ExtractMpeg(typeSpec, Concat(three, Filler(100, 0x55))), static_cast<std::int64_t>(LastPack(three)) + 4);
}

TEST(MpegExtractor, DamagedPackets) {
    const TypeSpec typeSpec = SpecFor(kTypeMpg);
    const Bytes mpg = BuildMpeg({});
    const std::size_t pack = LastPack(mpg);
    const std::size_t packet = pack + 12;  // the last pack's video packet

    Bytes zero = mpg;
    SetBe16(zero, packet + 4, 0);
    ExpectContinue(ExtractMpeg(typeSpec, zero), static_cast<std::int64_t>(pack) + 4);

    Bytes huge = mpg;
    SetBe16(huge, packet + 4, 60000);  // above 51 200 and past the bytes
    ExpectContinue(ExtractMpeg(typeSpec, huge), static_cast<std::int64_t>(pack) + 4);

    // A packet cut by the end of the bytes: undecided while more bytes may
    // come, else the stream ends before it.
    const Bytes cut = Head(mpg, packet + 500);
    ExpectUndecided(ExtractMpeg(typeSpec, cut));
    ExpectRecorded(ExtractMpeg(SpecFor(kTypeMpg, 1000), cut), packet, "mpg", static_cast<std::int64_t>(packet));

    // After the first pack, a start code with stream id 00 and then no
    // start code within 2 048 bytes: given up.
    const std::size_t second = FindText(mpg, std::string("\0\0\x01\xBA", 4), 4);
    const Bytes gap = Concat(Concat(Head(mpg, second), {0x00, 0x00, 0x01, 0x00}), Filler(4000, 0x55));
    ExpectContinue(ExtractMpeg(typeSpec, gap), 4);
}

TEST(MpegExtractor, ShortStreamsAreSkipped) {
    tools::MpegSampleOptions o;
    o.packs = 1;
    o.packetPayload = 100;
    o.audio = false;
    const Bytes tiny = BuildMpeg(o);
    ASSERT_LT(tiny.size(), 1024u);
    ExpectContinue(ExtractMpeg(SpecFor(kTypeMpg), Concat(tiny, Filler(2000, 0x55))), 4);
}

TEST(MpegExtractor, RepeatedPackStartCodesAreWalkedOnce) {
    // A pack and system header, then nothing but pack start codes: every
    // round moves past the pack it starts from.
    Bytes stream = Head(BuildMpeg({}), 30);
    ASSERT_EQ(stream[15], 0xBB);
    while (stream.size() < 400000) stream.insert(stream.end(), {0x00, 0x00, 0x01, 0xBA});
    ExpectUndecided(ExtractMpeg(SpecFor(kTypeMpg), stream));
    CarveInput all(stream);
    all.complete = true;
    ExpectContinue(ExtractMpeg(SpecFor(kTypeMpg), all), 4);
}

}  // namespace
}  // namespace qb::cdr

// The extractors of what a phone holds today (ISO media, WebP, MP3, Ogg,
// SQLite, AMR, FLAC, Matroska, RAR 5) and the JPEG, ZIP, PE, OLE and HTML
// rules of today's files, on the sample builders' files: exact sizes and
// names, rejections, undecided cases when the bytes run out, far reads of
// long files' headers, and hostile fields. Files from real encoders are
// recovered whole in the real-files card (card_recovery_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "src/cdr/extractor.h"
#include "src/cdr/type_table.h"
#include "tests/cdr/extractor_test_support.h"
#include "tools/sample_card/archive_samples.h"
#include "tools/sample_card/document_samples.h"
#include "tools/sample_card/image_samples.h"
#include "tools/sample_card/phone_samples.h"

namespace qb::cdr {
namespace {

using namespace extractortest;
using namespace tools;

// Far reads served from a whole file, counted.
class FarFile final : public FarBytes {
public:
    explicit FarFile(Bytes bytes) : bytes_(std::move(bytes)) {}
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        ++reads;
        if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
        return true;
    }
    mutable int reads = 0;

private:
    Bytes bytes_;
};

struct Case {
    std::string name;
    int typeId;
    Bytes file;
    std::string suffix;
};

// Recorded from the header with this size and name; the search resumes
// at its end (a ZIP's one byte before).
void ExpectWhole(const ExtractResult& r, std::uint64_t size, const std::string& suffix) {
    ASSERT_TRUE(r.file.has_value());
    EXPECT_EQ(r.file->start, 0);
    EXPECT_EQ(r.file->size, size);
    EXPECT_EQ(r.file->suffix, suffix);
    ASSERT_TRUE(r.resume.has_value());
    EXPECT_GE(*r.resume + 1, static_cast<std::int64_t>(size));
}

// Every byte given, and no more to come: the disk ends there.
CarveInput Complete(const Bytes& bytes) {
    CarveInput input(bytes);
    input.complete = true;
    return input;
}

// Every builder's file, recorded whole with its name, whatever follows it.
TEST(PhoneMedia, RecordsEachFileWholeWithItsName) {
    const std::vector<Case> cases = {
        {"mp4 media first", kTypeIsoMedia, BuildIsoMedia({.brand = "mp42"}), "mp4"},
        {"mp4 movie first", kTypeIsoMedia, BuildIsoMedia({.mediaFirst = false}), "mp4"},
        {"mp4 64-bit media size", kTypeIsoMedia, BuildIsoMedia({.largeSize = true, .freeBox = false}), "mp4"},
        {"mov", kTypeIsoMedia, BuildIsoMedia({.brand = "qt  "}), "mov"},
        {"3gp", kTypeIsoMedia, BuildIsoMedia({.brand = "3gp6"}), "3gp"},
        {"m4a", kTypeIsoMedia, BuildIsoMedia({.brand = "M4A "}), "m4a"},
        {"heic", kTypeIsoMedia, BuildIsoMedia({.brand = "heic", .picture = true}), "heic"},
        {"heif named by a compatible brand", kTypeIsoMedia, BuildIsoMedia({.brand = "mif1", .picture = true}), "heif"},
        {"webp lossy", kTypeWebp, BuildWebp({.kind = WebpKind::Lossy}), "webp"},
        {"webp lossless", kTypeWebp, BuildWebp({.kind = WebpKind::Lossless, .dataBytes = 1001}), "webp"},
        {"webp animated", kTypeWebp, BuildWebp({.kind = WebpKind::Animated}), "webp"},
        {"mp3 with ID3v2", kTypeMp3, BuildMp3({}), "mp3"},
        {"mp3 bare with ID3v1", kTypeMp3, BuildMp3({.id3v2 = false, .id3v1 = true}), "mp3"},
        {"opus", kTypeOgg, BuildOggOpus({}), "opus"},
        {"opus without its end page", kTypeOgg, BuildOggOpus({.endOfStream = false}), "opus"},
        {"sqlite", kTypeSqlite, BuildSqlite({}), "db"},
        {"sqlite 64 KiB pages", kTypeSqlite, BuildSqlite({.pageSize = 65536, .pages = 2}), "db"},
        {"amr", kTypeAmr, BuildAmr({}), "amr"},
        {"amr wide band", kTypeAmr, BuildAmr({.wideBand = true}), "amr"},
        {"flac", kTypeFlac, BuildFlac({}), "flac"},
        {"webm", kTypeMatroska, BuildMatroska({}), "webm"},
        {"matroska written live", kTypeMatroska, BuildMatroska({.webm = false, .unknownSizes = true}), "mkv"},
        {"rar 5", kTypeRar, BuildRar5(PlainRar5Entries(3)), "rar"},
        {"motion photo", kTypeJpg, BuildMotionPhoto({}), "jpg"},
        {"motion photo, MicroVideo", kTypeJpg, BuildMotionPhoto({.microVideo = true}), "jpg"},
        {"ultra hdr", kTypeJpg, BuildUltraHdr(), "jpg"},
        {"pe32+ with symbols", kTypeExe, BuildPe({.pe32Plus = true, .symbols = 30}), "exe"},
        {"pe32+ library", kTypeExe, BuildPe({.library = true, .pe32Plus = true}), "dll"},
        {"docx", kTypeZip, BuildZip(OfficeOpenXmlEntries("word")), "docx"},
        {"xlsx", kTypeZip, BuildZip(OfficeOpenXmlEntries("xl")), "xlsx"},
        {"pptx", kTypeZip, BuildZip(OfficeOpenXmlEntries("ppt")), "pptx"},
        {"html doctype", kTypeHtm, BuildHtml({.doctype = true}), "htm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::uint8_t filler : {0x00, 0xFF, 0x41}) {
            ExpectWhole(ExtractorFor(c.typeId)(SpecFor(c.typeId), WithTail(c.file, 4096, filler)), c.file.size(),
                        c.suffix);
        }
    }
}

TEST(PhoneMedia, OleWith4096ByteSectors) {
    OleSampleOptions o = WordDocumentStreams();
    o.largeSectors = true;
    const Bytes doc = BuildOle(o).bytes;
    const ExtractResult r = ExtractOle(SpecFor(kTypeOle), WithTail(doc, 65536));
    ASSERT_TRUE(r.file.has_value());
    EXPECT_EQ(r.file->suffix, "doc");
    EXPECT_EQ(r.file->size % 4096, 0u);
    EXPECT_GE(r.file->size, doc.size());
}

TEST(PhoneMedia, ZipDocumentsAreNamedByWhatTheyHold) {
    auto entries = [](std::vector<std::string> names) {
        ZipSampleOptions o;
        for (const std::string& n : names) o.entries.push_back({n, Bytes(200, 'x')});
        return BuildZip(o);
    };
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {entries({"AndroidManifest.xml", "classes.dex", "lib/Main.class"}), "apk"},
        {entries({"META-INF/MANIFEST.MF", "app/Main.class"}), "jar"},
        {entries({"content.xml", "[Content_Types].xml"}), "sx"},
        {entries({"notes.txt"}), "zip"},
    };
    for (const auto& [zip, suffix] : cases) ExpectWhole(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 100)), zip.size(), suffix);
    for (const auto& [mime, suffix] : std::vector<std::pair<std::string, std::string>> {
             {"application/vnd.oasis.opendocument.spreadsheet", "ods"}, {"application/epub+zip", "epub"}}) {
        ZipSampleOptions o = OpenOfficeEntries(OpenOfficeKind::Calc);
        o.entries.front().data.assign(mime.begin(), mime.end());
        const Bytes zip = BuildZip(o);
        ExpectWhole(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 100)), zip.size(), suffix);
    }
}

TEST(PhoneMedia, ZipEndsWithItsOwnEndRecord) {
    // A stored archive inside, and entries whose sizes follow their data:
    // the first end record found is the inner one's; the outer one closes
    // the archive. With the outer record past the bytes, more are needed.
    ZipSampleOptions o = OfficeOpenXmlEntries("word");
    for (ZipEntry& e : o.entries) e.dataDescriptor = true;
    o.entries.push_back({"word/embeddings/inner.zip", BuildZip(PlainZipEntries(4)), ZipMethod::Stored, true});
    const Bytes zip = BuildZip(o);
    ExpectWhole(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 200)), zip.size(), "docx");
    ExpectUndecided(ExtractZip(SpecFor(kTypeZip), Head(zip, zip.size() - 30)));
}

TEST(PhoneMedia, IsoMediaHeadersAreReadWhereTheyLie) {
    // Only the start of a long video is given: its box headers are read far
    // ahead, a few small reads, and it is recorded whole. Without far reads
    // it stays undecided; when the disk ends short of it, it is passed over.
    const Bytes video = BuildIsoMedia({.brand = "mp42", .mediaBytes = 3'000'000, .largeSize = true});
    const FarFile far(WithTail(video, 1000));
    const Bytes head = Head(video, 600);
    CarveInput start(head);
    start.far = &far;
    ExpectRecorded(ExtractIsoMedia(SpecFor(kTypeIsoMedia), start), video.size(), "mp4");
    EXPECT_LE(far.reads, 8);
    ExpectUndecided(ExtractIsoMedia(SpecFor(kTypeIsoMedia), head));
    const FarFile cut(Head(video, video.size() - 1));
    start.far = &cut;
    ExpectContinue(ExtractIsoMedia(SpecFor(kTypeIsoMedia), start), 28);
}

// The size of the movie box that ends a file built with its media first.
std::size_t MovieSize(const Bytes& mp4) {
    const std::size_t moov = FindText(mp4, "moov") - 4;
    return mp4.size() - moov;
}

TEST(PhoneMedia, IsoMediaRejectionsAndEnds) {
    const TypeSpec type = SpecFor(kTypeIsoMedia);
    const Bytes mp4 = BuildIsoMedia({});
    Bytes shortFtyp = mp4;
    shortFtyp[3] = 12;
    ExpectContinue(ExtractIsoMedia(type, shortFtyp), 8);
    Bytes binaryBrand = mp4;
    binaryBrand[8] = 0x01;
    ExpectContinue(ExtractIsoMedia(type, binaryBrand), 8);
    // Media data without a movie.
    const Bytes mediaOnly = Head(mp4, mp4.size() - MovieSize(mp4));
    ExpectContinue(ExtractIsoMedia(type, Complete(mediaOnly)), 28);
    // Two files back to back: the second's "ftyp" ends the first.
    ExpectRecorded(ExtractIsoMedia(type, Concat(mp4, mp4)), mp4.size(), "mp4");
    // A box of size 0 runs to an end that cannot be known; one smaller than
    // its header is no box: the walk ends before either.
    for (const std::uint32_t size : {0u, 7u}) {
        Bytes b = Concat(mp4, {0, 0, 0, 0, 'f', 'r', 'e', 'e'});
        SetBe32(b, mp4.size(), size);
        ExpectRecorded(ExtractIsoMedia(type, WithTail(b, 100)), mp4.size(), "mp4");
    }
    // A 64-bit size that no disk holds.
    const Bytes huge = Concat(mp4, {0, 0, 0, 1, 'm', 'd', 'a', 't', 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    ExpectRecorded(ExtractIsoMedia(type, Complete(huge)), mp4.size(), "mp4");
}

TEST(PhoneMedia, RejectionsOfTheNewTypes) {
    struct Reject {
        std::string name;
        int typeId;
        Bytes file;
    };
    auto patched = [](Bytes b, std::size_t at, std::vector<std::uint8_t> with) {
        std::copy(with.begin(), with.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    const Bytes webp = BuildWebp({});
    const Bytes sqlite = BuildSqlite({});
    const Bytes ogg = BuildOggOpus({});
    const std::vector<Reject> cases = {
        {"webp: chunks that do not tile the length", kTypeWebp, patched(webp, 4, {0x00, 0x40, 0, 0})},
        {"webp: unknown first chunk", kTypeWebp, patched(webp, 12, {'I', 'C', 'C', 'P'})},
        {"webp: lossy data without its start code", kTypeWebp, patched(webp, 23, {0})},
        {"mp3: ID3 version 9", kTypeMp3, patched(BuildMp3({}), 3, {9})},
        {"mp3: seven frames without a tag", kTypeMp3, BuildMp3({.frames = 7, .id3v2 = false})},
        {"ogg: first page's CRC", kTypeOgg, patched(ogg, 22, {0, 0, 0, 0})},
        {"sqlite: payload fractions", kTypeSqlite, patched(sqlite, 21, {65})},
        {"sqlite: page size 1000", kTypeSqlite, patched(sqlite, 16, {0x03, 0xE8})},
        {"sqlite: size of an old writer", kTypeSqlite, patched(sqlite, 92, {0, 0, 0, 9})},
        {"sqlite: no pages", kTypeSqlite, patched(sqlite, 28, {0, 0, 0, 0})},
        {"amr: four frames", kTypeAmr, BuildAmr({.frames = 4})},
        {"amr: no magic line end", kTypeAmr, patched(BuildAmr({}), 5, {' '})},
        {"flac: a frame's payload damaged", kTypeFlac, patched(BuildFlac({}), 5000, {0x5A, 0xA5})},
        {"flac: no STREAMINFO first", kTypeFlac, patched(BuildFlac({}), 4, {0x81})},
        {"matroska: another document type", kTypeMatroska, patched(BuildMatroska({}), 37, {'x'})},
        {"rar 5: a header's CRC", kTypeRar, patched(BuildRar5(PlainRar5Entries(1)), 8, {0, 0, 0, 0})},
        {"html: binary after the doctype", kTypeHtm, patched(BuildHtml({.doctype = true}), 20, {0x01})},
    };
    for (const Reject& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = WithTail(c.file, 4096);
        const ExtractResult r = ExtractorFor(c.typeId)(SpecFor(c.typeId), Complete(bytes));
        EXPECT_FALSE(r.file.has_value());
        EXPECT_TRUE(r.resume.has_value());
    }
}

TEST(PhoneMedia, UndecidedUntilTheFileIsWhole) {
    // Cut anywhere after its first bytes, a file is undecided while more
    // bytes may come.
    const std::vector<std::pair<int, Bytes>> cases = {
        {kTypeWebp, BuildWebp({})},          {kTypeMp3, BuildMp3({})},       {kTypeOgg, BuildOggOpus({})},
        {kTypeSqlite, BuildSqlite({})},      {kTypeAmr, BuildAmr({})},       {kTypeFlac, BuildFlac({})},
        {kTypeMatroska, BuildMatroska({})},  {kTypeRar, BuildRar5(PlainRar5Entries(2))},
        {kTypeJpg, BuildMotionPhoto({})},    {kTypeJpg, BuildUltraHdr()},    {kTypeIsoMedia, BuildIsoMedia({})},
    };
    for (const auto& [typeId, file] : cases) {
        for (const std::size_t cut : {file.size() / 3, file.size() - 2}) {
            SCOPED_TRACE(SpecFor(typeId).suffix + " cut at " + std::to_string(cut));
            ExpectUndecided(ExtractorFor(typeId)(SpecFor(typeId), Head(file, cut)));
        }
    }
}

TEST(PhoneMedia, AppendedImagesOnlyWhereTheMetadataSays) {
    // The directory names a video that is not there: the primary image
    // alone is recorded, once the bytes that should hold it are given.
    Bytes photo = BuildMotionPhoto({.videoBytes = 5000});
    const std::size_t video = FindText(photo, "ftyp") - 4;
    photo[video + 5] = 'X';
    const ExtractResult r = ExtractJpeg(SpecFor(kTypeJpg), WithTail(photo, 9000));
    ASSERT_TRUE(r.file.has_value());
    EXPECT_EQ(r.file->size, video);
    // A plain photo with the same bytes after it stays a plain photo.
    const Bytes plain = BuildJpeg({.app = JpegApp::Exif});
    ExpectRecorded(ExtractJpeg(SpecFor(kTypeJpg), Concat(plain, BuildIsoMedia({}))), plain.size(), "jpg");
    // An appended video longer than maxLength is left out.
    const Bytes motion = BuildMotionPhoto({.videoBytes = 20000});
    const ExtractResult small = ExtractJpeg(SpecFor(kTypeJpg, 10000), WithTail(motion, 100));
    ASSERT_TRUE(small.file.has_value());
    EXPECT_LT(small.file->size, 10000u);
}

TEST(PhoneMedia, HostileFieldsEndTheWalks) {
    // Sizes that point far past any disk or back onto themselves.
    Bytes mkv = BuildMatroska({.webm = false, .unknownSizes = true});
    mkv.insert(mkv.end(), {0x1F, 0x43, 0xB6, 0x75, 0x01, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    const Bytes live = WithTail(mkv, 64);
    EXPECT_TRUE(ExtractMatroska(SpecFor(kTypeMatroska), Complete(live)).resume.has_value());

    const Bytes rar = BuildRar5(PlainRar5Entries(5));
    const Bytes noEnd = Head(rar, rar.size() - 8);
    ExpectContinue(ExtractRar(SpecFor(kTypeRar), Complete(noEnd)), 8);

    // Fifty thousand comfort-noise frames in a row, and an Ogg page that
    // claims every segment: both end where their bytes do.
    Bytes amr = BuildAmr({.frames = 10});
    for (int i = 0; i < 50000; ++i) {
        amr.push_back((8 << 3) | 4);
        amr.insert(amr.end(), 5, 0x11);
    }
    ExpectRecorded(ExtractAmr(SpecFor(kTypeAmr), Complete(amr)), amr.size(), "amr");
    Bytes ogg = BuildOggOpus({});
    ogg.resize(ogg.size() + 60000, 0xFF);
    EXPECT_TRUE(ExtractOgg(SpecFor(kTypeOgg), Complete(ogg)).file.has_value());
}

}  // namespace
}  // namespace qb::cdr

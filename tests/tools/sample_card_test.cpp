// The sample card generator: the same seed gives the same image, the truth
// survives its JSON form, every recorded file's bytes lie where the truth
// says, every decoy and off-boundary header is in the image, and no header
// lies at a block boundary that the truth does not account for.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/temp_folder.h"
#include "tools/sample_card/card_signatures.h"
#include "tools/sample_card/card_truth.h"
#include "tools/sample_card/document_samples.h"
#include "tools/sample_card/media_samples.h"
#include "tools/sample_card/phone_samples.h"
#include "tools/sample_card/recorded_size.h"
#include "tools/sample_card/sample_card.h"
#include "tools/sample_card/sha256.h"

namespace qb::tools {
namespace {

constexpr std::uint64_t kChunk = 4194304;

// One card for the tests that only read it.
const SampleCard& Card() {
    static const SampleCard card = [] {
        std::string error;
        std::optional<SampleCard> c = BuildSampleCard({.seed = 7}, &error);
        if (!c) throw std::runtime_error("sample card: " + error);
        return std::move(*c);
    }();
    return card;
}

std::span<const std::uint8_t> At(const std::vector<std::uint8_t>& image, std::uint64_t offset, std::uint64_t size) {
    return std::span(image).subspan(offset, size);
}

std::string Suffix(const std::string& name) { return name.substr(name.find('.') + 1); }

bool HasGroupAt(const std::vector<std::uint8_t>& image, std::uint64_t at, const std::string& group) {
    const std::vector<std::string_view> groups = HeaderGroupsAt(image, at);
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

TEST(Sha256, MatchesKnownDigestsAcrossPaddingEdges) {
    const std::string abc = "abc";
    EXPECT_EQ(Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size())),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // Lengths around the block and length-field edges; bytes (i*7+3) & 0xFF.
    const std::map<std::size_t, std::string> expected = {
        {55, "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
        {56, "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
        {63, "81c80242132f230c3bd41b3e63bbcff16107339549214a99614ff26664625055"},
        {64, "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
        {65, "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e"},
        {1000, "1e9bc38cbf860b9ec31918b065f9b52476c549a782e0e7990bed8ce3868d2371"},
    };
    for (const auto& [n, digest] : expected) {
        std::vector<std::uint8_t> bytes(n);
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
        EXPECT_EQ(Sha256Hex(bytes), digest) << n << " bytes";
    }
}

TEST(CardTruthJson, RoundTripKeepsEveryField) {
    CardTruth t;
    t.source = "sample-card";
    t.seed = 18446744073709551557ull;
    t.scale = 3;
    t.imageSize = 5'000'000'000ull;
    t.files.push_back({4294967808ull, 3002, "ole", "8388609.doc", "ole-word-document", std::string(64, 'a'), true});
    t.files.push_back({0, 36008, "rif", "0.wav", "riff-wave", std::string(64, 'b'), false});
    t.decoys.push_back({1024, "bmp", "bmp-height-2001"});
    t.unaligned.push_back({1124, "jpg", "jpeg-100-bytes-into-a-block"});
    t.unreadableSectors = {4096, 5000000000ull};

    const std::string json = CardTruthToJson(t);
    std::string error;
    const std::optional<CardTruth> back = CardTruthFromJson(json, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(CardTruthToJson(*back), json);
    EXPECT_EQ(back->seed, t.seed);
    EXPECT_EQ(back->imageSize, t.imageSize);
    ASSERT_EQ(back->files.size(), 2u);
    EXPECT_EQ(back->files[0].offset, 4294967808ull);
    EXPECT_EQ(back->files[0].name, "8388609.doc");
    EXPECT_TRUE(back->files[0].crossesChunk);
    EXPECT_FALSE(back->files[1].crossesChunk);
    ASSERT_EQ(back->decoys.size(), 1u);
    EXPECT_EQ(back->decoys[0].kind, "bmp-height-2001");
    ASSERT_EQ(back->unaligned.size(), 1u);
    EXPECT_EQ(back->unaligned[0].offset, 1124u);
    EXPECT_EQ(back->unreadableSectors, (std::vector<std::uint64_t> {4096, 5000000000ull}));
}

TEST(CardTruthJson, RefusesOtherDocumentsAndSaysWhy) {
    std::string error;
    EXPECT_FALSE(CardTruthFromJson("[1, 2]", &error));
    EXPECT_FALSE(CardTruthFromJson("{\"format\": \"something-else\", \"version\": 1}", &error));
    EXPECT_NE(error.find("format"), std::string::npos);

    CardTruth t;
    t.files.push_back({512, 100, "jpg", "1.jpg", "jpeg", "00", false});
    std::string json = CardTruthToJson(t);
    const std::string negative = std::string(json).replace(json.find("\"size\": 100"), 11, "\"size\": -100");
    EXPECT_FALSE(CardTruthFromJson(negative, &error));
    EXPECT_NE(error.find("size"), std::string::npos);
    const std::string noDecoys = std::string(json).replace(json.find("\"decoys\""), 8, "\"decoyz\"");
    EXPECT_FALSE(CardTruthFromJson(noDecoys, &error));
    EXPECT_NE(error.find("decoys"), std::string::npos);
}

TEST(CarvedFileName, IsTheBlockNumberAndTheSuffix) {
    EXPECT_EQ(CarvedFileName(0, "jpg"), "0.jpg");
    EXPECT_EQ(CarvedFileName(1048576, "jpg"), "2048.jpg");
    EXPECT_EQ(CarvedFileName(1048576 - 4, "mov"), "2047.mov");
    EXPECT_EQ(CarvedFileName(5'000'000'000ull, "doc"), "9765625.doc");
}

// What the truth says about single samples: the rule each type follows.
TEST(RecordedSize, FollowsEachTypesRule) {
    const auto wav = BuildWav({.dataBytes = 36000 - 36});
    const auto riff = RecordedFileOf("rif", wav);
    ASSERT_TRUE(riff);
    EXPECT_EQ(riff->size, 36008u);
    EXPECT_EQ(riff->suffix, "wav");

    const auto html = BuildHtml({.trailingLineEnd = true});
    const auto page = RecordedFileOf("htm", html);
    ASSERT_TRUE(page);
    EXPECT_LT(page->size, html.size());  // the line end after </html> is left out
    EXPECT_EQ(std::string(html.begin() + static_cast<std::ptrdiff_t>(page->size) - 7,
                          html.begin() + static_cast<std::ptrdiff_t>(page->size)),
              "</html>");

    const auto updated = BuildPdf({.incrementalUpdate = true});
    const auto pdf = RecordedFileOf("pdf", updated);
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->size, updated.size());  // the update's "%%EOF" ends it
    const auto crlf = BuildPdf({.lineEnd = "\r\n"});
    EXPECT_EQ(RecordedFileOf("pdf", crlf)->size, crlf.size());  // its CR LF included

    const auto linearized = BuildPdf({.linearized = true});
    const auto whole = RecordedFileOf("pdf", linearized);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->size, linearized.size());

    const auto movie = BuildQuickTime({.trailingAtomType = "skip", .trailingAtomBytes = 300});
    const auto mov = RecordedFileOf("mov", movie);
    ASSERT_TRUE(mov);
    EXPECT_EQ(mov->size, movie.size() - 300);
    EXPECT_FALSE(RecordedFileOf("mov", BuildQuickTime({.mediaData = false})));

    OleSampleOptions streams = WordDocumentStreams();
    streams.streams.push_back({"Workbook", std::vector<std::uint8_t>(5000, 1)});
    const auto doc = RecordedFileOf("ole", BuildOle(streams).bytes);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->suffix, "doc");
    EXPECT_EQ(doc->size % 512, 0u);
    EXPECT_EQ(RecordedFileOf("ole", BuildOle(PowerPointStreams()).bytes)->suffix, "ppt");
    OleSampleOptions large = WordDocumentStreams();
    large.largeSectors = true;
    const auto v4 = RecordedFileOf("ole", BuildOle(large).bytes);
    ASSERT_TRUE(v4);
    EXPECT_EQ(v4->size % 4096, 0u);

    // Phone media: the brand, the codec, the document type name the file.
    EXPECT_EQ(RecordedFileOf("mp4", BuildIsoMedia({.brand = "qt  "}))->suffix, "mov");
    EXPECT_EQ(RecordedFileOf("mp4", BuildIsoMedia({.brand = "heic", .picture = true}))->suffix, "heic");
    const auto video = BuildIsoMedia({.mediaFirst = false, .largeSize = true});
    EXPECT_EQ(RecordedFileOf("mp4", video)->size, video.size());
    EXPECT_EQ(RecordedFileOf("ogg", BuildOggOpus())->suffix, "opus");
    EXPECT_EQ(RecordedFileOf("mkv", BuildMatroska({.webm = false, .unknownSizes = true}))->suffix, "mkv");
    const auto motion = BuildMotionPhoto();
    EXPECT_EQ(RecordedFileOf("jpg", motion)->size, motion.size());
}

TEST(SampleCard, SameSeedGivesTheSameImageAndTruth) {
    std::string error;
    const std::optional<SampleCard> again = BuildSampleCard({.seed = 7}, &error);
    ASSERT_TRUE(again) << error;
    EXPECT_TRUE(again->image == Card().image);
    EXPECT_TRUE(CardTruthToJson(again->truth) == CardTruthToJson(Card().truth));

    const std::optional<SampleCard> other = BuildSampleCard({.seed = 8}, &error);
    ASSERT_TRUE(other) << error;
    EXPECT_FALSE(other->image == Card().image);
    EXPECT_FALSE(CardTruthToJson(other->truth) == CardTruthToJson(Card().truth));
}

TEST(SampleCard, EveryRecordedFileLiesAtItsOffset) {
    const SampleCard& card = Card();
    ASSERT_EQ(card.truth.imageSize, card.image.size());
    EXPECT_EQ(card.image.size() % 512, 0u);
    std::uint64_t previousEnd = 0;
    for (const TruthFile& f : card.truth.files) {
        SCOPED_TRACE(f.kind + " at " + std::to_string(f.offset));
        ASSERT_GE(f.offset, previousEnd);  // in disk order, not overlapping
        ASSERT_LE(f.offset + f.size, card.image.size());
        previousEnd = f.offset + f.size;
        EXPECT_EQ(Sha256Hex(At(card.image, f.offset, f.size)), f.sha256);
        EXPECT_EQ(f.name, CarvedFileName(f.offset, Suffix(f.name)));
        // The header lies at a block boundary: at the first byte, or 4 bytes
        // on for a QuickTime movie.
        const std::uint64_t header = f.offset + (f.group == "mov" ? 4 : 0);
        EXPECT_EQ(header % 512, 0u);
        EXPECT_TRUE(HasGroupAt(card.image, header, f.group));
        EXPECT_EQ(f.crossesChunk, header / kChunk != (f.offset + f.size - 1) / kChunk);
    }
}

TEST(SampleCard, DecoysAndOffBoundaryHeadersAreInTheImage) {
    const SampleCard& card = Card();
    for (const TruthMiss& d : card.truth.decoys) {
        SCOPED_TRACE(d.kind);
        EXPECT_EQ(d.offset % 512, 0u);
        EXPECT_TRUE(HasGroupAt(card.image, d.offset, d.group));
    }
    for (const TruthMiss& u : card.truth.unaligned) {
        SCOPED_TRACE(u.kind);
        EXPECT_NE(u.offset % 512, 0u);
        EXPECT_TRUE(HasGroupAt(card.image, u.offset, u.group));
    }
    std::set<std::string> decoyKinds;
    for (const TruthMiss& d : card.truth.decoys) decoyKinds.insert(d.kind);
    for (const char* kind : {"jpeg-without-huffman-tables", "bmp-height-2001", "riff-unknown-form", "png-width-0",
                             "ole-version-3-claiming-4096-byte-sectors", "pe-bad-signature",
                             "mpeg-without-system-header", "asf-no-header-objects", "zip-name-too-long",
                             "rar-without-archive-header", "webp-unknown-first-chunk", "mp4-ftyp-shorter-than-its-fields",
                             "mp3-id3-version-9", "sqlite-page-size-1000"})
        EXPECT_TRUE(decoyKinds.count(kind)) << kind;
    ASSERT_FALSE(card.truth.unaligned.empty());
    EXPECT_EQ(card.truth.unaligned.front().offset % 512, 100u);
}

TEST(SampleCard, HoldsEveryTypeAndVariant) {
    const SampleCard& card = Card();
    std::set<std::string> groups;
    std::set<std::string> suffixes;
    int crossing = 0;
    bool overTwoBoundaries = false;
    for (const TruthFile& f : card.truth.files) {
        groups.insert(f.group);
        suffixes.insert(f.group + "/" + Suffix(f.name));
        if (f.crossesChunk) ++crossing;
        if ((f.offset + f.size - 1) / kChunk >= f.offset / kChunk + 2) overTwoBoundaries = true;
    }
    EXPECT_EQ(groups.size(), 22u);
    for (const char* s : {"jpg/jpg", "gif/gif", "bmp/bmp", "wmv/wmv", "mov/mov", "rif/wav", "rif/avi", "htm/htm",
                          "ole/doc", "ole/xls", "ole/ppt", "zip/zip", "zip/sxw", "zip/sxc", "zip/sxi", "zip/jar",
                          "zip/docx", "zip/xlsx", "zip/pptx", "zip/odt", "zip/apk", "rar/rar", "exe/exe", "exe/dll",
                          "png/png", "mpg/mpg", "pdf/pdf", "mp4/mp4", "mp4/mov", "mp4/3gp", "mp4/m4a", "mp4/heic",
                          "webp/webp", "mp3/mp3", "ogg/opus", "sqlite/db", "amr/amr", "flac/flac", "mkv/webm",
                          "mkv/mkv"})
        EXPECT_TRUE(suffixes.count(s)) << s;
    EXPECT_GE(crossing, 10);
    // One file lies behind a filler sector listed as unreadable.
    ASSERT_EQ(card.truth.unreadableSectors.size(), 1u);
    const std::uint64_t sector = card.truth.unreadableSectors.front();
    EXPECT_EQ(sector % 512, 0u);
    EXPECT_TRUE(std::any_of(card.truth.files.begin(), card.truth.files.end(),
                            [&](const TruthFile& f) { return f.offset == sector + 512; }));
    for (const TruthFile& f : card.truth.files) EXPECT_FALSE(f.offset <= sector && sector < f.offset + f.size);
    EXPECT_TRUE(overTwoBoundaries);
    ASSERT_FALSE(card.truth.files.empty());
    EXPECT_EQ(card.truth.files.front().name, "0.jpg");
    EXPECT_GT(card.image.size(), 24u * 1048576);
}

// Independent of how the generator keeps it: every header at a block
// boundary is a recorded file's, a decoy's, or lies inside a recorded file
// of its own type (which the search steps over), or its type turns it down
// at the first look.
TEST(SampleCard, NoUnplannedHeaderAtABlockBoundary) {
    const SampleCard& card = Card();
    std::map<std::uint64_t, std::string> planned;
    for (const TruthFile& f : card.truth.files) planned[f.offset + (f.group == "mov" ? 4 : 0)] = f.group;
    for (const TruthMiss& d : card.truth.decoys) planned[d.offset] = d.group;
    std::size_t next = 0;
    int unplanned = 0;
    for (std::uint64_t p = 0; p < card.image.size() && unplanned <= 10; p += 512) {
        while (next < card.truth.files.size() && card.truth.files[next].offset + card.truth.files[next].size <= p)
            ++next;
        for (const std::string_view group : HeaderGroupsAt(card.image, p)) {
            if (planned.count(p) && planned[p] == group) continue;
            const bool insideOwn = next < card.truth.files.size() && card.truth.files[next].offset < p &&
                                   card.truth.files[next].group == group && group != "ole" &&
                                   p / kChunk == card.truth.files[next].offset / kChunk;
            const std::uint64_t chunkEnd = std::min<std::uint64_t>(card.image.size(), (p / kChunk + 1) * kChunk);
            if (insideOwn || RejectedAtFirstCheck(group, std::span(card.image).subspan(0, chunkEnd), p)) continue;
            ADD_FAILURE() << "an unplanned " << group << " header at " << p;
            ++unplanned;
        }
    }
}

TEST(SampleCard, ScaleLaysTheSetDownAgainWithOtherContent) {
    std::string error;
    const std::optional<SampleCard> twice = BuildSampleCard({.seed = 7, .scale = 2}, &error);
    ASSERT_TRUE(twice) << error;
    const CardTruth& one = Card().truth;
    ASSERT_EQ(twice->truth.files.size(), 2 * one.files.size());
    EXPECT_EQ(twice->truth.decoys.size(), 2 * one.decoys.size());
    EXPECT_GT(twice->image.size(), one.imageSize + one.imageSize / 2);
    std::set<std::string> digests;
    for (const TruthFile& f : twice->truth.files) digests.insert(f.sha256);
    EXPECT_GT(digests.size(), one.files.size() + one.files.size() / 2);
    EXPECT_FALSE(BuildSampleCard({.seed = 7, .scale = 0}, &error));
}

TEST(SampleCard, GenerateWritesTheImageAndTheTruthBesideIt) {
    testsupport::ScopedTempFolder folder;
    const std::string image = folder.File("card.img");
    std::string error;
    const std::optional<CardTruth> truth = GenerateSampleCard(image, {.seed = 7}, &error);
    ASSERT_TRUE(truth) << error;
    const std::optional<CardTruth> read = ReadCardTruth(image + ".truth.json", &error);
    ASSERT_TRUE(read) << error;
    EXPECT_TRUE(CardTruthToJson(*read) == CardTruthToJson(*truth));
    const std::optional<std::string> bytes = platform::ReadWholeFile(image);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), truth->imageSize);
    EXPECT_TRUE(std::equal(bytes->begin(), bytes->end(), Card().image.begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));

    const std::string elsewhere = folder.File("truth.json");
    ASSERT_TRUE(GenerateSampleCard(folder.File("second.img"), {.seed = 7, .truthPath = elsewhere}, &error)) << error;
    EXPECT_TRUE(platform::FileExists(elsewhere));
    EXPECT_FALSE(platform::FileExists(folder.File("second.img.truth.json")));

    EXPECT_FALSE(GenerateSampleCard(folder.File("missing/dir/card.img"), {.seed = 7}, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace qb::tools

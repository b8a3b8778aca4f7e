// Archive and executable extractors (ZIP, RAR, PE) on the sample builders'
// files: exact sizes, where the search resumes, extensions and their
// filter, rejections, undecided cases when the bytes run out, and hostile
// counts and sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/cdr/extractor.h"
#include "src/cdr/type_table.h"
#include "tests/cdr/extractor_test_support.h"
#include "tools/sample_card/archive_samples.h"

namespace qb::cdr {
namespace {

using namespace extractortest;
using tools::BuildPe;
using tools::BuildRar;
using tools::BuildZip;

// ----------------------------------------------------------------- ZIP --

// A ZIP ends after its end record; the search resumes one byte before that.
void ExpectZip(const ExtractResult& r, std::size_t size, const std::string& extension) {
    ExpectRecorded(r, size, extension, static_cast<std::int64_t>(size) - 1);
}

TEST(ExtractZipTest, PlainArchiveEndsAfterItsEndRecord) {
    const Bytes zip = BuildZip(tools::PlainZipEntries());
    ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 500)), zip.size(), "zip");
    // The end record closes the bytes: nothing more is needed.
    ExpectZip(ExtractZip(SpecFor(kTypeZip), zip), zip.size(), "zip");
}

TEST(ExtractZipTest, ArchiveWithCommentEndsAfterTheComment) {
    tools::ZipSampleOptions o = tools::PlainZipEntries();
    o.comment = "hello";
    const Bytes zip = BuildZip(o);
    ASSERT_EQ(std::string(zip.end() - 5, zip.end()), "hello");
    ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 500)), zip.size(), "zip");
    // A comment running past the bytes is left to a re-read.
    ExpectUndecided(ExtractZip(SpecFor(kTypeZip), Head(zip, zip.size() - 2)));
}

TEST(ExtractZipTest, OpenOfficeDocumentsByMimetype) {
    const std::pair<tools::OpenOfficeKind, const char*> kinds[] = {
        {tools::OpenOfficeKind::Writer, "sxw"}, {tools::OpenOfficeKind::Calc, "sxc"}, {tools::OpenOfficeKind::Impress, "sxi"}};
    for (const auto& [kind, extension] : kinds) {
        const Bytes zip = BuildZip(tools::OpenOfficeEntries(kind));
        ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 500)), zip.size(), extension);
    }
    tools::ZipSampleOptions draw = tools::OpenOfficeEntries(tools::OpenOfficeKind::Writer);
    const std::string mime = "application/vnd.sun.xml.draw";
    draw.entries[0].data.assign(mime.begin(), mime.end());
    const Bytes zip = BuildZip(draw);
    ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 500)), zip.size(), "sx");
}

TEST(ExtractZipTest, EntryNamesRefineAPlainZip) {
    const Bytes jar = BuildZip(tools::JarEntries());
    ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(jar, 500)), jar.size(), "jar");

    for (const char* name : {"lib/util.jar", "src/Main.java"}) {
        tools::ZipSampleOptions o = tools::PlainZipEntries();
        o.entries[1].name = name;
        const Bytes zip = BuildZip(o);
        ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 500)), zip.size(), "jar");
    }
    // content.xml without the mimetype entry: an office document of unknown kind.
    tools::ZipSampleOptions o = tools::OpenOfficeEntries(tools::OpenOfficeKind::Calc);
    o.entries.erase(o.entries.begin());
    const Bytes zip = BuildZip(o);
    ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 500)), zip.size(), "sx");
    // The first name that refines it wins.
    o.entries.push_back({"Main.class", {1, 2, 3}});
    const Bytes both = BuildZip(o);
    ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(both, 500)), both.size(), "sx");
}

TEST(ExtractZipTest, ExtensionFilterOfTheOfficeIds) {
    const Bytes writer = WithTail(BuildZip(tools::OpenOfficeEntries(tools::OpenOfficeKind::Writer)), 500);
    const ExtractResult all = ExtractZip(SpecFor(kTypeZip), writer);
    ASSERT_TRUE(all.file.has_value());
    EXPECT_TRUE(ExtractZip(SpecFor(kTypeSxw), writer).file.has_value());
    ExpectContinue(ExtractZip(SpecFor(kTypeSxc), writer), *all.resume);
    ExpectContinue(ExtractZip(SpecFor(kTypeSxi), writer), *all.resume);
    const Bytes plain = WithTail(BuildZip(tools::PlainZipEntries()), 500);
    EXPECT_FALSE(ExtractZip(SpecFor(kTypeSxw), plain).file.has_value());
}

TEST(ExtractZipTest, DataDescriptorEndsTheWalk) {
    tools::ZipSampleOptions o = tools::PlainZipEntries();
    o.entries[0].dataDescriptor = true;
    const Bytes zip = BuildZip(o);
    ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 500)), zip.size(), "zip");
    // From there the end record is sought within maxLength bytes.
    const std::int64_t cursor = 30 + 9;  // past the first header and "notes.txt"
    ExpectContinue(ExtractZip(SpecFor(kTypeZip, 500), WithTail(zip, 500)), cursor);
    // Only an entry whose sizes are both zero stops it; otherwise the end
    // record is sought in all the bytes after the walk.
    Bytes withSizes = zip;
    SetLe32(withSizes, 22, static_cast<std::uint32_t>(o.entries[0].data.size()));  // uncompressed size
    ExpectZip(ExtractZip(SpecFor(kTypeZip, 500), WithTail(withSizes, 500)), zip.size(), "zip");
}

TEST(ExtractZipTest, OfficeDocumentIsSoughtWithinOneMebibyte) {
    tools::ZipSampleOptions o = tools::OpenOfficeEntries(tools::OpenOfficeKind::Writer);
    o.entries[1].dataDescriptor = true;  // content.xml, streamed
    o.entries.push_back({"Pictures/scan.bin", Bytes(1100000, 0x42), tools::ZipMethod::Stored});
    const Bytes zip = BuildZip(o);
    const std::size_t cursor = FindText(zip, "content.xml") + 11;
    ExpectContinue(ExtractZip(SpecFor(kTypeZip), WithTail(zip, 500)), static_cast<std::int64_t>(cursor));
}

TEST(ExtractZipTest, RejectedEntries) {
    const Bytes zip = WithTail(BuildZip(tools::PlainZipEntries()), 500);
    // Compressed size above maxLength (notes.txt packs to several hundred bytes).
    ExpectContinue(ExtractZip(SpecFor(kTypeZip, 200), zip), 4);

    tools::ZipSampleOptions o = tools::PlainZipEntries();
    o.entries[1].name = std::string(4097, 'n');
    const Bytes longName = BuildZip(o);
    const std::size_t second = FindText(longName, "PK\x03\x04", 4);
    ExpectContinue(ExtractZip(SpecFor(kTypeZip), WithTail(longName, 500)), static_cast<std::int64_t>(second + 4));
    o.entries[1].name = std::string(4096, 'n');  // a path as deep as a file system allows
    EXPECT_TRUE(ExtractZip(SpecFor(kTypeZip), WithTail(BuildZip(o), 500)).file.has_value());
}

TEST(ExtractZipTest, MissingEndRecordContinuesAtTheCentralDirectory) {
    const Bytes zip = BuildZip(tools::PlainZipEntries());
    const Bytes noEnd = WithTail(Head(zip, zip.size() - 22), 500);
    const std::size_t central = FindText(zip, "PK\x01\x02");
    // The record may lie past the bytes given, unless there are no more.
    ExpectUndecided(ExtractZip(SpecFor(kTypeZip), noEnd));
    CarveInput last(noEnd);
    last.complete = true;
    ExpectContinue(ExtractZip(SpecFor(kTypeZip), last), static_cast<std::int64_t>(central));
    ExpectContinue(ExtractZip(SpecFor(kTypeZip, noEnd.size()), noEnd), static_cast<std::int64_t>(central));
}

TEST(ExtractZipTest, UndecidedWhenTheBytesRunOut) {
    const Bytes zip = BuildZip(tools::PlainZipEntries());
    ExpectUndecided(ExtractZip(SpecFor(kTypeZip), Head(zip, 99)));
    ExpectUndecided(ExtractZip(SpecFor(kTypeZip), Head(zip, 500)));  // inside the first entry's data
    ExpectUndecided(ExtractZip(SpecFor(kTypeZip), Head(zip, zip.size() - 2)));  // 19 bytes of the record
    ExpectZip(ExtractZip(SpecFor(kTypeZip), Head(zip, zip.size())), zip.size(), "zip");
}

TEST(ExtractZipTest, HostileSizesAndCounts) {
    Bytes zip = WithTail(BuildZip(tools::PlainZipEntries()), 500);
    SetLe32(zip, 18, 0xFFFFFFFF);
    ExpectContinue(ExtractZip(SpecFor(kTypeZip), zip), 4);
    ExpectUndecided(ExtractZip(SpecFor(kTypeZip, UINT64_MAX), zip));
    SetLe32(zip, 18, 0xFFFFFFF0);
    SetLe16(zip, 26, 0xFFFF);
    ExpectContinue(ExtractZip(SpecFor(kTypeZip, UINT64_MAX), zip), 4);

    // Fifty thousand empty entries: each costs one step.
    tools::ZipSampleOptions many;
    for (int i = 0; i < 50000; ++i) many.entries.push_back({"", {}, tools::ZipMethod::Stored});
    const Bytes big = BuildZip(many);
    ExpectZip(ExtractZip(SpecFor(kTypeZip), WithTail(big, 100)), big.size(), "zip");
}

// ----------------------------------------------------------------- RAR --

// Marker 0-6, archive header 7-19, readme.txt's header at 20 (42 bytes)
// with 1 732 bytes of data, data\values.bin's header at 1794 (47 bytes) with
// 700 bytes, the end block at 2541.
constexpr std::size_t kSecondHeader = 1794;
constexpr std::size_t kEndBlock = 2541;

Bytes PlainRar(std::size_t trailingZeros = 0, bool endBlock = true) {
    tools::RarSampleOptions o = tools::PlainRarEntries();
    o.trailingZeros = trailingZeros;
    o.endBlock = endBlock;
    return BuildRar(o);
}

TEST(ExtractRarTest, SampleLayout) {
    const Bytes rar = PlainRar();
    ASSERT_EQ(rar.size(), kEndBlock + 7);
    EXPECT_EQ(rar[kSecondHeader + 2], 0x74);
    EXPECT_EQ(Bytes(rar.begin() + kEndBlock, rar.end()), (Bytes {0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00}));
}

TEST(ExtractRarTest, ArchiveEndsAfterItsEndBlock) {
    const Bytes rar = PlainRar();
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), WithTail(rar, 100)), rar.size(), "rar",
                   static_cast<std::int64_t>(rar.size()));
    tools::RarSampleOptions old = tools::PlainRarEntries();
    old.unpackVersion = 20;
    const Bytes rar20 = BuildRar(old);
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), WithTail(rar20, 100)), rar20.size(), "rar",
                   static_cast<std::int64_t>(rar20.size()));
}

TEST(ExtractRarTest, WithoutEndBlockTheFileEndsSevenBytesAfterTheLastData) {
    const Bytes rar = PlainRar(0, false);
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), WithTail(rar, 100)), kEndBlock + 7, "rar", kEndBlock + 7);
}

TEST(ExtractRarTest, EmptyArchiveEndsAtZeroFilling) {
    tools::RarSampleOptions o;
    o.trailingZeros = 16;
    const Bytes rar = BuildRar(o);  // marker, archive header, end block at 20
    // The end block's last byte starts the eight zero bytes.
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), WithTail(rar, 100)), 26, "rar", 26);
    // Without zero filling: the end of the bytes searched, at most maxLength.
    o.trailingZeros = 0;
    const Bytes bare = WithTail(BuildRar(o), 100);
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), bare), bare.size(), "rar", static_cast<std::int64_t>(bare.size()));
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar, 50), bare), 70, "rar", 70);
}

TEST(ExtractRarTest, ArchiveHeaderMustFollowTheMarker) {
    Bytes rar = WithTail(PlainRar(), 100);
    rar[9] = 0x75;
    ExpectContinue(ExtractRar(SpecFor(kTypeRar), rar), 7);
}

TEST(ExtractRarTest, FileHeaderIsFoundWithin500Bytes) {
    const Bytes rar = PlainRar();
    Bytes junk = {0x11, 0x22, 0x75, 0x00, 0x00, 20, 0x00};  // a comment block, 20 bytes
    junk.resize(20, 0x11);
    Bytes shifted(rar.begin(), rar.begin() + 20);
    shifted.insert(shifted.end(), junk.begin(), junk.end());
    shifted.insert(shifted.end(), rar.begin() + 20, rar.end());
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), WithTail(shifted, 100)), shifted.size(), "rar",
                   static_cast<std::int64_t>(shifted.size()));
}

TEST(ExtractRarTest, OtherArchiveHeaderWithoutFileHeader) {
    // An archive header of 14 bytes followed by neither a file header nor
    // an end block: continue at the block after it.
    Bytes rar = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00, 0x00, 0x00, 0x73, 0x00, 0x00, 14, 0x00};
    rar.resize(21, 0);
    ExpectContinue(ExtractRar(SpecFor(kTypeRar), WithTail(rar, 600)), 21);
    // An end block there makes it an empty archive.
    Bytes empty = rar;
    for (std::uint8_t b : {0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00}) empty.push_back(b);
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), WithTail(empty, 600)), 28, "rar", 28);
}

TEST(ExtractRarTest, DamagedArchiveEndsAtZeroFillingOrAFixedDistance) {
    Bytes rar = PlainRar(16);
    SetLe16(rar, kSecondHeader + 5, 0);  // a header size of 0
    const std::size_t zeros = FindBytes(rar, Bytes(8, 0), kSecondHeader);
    ASSERT_EQ(zeros, kEndBlock + 6);
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), WithTail(rar, 100)), zeros + 7, "rar",
                   static_cast<std::int64_t>(zeros + 7));

    Bytes noZeros = PlainRar();
    SetLe16(noZeros, kSecondHeader + 5, 0);
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), WithTail(noZeros, 60000)), 51200, "rar", 51200);

    // Nothing walked: not recorded.
    Bytes first = PlainRar();
    SetLe16(first, 20 + 5, 0);
    ExpectContinue(ExtractRar(SpecFor(kTypeRar), WithTail(first, 60000)), 20);
}

TEST(ExtractRarTest, DataPastTheBytes) {
    const Bytes rar = PlainRar();
    // Up to maxLength bytes would hold it.
    ExpectUndecided(ExtractRar(SpecFor(kTypeRar), Head(rar, 1000)));
    ExpectUndecided(ExtractRar(SpecFor(kTypeRar), Head(rar, kEndBlock)));  // the end block is missing
    // It can never fit: damaged, its end guessed 51 200 bytes on, but never
    // past the bytes there are.
    ExpectContinue(ExtractRar(SpecFor(kTypeRar, 1000), Head(rar, 1000)), 20);
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar, 2000), Head(rar, 2000)), 2000, "rar");
    // Walked up to the end of the bytes: the end block would follow them.
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar, kEndBlock), Head(rar, kEndBlock)), kEndBlock, "rar");
}

TEST(ExtractRarTest, HostileBlocks) {
    Bytes huge = WithTail(PlainRar(), 1000);
    SetLe32(huge, 20 + 7, 0xFFFFFFFF);  // packed size
    ExpectContinue(ExtractRar(SpecFor(kTypeRar), huge), 20);
    // An archive header of size 0: its successor is found by the search for
    // a file header's type byte.
    Bytes zeroSize = WithTail(PlainRar(), 100);
    SetLe16(zeroSize, 7 + 5, 0);
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), zeroSize), kEndBlock + 7, "rar", kEndBlock + 7);
    ExpectUndecided(ExtractRar(SpecFor(kTypeRar), Head(PlainRar(), 12)));
    ExpectUndecided(ExtractRar(SpecFor(kTypeRar), Head(PlainRar(), 5)));

    // A hundred thousand 11-byte file blocks: each costs one step.
    const Bytes rar = PlainRar();
    Bytes many(rar.begin(), rar.begin() + 20);
    const Bytes block = {0x00, 0x00, 0x74, 0x00, 0x80, 11, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (int i = 0; i < 100000; ++i) many.insert(many.end(), block.begin(), block.end());
    many.insert(many.end(), rar.begin() + kEndBlock, rar.end());
    ExpectRecorded(ExtractRar(SpecFor(kTypeRar), WithTail(many, 100)), many.size(), "rar",
                   static_cast<std::int64_t>(many.size()));
}

// ------------------------------------------------------------------ PE --

// PE header at 0x80, four sections (.text .rdata .data .rsrc; a library
// adds .reloc), the section table ending at 0x80 + 248 + 160.
constexpr std::size_t kPe = 0x80;

TEST(ExtractPeTest, ExecutableEndsWithItsLastSection) {
    const Bytes exe = BuildPe();
    ASSERT_EQ(exe.size(), 7680u);
    ExpectRecorded(ExtractPe(SpecFor(kTypeExe), WithTail(exe, 100)), exe.size(), "exe", 7680);
    tools::PeSampleOptions o;
    o.overlay = 3000;
    ExpectRecorded(ExtractPe(SpecFor(kTypeExe), BuildPe(o)), 7680, "exe", 7680);
}

TEST(ExtractPeTest, LibraryIsRecordedAsDllAndTheTypeStaysExe) {
    const TypeSpec typeSpec = SpecFor(kTypeExe);
    tools::PeSampleOptions o;
    o.library = true;
    const Bytes dll = BuildPe(o);
    ExpectRecorded(ExtractPe(typeSpec, WithTail(dll, 100)), dll.size(), "dll", static_cast<std::int64_t>(dll.size()));
    EXPECT_EQ(typeSpec.suffix, "exe");
    ExpectRecorded(ExtractPe(typeSpec, WithTail(BuildPe(), 100)), 7680, "exe", 7680);
}

TEST(ExtractPeTest, CharacteristicsDecideTheKind) {
    const std::pair<std::uint16_t, const char*> kinds[] = {{0x2000, "dll"}, {0x1000, "exe"}, {0x0002, "exe"}};
    for (const auto& [bits, extension] : kinds) {
        tools::PeSampleOptions o;
        o.characteristics = bits;
        ExpectRecorded(ExtractPe(SpecFor(kTypeExe), BuildPe(o)), 7680, extension, 7680);
    }
    tools::PeSampleOptions object;
    object.characteristics = 0x0100;  // 32-bit machine, not an image
    ExpectContinue(ExtractPe(SpecFor(kTypeExe), BuildPe(object)), kPe);
}

TEST(ExtractPeTest, HeaderPositionChecks) {
    const Bytes exe = BuildPe();
    ExpectContinue(ExtractPe(SpecFor(kTypeExe), Head(exe, 99)), 2);
    for (std::uint32_t lfanew : {0u, 1001u, 0xFFFFu}) {
        Bytes b = exe;
        SetLe16(b, 60, lfanew);
        ExpectContinue(ExtractPe(SpecFor(kTypeExe), b), 60);
    }
    ExpectContinue(ExtractPe(SpecFor(kTypeExe), Head(exe, kPe - 1)), 60);  // past the bytes
    Bytes notPe = exe;
    notPe[kPe + 1] = 'X';
    ExpectContinue(ExtractPe(SpecFor(kTypeExe), notPe), kPe);
    // The bytes end inside the signature.
    ExpectUndecided(ExtractPe(SpecFor(kTypeExe), Head(exe, kPe + 1)));
}

TEST(ExtractPeTest, SectionCountChecks) {
    const Bytes exe = BuildPe();
    // Fewer bytes than the optional header and the section table need: more
    // may come, unless there are none.
    const Bytes cut = Head(exe, kPe + 248 + 4 * 40 - 1);
    ExpectUndecided(ExtractPe(SpecFor(kTypeExe), cut));
    CarveInput last(cut);
    last.complete = true;
    ExpectContinue(ExtractPe(SpecFor(kTypeExe), last), kPe);
    Bytes b = exe;
    SetLe16(b, kPe + 6, 0xFFFF);
    ExpectUndecided(ExtractPe(SpecFor(kTypeExe), b));
    ExpectContinue(ExtractPe(SpecFor(kTypeExe, 1000000), b), kPe);  // a table longer than maxLength
    SetLe16(b, kPe + 6, 0);  // no sections: nothing to delimit the file
    ExpectContinue(ExtractPe(SpecFor(kTypeExe), b), kPe);
    // Enough bytes by count, but the table itself runs past them.
    tools::PeSampleOptions far;
    far.peOffset = 900;
    ExpectUndecided(ExtractPe(SpecFor(kTypeExe), Head(BuildPe(far), 1200)));
}

TEST(ExtractPeTest, SizeLimits) {
    const Bytes exe = BuildPe();
    const std::size_t table = kPe + 248;
    const std::int64_t pastTable = kPe + 248 + 4 * 40 + 60;
    // Every section's raw data, as (size, offset); the file ends with the
    // furthest of them, whatever their order in the table.
    auto withSections = [&](std::vector<std::pair<std::uint32_t, std::uint32_t>> raw) {
        Bytes b = exe;
        for (std::size_t i = 0; i < 4; ++i) {
            SetLe32(b, table + i * 40 + 16, raw[i].first);
            SetLe32(b, table + i * 40 + 20, raw[i].second);
        }
        return b;
    };
    ExpectContinue(ExtractPe(SpecFor(kTypeExe), withSections({{0, 0}, {100, 400}, {0, 0}, {0, 0}})), pastTable);
    ExpectRecorded(ExtractPe(SpecFor(kTypeExe), withSections({{112, 400}, {0, 0}, {0, 0}, {0, 0}})), 512, "exe", 512);
    // An empty section last (uninitialised data) does not end the file.
    ExpectRecorded(ExtractPe(SpecFor(kTypeExe), withSections({{0x200, 0x400}, {0x400, 0x600}, {0x200, 0xA00}, {0, 0}})),
                   0xC00, "exe", 0xC00);
    ExpectContinue(ExtractPe(SpecFor(kTypeExe), withSections({{0x400000, 1}, {0, 0}, {0, 0}, {0, 0}})), pastTable);
    ExpectContinue(ExtractPe(SpecFor(kTypeExe), withSections({{0xFFFFFFFF, 0xFFFFFFFF}, {0, 0}, {0, 0}, {0, 0}})),
                   pastTable);
    // Past the bytes given: more may come; cut to them when none do.
    const Bytes atMost = withSections({{0x400000 - 0x400, 0x400}, {0, 0}, {0, 0}, {0, 0}});
    ExpectUndecided(ExtractPe(SpecFor(kTypeExe), atMost));
    CarveInput last(atMost);
    last.complete = true;
    ExpectRecorded(ExtractPe(SpecFor(kTypeExe), last), atMost.size(), "exe");
    ExpectRecorded(ExtractPe(SpecFor(kTypeExe, 5000), Head(exe, 5000)), 5000, "exe");
}

}  // namespace
}  // namespace qb::cdr

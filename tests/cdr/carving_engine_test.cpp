// The carving engine over in-memory disks: chunking, quick-mode alignment,
// files that cross a chunk end (taken from bytes read once), naming,
// callbacks and stop requests, whole disks beyond their partitions,
// unreadable sectors, and copying found files out through whole-sector
// reads.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "src/cdr/carving_engine.h"
#include "tests/support/temp_folder.h"

namespace qb::cdr {
namespace {

constexpr std::size_t kChunk = 4194304;

void Put(std::string& disk, std::size_t at, std::string_view bytes) {
    if (disk.size() < at + bytes.size()) disk.resize(at + bytes.size(), '\0');
    disk.replace(at, bytes.size(), bytes);
}

std::string Le32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// A RIFF WAVE file of the given total length.
std::string Wave(std::uint32_t length) {
    std::string s = "RIFF" + Le32(length - 8) + "WAVEfmt " + Le32(16);
    s.resize(length, '\x11');
    return s;
}

// A GIF89a whose trailer ends the file; the body holds no trailer bytes.
std::string Gif(std::size_t length) {
    std::string s = "GIF89a";
    s += std::string("\x10\x00\x10\x00\x80\x00\x00", 7);
    s.resize(length - 2, 'A');
    s += std::string("\x00\x3B", 2);
    return s;
}

// A disk whose reads are checked: raw devices accept only whole sectors at
// sector offsets.
class SectorDisk final : public platform::ByteSource {
public:
    explicit SectorDisk(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override {
        if (offset % 512 != 0 || n % 512 != 0) ++unalignedReads;
        // Like a device, fail a whole request that touches a bad sector.
        for (std::uint64_t bad : badSectors)
            if (bad + 512 > offset && bad < offset + n) return 0;
        if (offset >= bytes_.size()) return 0;
        const std::size_t take = std::min<std::size_t>(n, bytes_.size() - static_cast<std::size_t>(offset));
        std::memcpy(dst, bytes_.data() + offset, take);
        bytesRead += take;
        return take;
    }
    std::uint64_t Size() const override { return bytes_.size(); }
    const std::string& bytes() const { return bytes_; }
    mutable int unalignedReads = 0;
    mutable std::uint64_t bytesRead = 0;
    std::vector<std::uint64_t> badSectors;  // offsets of sectors that cannot be read

private:
    std::string bytes_;
};

// A BMP header with the given declared file size (valid dimensions).
std::string Bmp(std::uint32_t declaredSize, std::size_t length) {
    std::string s = "BM" + Le32(declaredSize) + Le32(0) + Le32(54) + Le32(40) + Le32(16) + Le32(16);
    s += std::string("\x01\x00\x18\x00", 4);
    s.resize(length, '\x22');
    return s;
}

struct Found {
    std::string group;
    std::string name;
    std::uint64_t offset;
    std::uint64_t size;
};

struct Recorder {
    std::vector<Found> files;
    std::vector<std::uint64_t> progress;  // offsets of calls without an item
    std::uint64_t end = 0;
    int stopAfterFiles = -1;  // answer kStop once this many files were seen
    int callsAfterStop = 0;
    bool stopping = false;

    static int Callback(std::uint64_t endOffset, std::uint64_t current, FileItem* item, void* user) {
        auto* self = static_cast<Recorder*>(user);
        self->end = endOffset;
        if (self->stopping) ++self->callsAfterStop;
        if (item) {
            self->files.push_back({item->group->name, item->name, item->offset, item->size});
        } else {
            self->progress.push_back(current);
        }
        if (self->stopAfterFiles >= 0 && static_cast<int>(self->files.size()) >= self->stopAfterFiles) {
            self->stopping = true;
            return kStop;
        }
        return 0;
    }
};

struct ScanRun {
    std::shared_ptr<SectorDisk> disk;
    DeviceNode node;
    Recorder recorder;
    ScanReport report;
    std::ostringstream messages;
    std::ostringstream notes;
};

std::unique_ptr<ScanRun> RunScan(std::string bytes, std::vector<TypeSpec> types, bool quick = true,
                                 std::uint64_t start = 0, std::uint64_t length = 0, int stopAfterFiles = -1,
                                 std::vector<std::uint64_t> badSectors = {}, std::uint64_t chunkBytes = 0) {
    auto run = std::make_unique<ScanRun>();
    run->disk = std::make_shared<SectorDisk>(std::move(bytes));
    run->disk->badSectors = std::move(badSectors);
    run->node.name = "disk";
    run->node.devicePath = "test.img";
    run->node.startOffset = start;
    run->node.size = length ? length : run->disk->Size() - start;
    run->node.scanHandle = run->disk;
    run->node.copyHandle = run->disk;
    run->recorder.stopAfterFiles = stopAfterFiles;
    ScanOptions options;
    options.types = std::move(types);
    options.quick = quick;
    options.messages = &run->messages;
    options.notes = &run->notes;
    options.report = &run->report;
    options.chunkBytes = chunkBytes;
    EXPECT_EQ(ScanPartition(run->node, &Recorder::Callback, &run->recorder, options), 0);
    return run;
}

std::vector<TypeSpec> Types(std::string_view list) { return *TypeTableFromList(list); }

TEST(CarvingEngine, MakesOneGroupPerTypeInTableOrderAfterExistingChildren) {
    auto run = std::make_unique<ScanRun>();
    run->disk = std::make_shared<SectorDisk>(std::string(4096, '\0'));
    run->node.size = 4096;
    run->node.scanHandle = run->disk;
    AppendChild(run->node)->name = "PARTITION-0";
    ScanPartition(run->node, nullptr, nullptr);
    const std::size_t types = DefaultTypeTable().size();
    ASSERT_EQ(run->node.children.size(), 1 + types);
    EXPECT_EQ(run->node.children[0]->name, "PARTITION-0");
    EXPECT_EQ(run->node.children[1]->name, "jpg");
    EXPECT_EQ(run->node.children[6]->name, "rif");
    EXPECT_EQ(run->node.children[14]->name, "pdf");
    EXPECT_EQ(run->node.children[15]->name, "mp4");
    // A second scan adds a second set of groups.
    ScanPartition(run->node, nullptr, nullptr);
    EXPECT_EQ(run->node.children.size(), 1 + 2 * types);
}

TEST(CarvingEngine, NamesFilesByBlockNumberAndRecordedSuffix) {
    std::string disk(64 * 1024, '\0');
    Put(disk, 0, Wave(2000));
    Put(disk, 1048576 / 16, Wave(3000));  // block 128
    auto run = RunScan(disk, Types("rif"));
    ASSERT_EQ(run->recorder.files.size(), 2u);
    EXPECT_EQ(run->recorder.files[0].name, "0.wav");
    EXPECT_EQ(run->recorder.files[0].group, "rif");
    EXPECT_EQ(run->recorder.files[0].size, 2000u);
    EXPECT_EQ(run->recorder.files[1].name, "128.wav");
    EXPECT_EQ(run->recorder.files[1].offset, 65536u);
    const DeviceNode& group = *run->node.children[0];
    ASSERT_EQ(group.files.size(), 2u);
    EXPECT_EQ(group.files[0]->group, &group);
    EXPECT_EQ(group.files[1]->blockSize, 512u);
}

TEST(CarvingEngine, QuickModeFindsHeadersOnlyAtBlockBoundaries) {
    std::string disk(32 * 1024, '\0');
    Put(disk, 512 * 4 + 100, Wave(1000));  // 100 bytes into a block
    Put(disk, 512 * 10, Wave(1000));
    auto quick = RunScan(disk, Types("rif"), true);
    ASSERT_EQ(quick->recorder.files.size(), 1u);
    EXPECT_EQ(quick->recorder.files[0].offset, 5120u);

    auto full = RunScan(disk, Types("rif"), false);
    ASSERT_EQ(full->recorder.files.size(), 2u);
    EXPECT_EQ(full->recorder.files[0].offset, 2148u);
    EXPECT_EQ(full->recorder.files[0].name, "4.wav");  // the block number, truncated
}

TEST(CarvingEngine, OffsetsAndProgressAreAbsoluteOnTheDisk) {
    std::string disk(3 * 65536, '\0');
    Put(disk, 65536 + 1024, Wave(1000));
    auto run = RunScan(disk, Types("rif"), true, 65536, 65536);
    ASSERT_EQ(run->recorder.files.size(), 1u);
    EXPECT_EQ(run->recorder.files[0].offset, 66560u);
    EXPECT_EQ(run->recorder.files[0].name, "130.wav");
    EXPECT_EQ(run->recorder.end, 131072u);
    ASSERT_FALSE(run->recorder.progress.empty());
    EXPECT_EQ(run->recorder.progress.front(), 65536u);
    for (std::size_t i = 1; i < run->recorder.progress.size(); ++i)
        EXPECT_GE(run->recorder.progress[i], run->recorder.progress[i - 1]);
    EXPECT_GE(run->recorder.progress.back(), 131072u);
}

TEST(CarvingEngine, FileCrossingTheChunkEndIsFoundFromTheBytesAfterIt) {
    std::string disk(2 * kChunk + 65536, '\0');
    const std::size_t first = kChunk - 1024;  // header 1024 bytes before the chunk end
    Put(disk, first, Gif(300000));
    auto run = RunScan(disk, Types("gif"));
    ASSERT_EQ(run->recorder.files.size(), 1u);
    EXPECT_EQ(run->recorder.files[0].offset, first);
    EXPECT_EQ(run->recorder.files[0].size, 300000u);
    EXPECT_EQ(run->disk->unalignedReads, 0);
}

TEST(CarvingEngine, HeadersInsideAFoundFileAreNotSearched) {
    std::string disk(2 * kChunk, '\0');
    const std::size_t crossing = kChunk - 2048;
    Put(disk, crossing, Gif(200000));
    // Headers of the same type later in that chunk and in the next one lie
    // inside the crossing file's body; they are not searched for.
    Put(disk, kChunk - 512, "GIF89a");
    Put(disk, kChunk + 4096, "GIF89a");
    auto run = RunScan(disk, Types("gif"));
    ASSERT_EQ(run->recorder.files.size(), 1u);
    EXPECT_EQ(run->recorder.files[0].offset, crossing);
}

TEST(CarvingEngine, CrossingFileNearTheDiskEndIsCutFromTheBytesThatRemain) {
    // Fewer than maxLength (32 MiB for gif) bytes follow the header on the
    // disk; the file still lies wholly on it.
    std::string disk(kChunk + 20480, '\0');
    Put(disk, kChunk - 1024, Gif(10000));
    auto run = RunScan(disk, Types("gif"));
    ASSERT_EQ(run->recorder.files.size(), 1u);
    EXPECT_EQ(run->recorder.files[0].size, 10000u);
}

TEST(CarvingEngine, UndelimitedFileDoesNotHideLaterFilesOfTheType) {
    // The first BMP declares more bytes than the whole disk holds, so it can
    // be delimited neither from the chunk nor from the bytes after it; the BMP after
    // it in the same chunk is still found.
    std::string disk(1536 * 1024, '\0');
    Put(disk, 0, Bmp(1900000, 4096));
    Put(disk, 8192, Bmp(3000, 3000));
    auto run = RunScan(disk, Types("bmp"));
    ASSERT_EQ(run->recorder.files.size(), 1u);
    EXPECT_EQ(run->recorder.files[0].offset, 8192u);
    EXPECT_EQ(run->recorder.files[0].size, 3000u);
}

TEST(CarvingEngine, EveryByteIsReadOnceWhateverRunsPastTheChunks) {
    // Ten BMP headers near a chunk end declare 2 MiB each, more than the
    // disk still holds; a GIF crosses the chunk end; a whole BMP follows.
    // The bytes taken in for them are the next chunk's: nothing is read
    // twice, and every read is of whole sectors.
    std::string disk(kChunk + 512 * 1024, '\0');
    for (std::size_t i = 0; i < 10; ++i) Put(disk, 3 * 1048576 + i * 4096, Bmp(2097152, 1024));
    Put(disk, 3 * 1048576 + 65536, Bmp(3000, 3000));
    Put(disk, kChunk - 2048, Gif(300000));
    auto run = RunScan(disk, Types("bmp,gif"));
    ASSERT_EQ(run->recorder.files.size(), 2u);
    EXPECT_EQ(run->recorder.files[0].offset, 3u * 1048576 + 65536);
    EXPECT_EQ(run->recorder.files[1].offset, kChunk - 2048);
    EXPECT_EQ(run->disk->bytesRead, disk.size());
    EXPECT_EQ(run->report.bytesRead, disk.size());
    EXPECT_EQ(run->disk->unalignedReads, 0);
}

TEST(CarvingEngine, EveryUndecidedHeaderOfAChunkIsFollowed) {
    // A BMP that declares more bytes than the disk holds runs past the
    // chunk end and is given up; a second BMP later in the same chunk
    // crosses the chunk end and is still found, as is one in the next chunk.
    const std::uint64_t chunk = 65536;
    std::string disk(8 * chunk, '\0');
    Put(disk, chunk - 45056, Bmp(1900000, 4096));
    Put(disk, chunk - 2048, Bmp(30000, 30000));
    Put(disk, 3 * chunk + 512, Bmp(5000, 5000));
    auto run = RunScan(disk, Types("bmp"), true, 0, 0, -1, {}, chunk);
    ASSERT_EQ(run->recorder.files.size(), 2u);
    EXPECT_EQ(run->recorder.files[0].offset, chunk - 2048);
    EXPECT_EQ(run->recorder.files[0].size, 30000u);
    EXPECT_EQ(run->recorder.files[1].offset, 3 * chunk + 512);
    EXPECT_EQ(run->disk->bytesRead, disk.size());
}

TEST(CarvingEngine, HeadersUndecidedInTheirChunkAreFollowedPastItAFewTimesAChunk) {
    // Each of them may search maxLength bytes on; were every one followed,
    // a chunk full of damaged headers would cost that much per block. In
    // the third chunk four damaged BMPs run past its end and come to
    // nothing, so the sound one after them is passed over; in the sixth,
    // after three, it is found.
    const std::uint64_t chunk = 65536;
    std::string disk(8 * chunk, '\0');
    for (std::size_t i = 0; i < 4; ++i) Put(disk, 2 * chunk + 4096 * i, Bmp(1900000, 4096));
    Put(disk, 3 * chunk - 2048, Bmp(30000, 30000));
    for (std::size_t i = 0; i < 3; ++i) Put(disk, 5 * chunk + 4096 * i, Bmp(1900000, 4096));
    Put(disk, 6 * chunk - 2048, Bmp(30000, 30000));
    auto run = RunScan(disk, Types("bmp"), true, 0, 0, -1, {}, chunk);
    ASSERT_EQ(run->recorder.files.size(), 1u);
    EXPECT_EQ(run->recorder.files[0].offset, 6 * chunk - 2048);
}

TEST(CarvingEngine, HeadersDecidedInTheirChunkDoNotCountAgainstFollowingOnes) {
    // A sound running on over the next chunks leaves their bytes in the
    // window; BMP headers rejected at once in the second chunk still leave
    // the crossing BMP after them its bytes past the chunk.
    const std::uint64_t chunk = 65536;
    std::string disk(8 * chunk, '\0');
    Put(disk, 0, Wave(300000));
    std::string tall = Bmp(5000, 512);
    tall.replace(22, 4, Le32(2001));  // taller than a BMP may be
    for (std::size_t i = 0; i < 6; ++i) Put(disk, chunk + 512 * i, tall);
    Put(disk, 2 * chunk - 2048, Bmp(30000, 30000));
    auto run = RunScan(disk, Types("rif,bmp"), true, 0, 0, -1, {}, chunk);
    ASSERT_EQ(run->recorder.files.size(), 2u);
    EXPECT_EQ(run->recorder.files[1].offset, 2 * chunk - 2048);
    EXPECT_EQ(run->recorder.files[1].size, 30000u);
}

TEST(CarvingEngine, UnreadableSectorsAreSkippedAndListed) {
    // The device fails every request that touches a bad sector: the scan
    // reads around it, scans it as zeros and lists it; the files after it,
    // in the same chunk and the next, are still found.
    std::string disk(2 * kChunk, '\0');
    Put(disk, 8192, Wave(2000));
    Put(disk, 65536, Wave(3000));
    Put(disk, kChunk + 4096, Wave(1500));
    auto run = RunScan(disk, Types("rif"), true, 0, 0, -1, {32768, 32768 + 512, kChunk + 1024});
    ASSERT_EQ(run->recorder.files.size(), 3u);
    EXPECT_EQ(run->recorder.files[1].offset, 65536u);
    EXPECT_EQ(run->recorder.files[2].offset, kChunk + 4096);
    ASSERT_EQ(run->report.unreadable.size(), 2u);
    EXPECT_EQ(run->report.unreadable[0].offset, 32768u);
    EXPECT_EQ(run->report.unreadable[0].length, 1024u);
    EXPECT_EQ(run->report.unreadable[1].offset, kChunk + 1024);
    EXPECT_EQ(run->report.unreadable[1].length, 512u);
    EXPECT_EQ(run->disk->unalignedReads, 0);
}

TEST(CarvingEngine, DiskIsScannedWhateverItsPartitionsCover) {
    // Files before, between and after two partitions, and a disk whose
    // partition table is gone (no partitions, size 0): a scan of the disk
    // finds them all, listed under the disk's groups.
    std::string bytes(6 * 1048576, '\0');
    const std::vector<std::uint64_t> at = {4096, 1048576 + 8192, 2 * 1048576 + 512, 3 * 1048576, 5 * 1048576 + 1024};
    for (std::uint64_t offset : at) Put(bytes, offset, Wave(2000));
    const auto disk = std::make_shared<SectorDisk>(bytes);
    for (const bool wiped : {false, true}) {
        DeviceNode root;
        DeviceNode& node = *AppendChild(root);
        node.scanHandle = disk;
        if (!wiped) {
            for (const auto& [start, length] : std::vector<std::pair<std::uint64_t, std::uint64_t>> {
                     {1048576, 1048576}, {3 * 1048576, 1048576}}) {
                DeviceNode* part = AppendChild(node);
                part->startOffset = start;
                part->size = length;
                part->scanHandle = disk;
                node.size += length;
            }
        }
        Recorder recorder;
        ScanOptions options;
        options.types = Types("rif");
        ScanPartition(node, &Recorder::Callback, &recorder, options);
        std::vector<std::uint64_t> found;
        for (const Found& f : recorder.files) found.push_back(f.offset);
        EXPECT_EQ(found, at) << (wiped ? "wiped table" : "two partitions");
        EXPECT_EQ(recorder.end, bytes.size());
        EXPECT_EQ(node.children.back()->files.size(), at.size());
        EXPECT_EQ(node.children.back()->name, "rif");
    }
    // A partition is scanned over its own length (and the chunk that runs
    // past it).
    DeviceNode root;
    DeviceNode& diskNode = *AppendChild(root);
    DeviceNode& part = *AppendChild(diskNode);
    part.startOffset = 1048576;
    part.size = 1048576;
    part.scanHandle = disk;
    Recorder recorder;
    ScanOptions options;
    options.types = Types("rif");
    options.chunkBytes = 1048576;
    ScanPartition(part, &Recorder::Callback, &recorder, options);
    ASSERT_EQ(recorder.files.size(), 1u);
    EXPECT_EQ(recorder.files[0].offset, at[1]);
}

std::string Be32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
    return s;
}

// A QuickTime movie: "moov" (100 bytes), "mdat" (1000 bytes), then an atom
// the walk does not know, which ends the file.
std::string Movie() {
    std::string s = Be32(100) + "moov";
    s.resize(100, '\x01');
    s += Be32(1000) + "mdat";
    s.resize(1100, '\x02');
    return s + Be32(16) + "zzzz";
}

TEST(CarvingEngine, QuickTimeFileStartsFourBytesBeforeItsHeader) {
    std::string disk(2 * kChunk, '\0');
    Put(disk, 8192 - 4, Movie());        // "moov" on a block boundary
    Put(disk, kChunk - 4, Movie());      // "moov" at the very start of the second chunk
    auto run = RunScan(disk, Types("mov"));
    ASSERT_EQ(run->recorder.files.size(), 2u);
    EXPECT_EQ(run->recorder.files[0].offset, 8188u);
    EXPECT_EQ(run->recorder.files[0].size, 1100u);
    EXPECT_EQ(run->recorder.files[0].name, "15.mov");
    // The size before the second header lies in the first chunk; it is
    // taken again from the disk.
    EXPECT_EQ(run->recorder.files[1].offset, kChunk - 4);
    EXPECT_EQ(run->recorder.files[1].size, 1100u);
    EXPECT_EQ(run->disk->unalignedReads, 0);
}

TEST(CarvingEngine, StopRequestEndsTheScanWithinOneCallback) {
    std::string disk(3 * kChunk, '\0');
    for (std::size_t at = 0; at + 4096 < disk.size(); at += 65536) Put(disk, at, Wave(4000));
    auto run = RunScan(disk, Types("rif,gif,jpg"), true, 0, 0, 2);
    EXPECT_EQ(run->recorder.files.size(), 2u);
    // The call that answered kStop was the recording of the second file;
    // record calls do not stop, so one more call is made and answered with
    // kStop, after which nothing is called.
    EXPECT_EQ(run->recorder.callsAfterStop, 1);
    EXPECT_EQ(run->node.children[0]->files.size(), 2u);
}

TEST(CarvingEngine, UnopenedDiskIsReportedAndNotScanned) {
    DeviceNode node;
    node.devicePath = "/dev/sdz";
    node.size = 1 << 20;
    std::ostringstream messages;
    ScanOptions options;
    options.messages = &messages;
    Recorder recorder;
    EXPECT_EQ(ScanPartition(node, &Recorder::Callback, &recorder, options), 0);
    EXPECT_NE(messages.str().find("/dev/sdz"), std::string::npos);
    EXPECT_TRUE(recorder.files.empty());
    EXPECT_EQ(node.children.size(), DefaultTypeTable().size());
}

TEST(CarvingEngine, DiskShorterThanOneChunkIsScannedWhole) {
    std::string disk(10000, '\0');
    Put(disk, 8192, Wave(1000));
    auto run = RunScan(disk, Types("rif"));
    ASSERT_EQ(run->recorder.files.size(), 1u);
    EXPECT_EQ(run->recorder.files[0].name, "16.wav");
}

// ---------------------------------------------------------------------------
// Reading at arbitrary offsets and copying files out.

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

TEST(ReadAtOffset, ReadsAnyRangeThroughWholeSectors) {
    SectorDisk disk(Pattern(8192));
    for (const auto& [offset, length] : std::vector<std::pair<std::uint64_t, std::uint64_t>> {
             {0, 512}, {100, 10}, {1000, 24}, {1000, 2000}, {511, 2}, {512, 1536}, {7000, 1192}}) {
        const auto got = ReadAtOffset(disk, offset, length);
        ASSERT_EQ(got.size(), length) << offset << "+" << length;
        EXPECT_EQ(std::string(got.begin(), got.end()), disk.bytes().substr(offset, length));
    }
    EXPECT_EQ(disk.unalignedReads, 0);
}

TEST(ReadAtOffset, ShortReadGivesNothing) {
    SectorDisk disk(Pattern(4096));
    EXPECT_TRUE(ReadAtOffset(disk, 4000, 200).empty());
    EXPECT_TRUE(ReadAtOffset(disk, 8192, 1).empty());
}

struct CopyLog {
    static std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    static int stopAt;
    static int Cancel(std::uint64_t size, std::uint64_t done, const FileItem*) {
        calls.emplace_back(size, done);
        return static_cast<int>(calls.size()) == stopAt ? kStop : 0;
    }
};
std::vector<std::pair<std::uint64_t, std::uint64_t>> CopyLog::calls;
int CopyLog::stopAt = -1;

class ExtractFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        CopyLog::calls.clear();
        CopyLog::stopAt = -1;
    }
    testsupport::ScopedTempFolder folder;
};

TEST_F(ExtractFileTest, UnalignedItemStartsWithTheRestOfItsSector) {
    SectorDisk disk(Pattern(4 * 1048576));
    FileItem item;
    item.offset = 1000;
    item.size = 2 * 1048576 + 300;
    const std::string target = folder.File("out.bin");
    EXPECT_EQ(ExtractFile(item, target, disk, &CopyLog::Cancel), CopyOutcome::Complete);
    const auto written = platform::ReadWholeFile(target);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, disk.bytes().substr(1000, item.size));
    ASSERT_EQ(CopyLog::calls.size(), 4u);
    EXPECT_EQ(CopyLog::calls[0].second, 24u);  // the last 24 bytes of the first sector
    EXPECT_EQ(CopyLog::calls[1].second, 24u + 1048576u);
    EXPECT_EQ(CopyLog::calls[2].second, 24u + 2 * 1048576u);
    EXPECT_EQ(CopyLog::calls[3].second, item.size);
    EXPECT_EQ(CopyLog::calls[0].first, item.size);
    EXPECT_EQ(disk.unalignedReads, 0);
}

TEST_F(ExtractFileTest, SmallFileInsideOneSector) {
    SectorDisk disk(Pattern(4096));
    FileItem item;
    item.offset = 1030;
    item.size = 100;
    const std::string target = folder.File("small.bin");
    EXPECT_EQ(ExtractFile(item, target, disk, &CopyLog::Cancel), CopyOutcome::Complete);
    EXPECT_EQ(*platform::ReadWholeFile(target), disk.bytes().substr(1030, 100));
}

TEST_F(ExtractFileTest, CancelLeavesThePartialFile) {
    SectorDisk disk(Pattern(3 * 1048576));
    FileItem item;
    item.offset = 0;
    item.size = 3 * 1048576;
    CopyLog::stopAt = 2;
    const std::string target = folder.File("partial.bin");
    EXPECT_EQ(ExtractFile(item, target, disk, &CopyLog::Cancel), CopyOutcome::Cancelled);
    EXPECT_EQ(platform::ReadWholeFile(target)->size(), 1048576u);
}

TEST_F(ExtractFileTest, ItemRunningPastTheDiskEndIsReportedIncomplete) {
    SectorDisk disk(Pattern(8192));
    FileItem item;
    item.offset = 4096;
    item.size = 8192;
    const std::string target = folder.File("short.bin");
    EXPECT_EQ(ExtractFile(item, target, disk, nullptr), CopyOutcome::ReadFailed);
    EXPECT_EQ(*platform::ReadWholeFile(target), disk.bytes().substr(4096));
}

TEST_F(ExtractFileTest, TargetThatCannotBeCreatedCopiesNothing) {
    SectorDisk disk(Pattern(4096));
    FileItem item;
    item.size = 10;
    EXPECT_EQ(ExtractFile(item, folder.File("no-such-folder/x.bin"), disk, &CopyLog::Cancel),
              CopyOutcome::TargetFailed);
    EXPECT_TRUE(CopyLog::calls.empty());
}

TEST_F(ExtractFileTest, EmptyItemMakesAnEmptyFile) {
    SectorDisk disk(Pattern(4096));
    FileItem item;
    item.offset = 100;
    item.size = 0;
    const std::string target = folder.File("empty.bin");
    EXPECT_EQ(ExtractFile(item, target, disk, &CopyLog::Cancel), CopyOutcome::Complete);
    EXPECT_TRUE(platform::FileExists(target));
    EXPECT_TRUE(platform::ReadWholeFile(target)->empty());
}

}  // namespace
}  // namespace qb::cdr

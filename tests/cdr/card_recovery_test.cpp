// The carving engine over whole card images with a ground truth: the
// generated sample card (every type and variant, files across chunk
// boundaries, decoys, headers off block boundaries, a file behind an
// unreadable sector, the whole card as a disk whose partition table is
// gone), a card of large photos and videos read through a counting handle,
// and a card of files made by ordinary encoders (Pillow, ffmpeg, cwebp,
// lame, opusenc, heif-enc, sqlite3, python-docx, openpyxl, mingw, ...). A
// quick scan must record exactly the truth's files, with their group, name
// and size, and copy each out with the right bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/process.h"
#include "src/cdr/carving_engine.h"
#include "src/cdr/device_tree.h"
#include "tests/support/temp_folder.h"
#include "tools/sample_card/card_truth.h"
#include "tools/sample_card/phone_samples.h"
#include "tools/sample_card/sample_card.h"
#include "tools/sample_card/sha256.h"

namespace qb::cdr {
namespace {

using tools::CardTruth;
using tools::TruthFile;
using tools::TruthMiss;

struct Recorded {
    std::string group;
    std::string name;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    const FileItem* item = nullptr;
};

// One quick scan of an image file, as the workflow runs it on a disk node.
struct ScanOfImage {
    std::unique_ptr<DeviceNode> disk = std::make_unique<DeviceNode>();
    std::vector<Recorded> files;       // in the order the callback announced them
    std::uint64_t itemCalls = 0;
    std::ostringstream notes;
    std::ostringstream messages;

    bool Run(const std::string& path, std::string* error) {
        std::optional<platform::ReadOnlyFile> file = platform::ReadOnlyFile::Open(path, error);
        if (!file) return false;
        auto handle = std::make_shared<platform::ReadOnlyFile>(std::move(*file));
        disk->name = "card";
        disk->devicePath = path;
        disk->size = handle->Size();
        disk->removable = 1;
        disk->imageFile = 1;
        disk->scanHandle = handle;
        disk->copyHandle = handle;
        ScanOptions options;
        options.notes = &notes;
        options.messages = &messages;
        ScanPartition(*disk, &ScanOfImage::Callback, this, options);
        return true;
    }

    static int Callback(std::uint64_t, std::uint64_t current, FileItem* item, void* self) {
        auto* scan = static_cast<ScanOfImage*>(self);
        if (item) {
            ++scan->itemCalls;
            scan->files.push_back({item->group->name, item->name, item->offset, item->size, item});
            EXPECT_EQ(current, item->offset);
        }
        return 0;
    }
};

std::string Describe(const std::string& group, const std::string& name, std::uint64_t offset, std::uint64_t size) {
    return group + "/" + name + " at " + std::to_string(offset) + " (" + std::to_string(size) + " bytes)";
}

// The recorded files must be exactly the truth's: same group, name, offset
// and size; nothing missing, nothing more, nothing at a decoy or an
// off-boundary header.
void ExpectExactlyTheTruth(const ScanOfImage& scan, const CardTruth& truth) {
    std::map<std::pair<std::uint64_t, std::string>, const TruthFile*> expected;
    for (const TruthFile& f : truth.files) expected[{f.offset, f.group}] = &f;
    std::map<std::pair<std::uint64_t, std::string>, const Recorded*> found;
    for (const Recorded& r : scan.files) {
        EXPECT_TRUE(found.emplace(std::pair(r.offset, r.group), &r).second)
            << "recorded twice: " << Describe(r.group, r.name, r.offset, r.size);
    }
    for (const auto& [key, f] : expected) {
        const auto it = found.find(key);
        if (it == found.end()) {
            ADD_FAILURE() << "not found: " << f->kind << ", " << Describe(f->group, f->name, f->offset, f->size);
            continue;
        }
        EXPECT_EQ(it->second->name, f->name) << f->kind;
        EXPECT_EQ(it->second->size, f->size) << f->kind << " " << f->name;
    }
    for (const auto& [key, r] : found) {
        if (!expected.count(key))
            ADD_FAILURE() << "recorded but not in the truth: " << Describe(r->group, r->name, r->offset, r->size);
    }
    for (const TruthMiss& m : truth.decoys) {
        for (const Recorded& r : scan.files)
            EXPECT_FALSE(r.offset == m.offset) << "decoy recorded: " << m.kind << " as " << r.name;
    }
    for (const TruthMiss& m : truth.unaligned) {
        for (const Recorded& r : scan.files)
            EXPECT_FALSE(r.group == m.group && r.offset / 512 == m.offset / 512)
                << "header off a block boundary recorded: " << m.kind << " as " << r.name;
    }
    EXPECT_EQ(scan.itemCalls, truth.files.size());
}

// Every recorded file copied out through ExtractFile has the truth's bytes.
void ExpectCopiesMatch(const ScanOfImage& scan, const CardTruth& truth, const testsupport::ScopedTempFolder& folder) {
    std::map<std::pair<std::uint64_t, std::string>, const TruthFile*> expected;
    for (const TruthFile& f : truth.files) expected[{f.offset, f.group}] = &f;
    int copied = 0;
    for (const Recorded& r : scan.files) {
        const auto it = expected.find({r.offset, r.group});
        if (it == expected.end()) continue;
        const std::string target = folder.File(r.group + "-" + r.name);
        ASSERT_EQ(ExtractFile(*r.item, target, *scan.disk->copyHandle, nullptr), CopyOutcome::Complete) << r.name;
        const std::optional<std::string> bytes = platform::ReadWholeFile(target);
        ASSERT_TRUE(bytes) << r.name;
        EXPECT_EQ(bytes->size(), it->second->size) << r.name;
        EXPECT_EQ(tools::Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size())),
                  it->second->sha256)
            << it->second->kind << " " << r.name;
        platform::DeleteFileIfExists(target);
        ++copied;
    }
    EXPECT_EQ(copied, static_cast<int>(truth.files.size()));
}

class SampleCardRecovery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new testsupport::ScopedTempFolder("qb-card-");
        std::string error;
        const std::string image = folder_->File("card.img");
        std::optional<CardTruth> truth = tools::GenerateSampleCard(image, {.seed = 11}, &error);
        ASSERT_TRUE(truth) << error;
        truth_ = new CardTruth(std::move(*truth));
        scan_ = new ScanOfImage();
        ASSERT_TRUE(scan_->Run(image, &error)) << error;
    }
    static void TearDownTestSuite() {
        delete scan_;
        delete truth_;
        delete folder_;
        scan_ = nullptr;
        truth_ = nullptr;
        folder_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(scan_ && truth_) << "the sample card could not be made or scanned"; }

    static testsupport::ScopedTempFolder* folder_;
    static CardTruth* truth_;
    static ScanOfImage* scan_;
};

testsupport::ScopedTempFolder* SampleCardRecovery::folder_ = nullptr;
CardTruth* SampleCardRecovery::truth_ = nullptr;
ScanOfImage* SampleCardRecovery::scan_ = nullptr;

TEST_F(SampleCardRecovery, RecordsExactlyTheExpectedFiles) { ExpectExactlyTheTruth(*scan_, *truth_); }

TEST_F(SampleCardRecovery, CopiesHoldTheFilesBytes) { ExpectCopiesMatch(*scan_, *truth_, *folder_); }

TEST_F(SampleCardRecovery, FilesAreListedUnderTheirTypeGroups) {
    // One group per type in table order after the disk's own children, each
    // holding its files in the order they were found.
    std::vector<std::string> names;
    for (const auto& child : scan_->disk->children) names.push_back(child->name);
    std::vector<std::string> expected;
    for (const TypeSpec& type : DefaultTypeTable()) expected.push_back(type.suffix);
    EXPECT_EQ(names, expected);
    std::uint64_t listed = 0;
    for (const auto& group : scan_->disk->children) {
        std::uint64_t previous = 0;
        for (const auto& item : group->files) {
            EXPECT_EQ(item->group, group.get());
            EXPECT_GE(item->offset, previous) << item->name;
            previous = item->offset;
            ++listed;
        }
    }
    EXPECT_EQ(listed, truth_->files.size());
}

// A disk that cannot read some sectors: a device fails the whole request
// that touches one.
class FaultyDisk final : public platform::ByteSource {
public:
    FaultyDisk(std::shared_ptr<const platform::ByteSource> inner, std::vector<std::uint64_t> bad)
        : inner_(std::move(inner)), bad_(std::move(bad)) {}
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override {
        for (std::uint64_t sector : bad_)
            if (sector + 512 > offset && sector < offset + n) return 0;
        const std::size_t got = inner_->ReadAt(offset, dst, n);
        bytesRead += got;
        return got;
    }
    std::uint64_t Size() const override { return inner_->Size(); }
    mutable std::uint64_t bytesRead = 0;

private:
    std::shared_ptr<const platform::ByteSource> inner_;
    std::vector<std::uint64_t> bad_;
};

TEST_F(SampleCardRecovery, UnreadableSectorIsSkippedOnADiskWithoutPartitionTable) {
    // The card as a disk whose partition table was wiped (no partitions,
    // size 0), read through a device that cannot read the truth's
    // unreadable sectors: the scan covers the whole device, names those
    // sectors, finds every file, and reads each byte once.
    ASSERT_FALSE(truth_->unreadableSectors.empty());
    ScanOfImage faulty;
    std::optional<platform::ReadOnlyFile> file = platform::ReadOnlyFile::Open(folder_->File("card.img"));
    ASSERT_TRUE(file);
    auto image = std::make_shared<platform::ReadOnlyFile>(std::move(*file));
    auto disk = std::make_shared<FaultyDisk>(image, truth_->unreadableSectors);
    DeviceNode root;
    DeviceNode& node = *AppendChild(root);
    node.scanHandle = disk;
    ScanReport report;
    ScanOptions options;
    options.notes = &faulty.notes;
    options.report = &report;
    ScanPartition(node, &ScanOfImage::Callback, &faulty, options);
    faulty.disk->copyHandle = image;
    ExpectExactlyTheTruth(faulty, *truth_);
    std::vector<std::uint64_t> skipped;
    for (const ByteRange& r : report.unreadable) {
        for (std::uint64_t at = r.offset; at < r.offset + r.length; at += 512) skipped.push_back(at);
    }
    EXPECT_EQ(skipped, truth_->unreadableSectors);
    EXPECT_EQ(report.length, truth_->imageSize);
    // Once over, and a few sectors more: the box headers of media files
    // read where they lie, ahead of the scan.
    EXPECT_GE(report.bytesRead, truth_->imageSize - 512);
    EXPECT_LE(report.bytesRead, truth_->imageSize + truth_->imageSize / 100);
    EXPECT_EQ(report.bytesRead, disk->bytesRead);
}

TEST_F(SampleCardRecovery, AsfWithoutHeaderObjectsIsReported) {
    EXPECT_NE(scan_->notes.str().find("WMV err num_header_objs=0 headerSize="), std::string::npos) << scan_->notes.str();
    EXPECT_EQ(scan_->messages.str(), "");
}

TEST(LargeFilesCard, EachByteIsReadFromTheDeviceOnce) {
    // Motion photos of 3.5 MB and videos of 12 MB back to back at 32 KiB
    // clusters, most of them across chunk ends: every file is found whole,
    // and the device is read once over, not again for each file that runs
    // past a chunk.
    std::string image;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> files;  // offset, size
    for (std::uint32_t i = 0; i < 12; ++i) {
        const std::vector<std::uint8_t> bytes =
            i % 4 == 3 ? tools::BuildIsoMedia({.brand = "mp42", .mediaBytes = 12'000'000 + 4096 * i, .seed = i})
                       : tools::BuildMotionPhoto({.videoBytes = 3'500'000 + 4096 * i, .seed = i + 1});
        image.resize((image.size() + 32767) / 32768 * 32768, '\0');
        files.emplace_back(image.size(), bytes.size());
        image.append(bytes.begin(), bytes.end());
    }
    image.resize(image.size() + 1048576, '\0');
    const auto memory = std::make_shared<platform::MemorySource>(image);
    const auto disk = std::make_shared<FaultyDisk>(memory, std::vector<std::uint64_t> {});
    DeviceNode node;
    node.scanHandle = disk;
    node.size = image.size();
    std::vector<std::pair<std::uint64_t, std::uint64_t>> found;
    ScanReport report;
    ScanOptions options;
    options.report = &report;
    ScanPartition(node, [](std::uint64_t, std::uint64_t, FileItem* item, void* user) {
        if (item) static_cast<std::vector<std::pair<std::uint64_t, std::uint64_t>>*>(user)->emplace_back(item->offset, item->size);
        return 0;
    }, &found, options);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, files);
    EXPECT_LE(disk->bytesRead, image.size() + image.size() / 10);
    EXPECT_EQ(report.bytesRead, disk->bytesRead);
}

// The real-files card is made by a Python script; the C++ side only reads
// what it wrote.
std::string PythonWithPillow() {
    std::vector<std::string> candidates;
    if (platform::FileExists("/usr/bin/python3")) candidates.push_back("/usr/bin/python3");
    for (const char* name : {"python3", "python"}) {
        const std::string found = platform::FindProgramOnPath(name);
        if (!found.empty()) candidates.push_back(found);
    }
    for (const std::string& python : candidates) {
        const platform::ProcessResult r = platform::RunProcess({python, "-c", "import PIL"}, std::chrono::seconds(60),
                                                               platform::ChildOutput::Discard);
        if (r.started && r.exitCode == 0) return python;
    }
    return {};
}

TEST(RealFilesCardRecovery, FilesFromOrdinaryEncodersAreRecordedWhole) {
#ifdef _WIN32
    // The card's maker is the Linux Python beside the build; a Windows
    // program cannot run it and read its exit status (the sample card above
    // covers the engine on Windows).
    GTEST_SKIP() << "the real-files card is made by Python with Pillow on Linux";
#endif
    const std::string python = PythonWithPillow();
    ASSERT_FALSE(python.empty()) << "python3 with Pillow (Debian's python3-pil, see scripts/setup.sh) is needed";
    testsupport::ScopedTempFolder folder("qb-real-card-");
    const std::string image = folder.File("real.img");
    const platform::ProcessResult made = platform::RunProcess(
        {python, std::string(QB_SOURCE_DIR) + "/tests/tools/real_files_card.py", "--out", image, "--seed", "3"},
        std::chrono::seconds(120), platform::ChildOutput::Capture);
    ASSERT_TRUE(made.started && made.exitCode == 0) << made.output;

    std::string error;
    const std::optional<CardTruth> truth = tools::ReadCardTruth(image + ".truth.json", &error);
    ASSERT_TRUE(truth) << error;
    ASSERT_EQ(truth->source, "real-files");
    ASSERT_GE(truth->files.size(), 30u);
    ScanOfImage scan;
    ASSERT_TRUE(scan.Run(image, &error)) << error;
    ExpectExactlyTheTruth(scan, *truth);
    ExpectCopiesMatch(scan, *truth, folder);
}

}  // namespace
}  // namespace qb::cdr

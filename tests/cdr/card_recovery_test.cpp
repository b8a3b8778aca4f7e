// The carving engine over whole card images with a ground truth: the
// generated sample card (every type and variant, files across chunk
// boundaries, decoys, headers off block boundaries) and a card of files
// made by ordinary encoders (Pillow, Python's zipfile and wave, a
// hand-written PDF). A quick scan must record exactly the truth's files,
// with their group, name and size, and copy each out with the right bytes.
#include <gtest/gtest.h>

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
    EXPECT_EQ(names, (std::vector<std::string> {"jpg", "gif", "bmp", "wmv", "mov", "rif", "htm", "ole", "zip", "rar",
                                                "exe", "png", "mpg", "pdf"}));
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

TEST_F(SampleCardRecovery, AsfWithoutHeaderObjectsIsReported) {
    EXPECT_NE(scan_->notes.str().find("WMV err num_header_objs=0 headerSize="), std::string::npos) << scan_->notes.str();
    EXPECT_EQ(scan_->messages.str(), "");
}

// The real-files card is made by a Python script with Pillow; the C++ side
// only reads what it wrote.
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
    ASSERT_GE(truth->files.size(), 9u);
    ScanOfImage scan;
    ASSERT_TRUE(scan.Run(image, &error)) << error;
    ExpectExactlyTheTruth(scan, *truth);
    ExpectCopiesMatch(scan, *truth, folder);
}

}  // namespace
}  // namespace qb::cdr

// The sample card added as a disk image (AddImageFile), so that the scan and
// the copies read through the system's raw disk handles, as they do on a
// real disk: every file of the truth is recorded and copied out whole, and a
// copy through the copy handle may run while the same disk is scanned again
// through the scan handle.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "src/cdr/carving_engine.h"
#include "src/cdr/device_enumeration.h"
#include "tests/support/temp_folder.h"
#include "tools/sample_card/sample_card.h"
#include "tools/sample_card/sha256.h"

namespace qb::cdr {
namespace {

struct Found {
    std::vector<const FileItem*> items;
    static int Callback(std::uint64_t, std::uint64_t, FileItem* item, void* self) {
        if (item) static_cast<Found*>(self)->items.push_back(item);
        return 0;
    }
};

// (offset, group) -> truth file.
std::map<std::pair<std::uint64_t, std::string>, const tools::TruthFile*> ByPlace(const tools::CardTruth& truth) {
    std::map<std::pair<std::uint64_t, std::string>, const tools::TruthFile*> places;
    for (const tools::TruthFile& f : truth.files) places[{f.offset, f.group}] = &f;
    return places;
}

std::string Sha256Of(const std::string& bytes) {
    return tools::Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

class ImageDiskCarving : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new testsupport::ScopedTempFolder("qb-image-disk-");
        // A name outside ASCII, as a card image copied from a phone may have.
        image_ = folder_->File("\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0 \xC3\xA9t\xC3\xA9.img");
        std::string error;
        std::optional<tools::CardTruth> truth = tools::GenerateSampleCard(image_, {.seed = 5}, &error);
        ASSERT_TRUE(truth) << error;
        truth_ = new tools::CardTruth(std::move(*truth));
    }
    static void TearDownTestSuite() {
        delete truth_;
        delete folder_;
        truth_ = nullptr;
        folder_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(truth_) << "the sample card could not be made";
        std::string error;
        disk_ = AddImageFile(root_, image_, &error);
        ASSERT_NE(disk_, nullptr) << error;
        ASSERT_TRUE(disk_->scanHandle && disk_->copyHandle);
    }

    // Scans the whole image as the workflow scans a removable disk.
    Found Scan() {
        Found found;
        std::ostringstream notes, messages;
        ScanOptions options;
        options.notes = &notes;
        options.messages = &messages;
        ScanPartition(*disk_, &Found::Callback, &found, options);
        EXPECT_EQ(messages.str(), "");
        return found;
    }

    // Copies every item out through the copy handle; the files whose bytes
    // differ from the truth are returned by name.
    std::vector<std::string> CopyAll(const std::vector<const FileItem*>& items, const std::string& prefix) const {
        const auto places = ByPlace(*truth_);
        std::vector<std::string> wrong;
        for (const FileItem* item : items) {
            const std::string target = folder_->File(prefix + "-" + item->group->name + "-" + item->name);
            const CopyOutcome outcome = ExtractFile(*item, target, *disk_->copyHandle, nullptr);
            const auto truth = places.find({item->offset, item->group->name});
            const std::optional<std::string> bytes = platform::ReadWholeFile(target);
            if (outcome != CopyOutcome::Complete || truth == places.end() || !bytes ||
                bytes->size() != truth->second->size || Sha256Of(*bytes) != truth->second->sha256) {
                wrong.push_back(item->group->name + "/" + item->name);
            }
            platform::DeleteFileIfExists(target);
        }
        return wrong;
    }

    static testsupport::ScopedTempFolder* folder_;
    static std::string image_;
    static tools::CardTruth* truth_;
    DeviceNode root_;
    DeviceNode* disk_ = nullptr;
};

testsupport::ScopedTempFolder* ImageDiskCarving::folder_ = nullptr;
std::string ImageDiskCarving::image_;
tools::CardTruth* ImageDiskCarving::truth_ = nullptr;

TEST_F(ImageDiskCarving, EveryFileIsRecordedAndCopiedWhole) {
    EXPECT_EQ(disk_->size, truth_->imageSize);
    const Found found = Scan();
    const auto places = ByPlace(*truth_);
    std::map<std::pair<std::uint64_t, std::string>, const FileItem*> recorded;
    for (const FileItem* item : found.items) recorded[{item->offset, item->group->name}] = item;
    EXPECT_EQ(recorded.size(), found.items.size()) << "a file recorded twice";
    for (const auto& [place, file] : places) {
        const auto it = recorded.find(place);
        if (it == recorded.end()) {
            ADD_FAILURE() << "not found: " << file->group << "/" << file->name;
            continue;
        }
        EXPECT_EQ(it->second->name, file->name);
        EXPECT_EQ(it->second->size, file->size) << file->name;
    }
    EXPECT_EQ(found.items.size(), truth_->files.size());
    EXPECT_EQ(CopyAll(found.items, "one"), std::vector<std::string> {});
}

TEST_F(ImageDiskCarving, CopiesRunWhileTheDiskIsScannedAgain) {
    const Found first = Scan();
    ASSERT_EQ(first.items.size(), truth_->files.size());

    // A second scan of the same node reads the scan handle and adds a second
    // set of type groups, while the files of the first are copied through
    // the copy handle.
    Found second;
    std::thread scanner([&] { second = Scan(); });
    const std::vector<std::string> wrong = CopyAll(first.items, "two");
    scanner.join();
    EXPECT_EQ(wrong, std::vector<std::string> {});

    ASSERT_EQ(second.items.size(), first.items.size());
    for (std::size_t i = 0; i < first.items.size(); ++i) {
        EXPECT_EQ(second.items[i]->offset, first.items[i]->offset);
        EXPECT_EQ(second.items[i]->size, first.items[i]->size);
        EXPECT_EQ(second.items[i]->name, first.items[i]->name);
        EXPECT_NE(second.items[i]->group, first.items[i]->group);
    }
}

TEST_F(ImageDiskCarving, TwoCopiesThroughOneHandleAtOnce) {
    const Found found = Scan();
    ASSERT_FALSE(found.items.empty());
    // Each copy has its own buffer and names its own offsets, so two copies
    // through the same handle do not disturb each other.
    std::vector<const FileItem*> even, odd;
    for (std::size_t i = 0; i < found.items.size(); ++i) (i % 2 ? odd : even).push_back(found.items[i]);
    std::vector<std::string> wrongOdd;
    std::thread other([&] { wrongOdd = CopyAll(odd, "odd"); });
    const std::vector<std::string> wrongEven = CopyAll(even, "even");
    other.join();
    EXPECT_EQ(wrongEven, std::vector<std::string> {});
    EXPECT_EQ(wrongOdd, std::vector<std::string> {});
}

}  // namespace
}  // namespace qb::cdr
